// qxfile_node: one file or folder entry of a browser pane, local or remote.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "core/qxe_tree.h"
#include "core/qxval.h"
#include "core/qxview_id.h"

namespace qvtf {

// Remote entries: permission bits in the low 12 bits, plus this marker.
constexpr std::uint32_t ATTR_LINK = 0x1000;
constexpr std::uint32_t ATTR_SETUID = 0x800;
constexpr std::uint32_t ATTR_SETGID = 0x400;
constexpr std::uint32_t ATTR_STICKY = 0x200;

struct qxfile_node : qxe_links<qxfile_node> {
    qxval name{""};
    qxval extension{""};           // ".ext" lower-cased, empty without a dot
    std::uint8_t is_folder = 0;    // folder, or a link treated as one
    std::uint64_t size_bytes = 0;  // use size() / set_size()
    std::time_t modified = 0;      // seconds since 1970 UTC
    std::uint32_t attributes = 0;  // permission bits (| ATTR_LINK), or local mode bits
    std::uint32_t needs_listing = 1;
    std::time_t created = 0;   // local entries only
    std::time_t accessed = 0;  // local entries only
    qxval type_text{""};
    qxfile_node* link_node = nullptr;  // not owned
    qxval link_target{""};
    std::uint8_t link_tried = 0;
    int icon_index = 0;
    std::uint8_t shown = 0;
    qxview_id tree_item = no_view_id;  // the folder tree view's item, set by the view
    std::uint8_t icon_known = 0;
    // The time came to the second (a machine listing, MDTM, a listing with
    // seconds); otherwise it may be rounded to the minute or lack the time
    // of day.
    std::uint8_t time_exact = 0;
    // Remote entries, where the listing names them.
    std::string owner;
    std::string group;
    // A machine listing's identity of the file or folder (its "unique"
    // fact): a folder with the identity of a folder it lies in is a link
    // that leads back, even where the server shows it as a plain folder.
    std::string unique;

    // A listed size past what a signed 64-bit count holds: not known.
    static constexpr std::uint64_t unknown_size = UINT64_MAX;
    std::uint64_t size() const { return size_bytes; }
    bool size_known() const { return size_bytes != unknown_size; }
    void set_size(std::uint64_t bytes) { size_bytes = bytes; }
    bool is_link() const { return (attributes & ATTR_LINK) != 0; }

    // extension = name from its last "." on, ASCII lower-cased; empty without a dot.
    void set_extension_from_name();
};

}  // namespace qvtf
