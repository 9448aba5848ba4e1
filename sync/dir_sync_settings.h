// The settings of one folder synchronisation: direction and decision rules
// packed into one rule word, recursion, deletion of extra files, name masks
// and the time and size filters; the extended form adds the two folders.
// Both can be saved to and loaded from a rule file (one element per setting).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "browse/qxfile_filter.h"
#include "core/qxcgi.h"
#include "core/qxval.h"

namespace qvtf {

// Fields of the rule word.
namespace sync_rule {
constexpr int32_t default_word = 0xE7BD;  // 59325

constexpr int32_t direction_mask = 0x3;
constexpr int32_t upload = 0x1;    // local to remote
constexpr int32_t download = 0x2;  // remote to local
constexpr int32_t both = 0x3;

constexpr int32_t transfer_mask = 0xC;
constexpr int32_t transfer_binary = 0x4;
constexpr int32_t transfer_ascii = 0x8;
constexpr int32_t transfer_automatic = 0xC;

constexpr int32_t missing_mask = 0x30;
constexpr int32_t copy_missing = 0x10;
constexpr int32_t overwrite = 0x20;  // the time and size rules apply

constexpr int32_t links_mask = 0xC0;
constexpr int32_t links_follow = 0x80;  // folder links as folders, file links as files
constexpr int32_t links_as_files = 0xC0;
constexpr int32_t links_skip = 0x40;

constexpr int32_t time_mask = 0x1C00;
constexpr int32_t time_source_newer = 0x400;
constexpr int32_t time_same = 0x800;
constexpr int32_t time_source_older = 0x1000;

constexpr int32_t size_mask = 0xE000;
constexpr int32_t size_source_smaller = 0x2000;
constexpr int32_t size_same = 0x4000;
constexpr int32_t size_source_larger = 0x8000;
}  // namespace sync_rule

// Results of load_rule_file.
enum sync_rule_file_status : int32_t {
    rule_file_ok = 0,
    rule_file_unreadable = 1,  // cannot be opened or parsed; nothing changed
    rule_file_incomplete = 2,  // an element is missing; the earlier ones are applied
    // A number that is not one or is out of its range, or a mask that does
    // not compile; the values before it are applied, the file is not used.
    rule_file_bad_value = 3,
};

// Element name to text, in ascending byte order of the names.
using rule_values = std::map<std::string, std::string>;

class dir_sync_settings {
public:
    dir_sync_settings() { reset(); }
    virtual ~dir_sync_settings() = default;

    int32_t recursive = 0;       // the wizard stores -1 for checked
    std::vector<int32_t> rules;  // only the first word is used and stored
    uint8_t delete_missing = 0;
    qxfile_filter filter;
    qxval files_include{"*"};
    qxval files_skip{""};
    qxval folders_include{"*"};
    qxval folders_skip{""};

    void reset();
    // Rebuilds the four pattern lists from the four mask texts; the number of
    // masks that did not compile.
    int compile_masks();

    int32_t rule() const { return rules.empty() ? sync_rule::default_word : rules.front(); }
    int32_t direction() const { return rule() & sync_rule::direction_mask; }
    // Delete missing counts only for one-way runs.
    bool deletes_missing() const;

    // 0, or nonzero when the file cannot be created (then nothing is written).
    int32_t save_rule_file(const qxval& path) const;
    // A rule_file status; error gets the reader's message for status 1.
    int32_t load_rule_file(const qxval& path, qxval* error = nullptr);

protected:
    // The settings under their element names.
    virtual void store_into(rule_values& map) const;
    // Takes the elements in their fixed order: a rule_file status, stopping
    // at the first element missing or out of range.
    virtual int32_t take_from(const qxcgi& map);
};

class dir_sync_settings_ex : public dir_sync_settings {
public:
    qxval remote_folder{""};
    qxval local_folder{""};

protected:
    void store_into(rule_values& map) const override;
    int32_t take_from(const qxcgi& map) override;
};

}  // namespace qvtf
