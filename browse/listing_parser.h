// Remote listing parser: LIST replies in the Unix long style or the DOS/IIS
// style, turned into qxfile_node entries of the listed folder.
//
// The line parser is a pure function over bytes (parse_listing_entry); the
// tree insertion and the pipe reader are layered on top of it. Only core/ and
// the listing format of remote/ are used, so the session layer can drive it
// as well as the panes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string_view>

#include "core/qxfile_node.h"
#include "core/qxfile_tree.h"
#include "core/qxfiles.h"
#include "core/qxval.h"
#include "remote/remote_site.h"

namespace qvtf {

class qxpipe;
struct listing_report;

// Style bits of a listing run.
enum listing_style : int {
    listing_unix = 1,
    listing_dos = 2,
    listing_machine = 4,  // MLSD/MLST facts
};

// The clock one listing run works with: taken once when the run starts.
struct listing_clock {
    std::time_t now = 0;               // current UTC time
    int current_year = 1970;           // of now, in UTC
    std::int32_t time_difference = 0;  // server minus local, subtracted from every time

    static listing_clock at(std::time_t now_utc, std::int32_t time_difference);
    static listing_clock current(std::int32_t time_difference);
};

// Reads "drwxrwxrwx"-style text at line[pos]: the type letter (d, l or -) and
// nine permission letters. Sets node.attributes (with ATTR_LINK for "l") and
// node.is_folder; returns 0 and leaves pos after the ninth letter, or -1 with
// node and pos unchanged when the text is not a permission field.
int parse_permissions(std::string_view line, std::size_t& pos, qxfile_node& node);

// The 10-character permission text of attributes and the folder flag.
qxval format_permissions(std::uint32_t attributes, bool is_folder);

// Parses one line (its line feed may still be attached) into entry: name,
// link_target, is_folder, attributes, size, modified and, for Unix lines, the
// extension. Returns 0 for a line that is not an entry, listing_unix or
// listing_dos for a line of that style. keep is false when the line names an
// entry that must not be listed: "." and "..", and names that are empty or
// contain "/" or a NUL byte (such a name would let a download leave the
// folder it is meant for).
// The size of a line whose number does not fit a signed 64-bit count is
// qxfile_node::unknown_size.
int parse_listing_entry(std::string_view line, const listing_clock& clock, qxfile_node& entry, bool& keep);
// Also tells whether the entry's time came to the second.
int parse_listing_entry(std::string_view line, const listing_clock& clock, qxfile_node& entry, bool& keep,
                        bool& seconds);

// Names that are never listed: the folder itself, its parent, and names no
// local file could safely take (empty, or holding "/" or a NUL byte).
bool name_is_listable(std::string_view name);

// One line of a machine listing (MLSD, or MLST's entry line without its
// leading space): "fact=value;...; name". The name is everything after the
// space that ends the facts, leading spaces included. Known facts: type
// (cdir and pdir are not kept; OS.unix=slink:TARGET is a link), size and
// sizd, modify (UTC, exact to the second), unix.mode, perm (where no mode
// is given), unix.owner/ownername/uid and unix.group/groupname/gid.
// Returns listing_machine for an entry line, 0 for a malformed one.
int parse_machine_entry(std::string_view line, const listing_clock& clock, qxfile_node& entry, bool& keep);

// Lines that are no entry and leave nothing out: blank lines and the
// "total" line. Every other line that gives no entry is counted unparsed.
bool listing_line_is_filler(std::string_view line);

// Per-run state of the tree insertion: entries are collected outside the
// tree (folders, then files) and swapped into the folder when the run ends
// (qxfile_tree::adopt_children), so readers never see a half-built listing.
class listing_builder {
public:
    listing_builder(qxfile_tree& tree, qxfile_node* folder, const listing_clock& clock,
                    listing_format format = listing_format::list);
    ~listing_builder();
    listing_builder(const listing_builder&) = delete;
    listing_builder& operator=(const listing_builder&) = delete;

    // One line of the listing; returns its style (0, 1 or 2).
    int parse_listing_line(std::string_view line);
    // Swaps the collected entries into the folder. Called by the destructor
    // if not called before.
    void finish();
    // Throws the collected entries away: the folder keeps what it had.
    void abandon();

    int styles() const { return styles_; }
    // Lines counted as unparsed, the first of them kept, and whether every
    // entry had its time to the second; filled in when given.
    void report_to(listing_report* report) { report_ = report; }

private:
    void insert(qxfile_node* node);
    void mark_loop(qxfile_node& node);

    qxfile_tree& tree_;
    qxfile_node* folder_;
    listing_clock clock_;
    listing_format format_;
    qxfile_node folders_;  // staging, outside the tree
    qxfile_node files_;
    bool finished_ = false;
    qxfile_node* last_folder_ = nullptr;
    qxfile_node* last_file_ = nullptr;
    int styles_ = 0;
    listing_report* report_ = nullptr;
    bool any_entry_ = false;
    bool all_seconds_ = true;
};

// The whole reply at once (tests, recorded listings): replaces folder's
// children, parses every line including a last one without a line feed, and
// sets needs_listing to 0. Returns the style bits.
int parse_listing(std::string_view reply, qxfile_tree& tree, qxfile_node* folder, const listing_clock& clock,
                  listing_report* report = nullptr, listing_format format = listing_format::list);

// The listing thread's body: chunks from the pipe until the producer has
// finished (flag 1) or a stop or consumer flag (4, 16, 32) shows; each chunk
// also goes unchanged into the dump file, which afterwards holds exactly
// this reply. Raises flag 16 at the end. Returns the style bits.
//
// Only a listing whose data ended cleanly (flag 1 without the failure bit)
// replaces the folder's entries: after a reset or a stall the entries so
// far, and the cut line, are thrown away and report->complete stays false.
int read_listing(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, std::int32_t time_difference, file_handle dump,
                 listing_report* report);
int read_listing(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, const listing_clock& clock, file_handle dump,
                 listing_report* report = nullptr, listing_format format = listing_format::list);
// The session's reader (remote_listing_reader), for either format.
int read_listing(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, std::int32_t time_difference,
                 listing_format format, file_handle dump, listing_report* report);

// The debug dump of the latest listing, created empty with mode 0600 (it
// holds the server's names).
constexpr const char* listing_dump_name = "qx_listing_debug.txt";
file_handle open_listing_dump(const qxval& path);

}  // namespace qvtf
