// Listing lines into the tree, and the listing thread that feeds them from
// the data connection's pipe.
#include <unistd.h>

#include "browse/listing_parser.h"
#include "core/linearizer.h"
#include "core/qxfiles_atomic.h"
#include "core/qxpipe.h"
#include "remote/listing_report.h"
#include "remote/remote_site.h"

namespace qvtf {

listing_builder::listing_builder(qxfile_tree& tree, qxfile_node* folder, const listing_clock& clock,
                                 listing_format format)
    : tree_(tree), folder_(folder), clock_(clock), format_(format)
{
    if (!folder_)
        return;
    qxfile_tree::reader hold(tree_);
    folder_->needs_listing = 1;
}

listing_builder::~listing_builder()
{
    finish();
    qxe_tree<qxfile_node>::free_chain(folders_.first_child);
    folders_.first_child = nullptr;
}

int listing_builder::parse_listing_line(std::string_view line)
{
    auto* node = new qxfile_node;
    bool keep = false;
    bool seconds = false;
    int style = 0;
    if (format_ == listing_format::machine) {
        style = parse_machine_entry(line, clock_, *node, keep);
        seconds = node->time_exact != 0;
    } else {
        style = parse_listing_entry(line, clock_, *node, keep, seconds);
    }
    styles_ |= style;
    if (keep) {
        any_entry_ = true;
        all_seconds_ = all_seconds_ && seconds;
    }
    if (style == 0 && report_ && !listing_line_is_filler(line)) {
        ++report_->unparsed;
        if (report_->unparsed_lines.size() < listing_report::unparsed_lines_kept)
            report_->unparsed_lines.emplace_back(line);
    }
    if (keep && folder_) {
        if (node->is_folder && !node->unique.empty())
            mark_loop(*node);
        insert(node);
    } else {
        if (format_ == listing_format::machine && folder_ && node->name.view() == "." && !node->unique.empty()) {
            qxfile_tree::reader hold(tree_);
            folder_->unique = node->unique;
        }
        delete node;
    }
    return style;
}

// A folder with the identity of the listed folder or one above it is a
// link back there, whatever the server calls it: its target is the way up.
void listing_builder::mark_loop(qxfile_node& node)
{
    qxfile_tree::reader hold(tree_);
    std::string up = ".";
    for (const qxfile_node* at = folder_; at; at = at->parent) {
        if (at->unique == node.unique) {
            node.attributes |= ATTR_LINK;
            node.link_target.set_bytes(up);
            return;
        }
        up = up == "." ? ".." : up + "/..";
    }
}

// Constant time per entry, outside the tree until the run ends: folders
// follow the last folder, files the last file.
void listing_builder::insert(qxfile_node* node)
{
    qxfile_node& staging = node->is_folder ? folders_ : files_;
    qxfile_node*& last = node->is_folder ? last_folder_ : last_file_;
    if (last)
        tree_.insert_after(node, last);
    else
        tree_.append_child(node, &staging);
    last = node;
}

void listing_builder::abandon()
{
    if (finished_)
        return;
    finished_ = true;
    qxe_tree<qxfile_node>::free_chain(folders_.first_child);
    qxe_tree<qxfile_node>::free_chain(files_.first_child);
    folders_.first_child = nullptr;
    files_.first_child = nullptr;
}

void listing_builder::finish()
{
    if (report_)
        report_->exact_times = any_entry_ && all_seconds_;
    if (!folder_ || finished_)
        return;
    finished_ = true;
    if (qxfile_node* first_file = files_.first_child) {
        // The files go behind the folders.
        files_.first_child = nullptr;
        if (last_folder_) {
            last_folder_->next = first_file;
            first_file->prev = last_folder_;
        } else {
            folders_.first_child = first_file;
        }
    }
    tree_.adopt_children(folder_, folders_);
}

int parse_listing(std::string_view reply, qxfile_tree& tree, qxfile_node* folder, const listing_clock& clock,
                  listing_report* report, listing_format format)
{
    listing_builder builder(tree, folder, clock, format);
    builder.report_to(report);
    while (!reply.empty()) {
        std::size_t lf = reply.find('\n');
        std::size_t take = lf == std::string_view::npos ? reply.size() : lf + 1;
        builder.parse_listing_line(reply.substr(0, take));
        reply.remove_prefix(take);
    }
    builder.finish();
    if (report)
        report->complete = true;
    return builder.styles();
}

int read_listing(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, std::int32_t time_difference, file_handle dump,
                 listing_report* report)
{
    return read_listing(pipe, tree, folder, listing_clock::current(time_difference), dump, report);
}

int read_listing(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, std::int32_t time_difference,
                 listing_format format, file_handle dump, listing_report* report)
{
    return read_listing(pipe, tree, folder, listing_clock::current(time_difference), dump, report, format);
}

int read_listing(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, const listing_clock& clock, file_handle dump,
                 listing_report* report, listing_format format)
{
    constexpr std::uint32_t stop = pipe_stop | pipe_consumer_done | pipe_consumer_failed;
    constexpr std::uint32_t data_broken = pipe_producer_failed & ~pipe_producer_done;
    if (report)
        *report = listing_report{};
    listing_builder builder(tree, folder, clock, format);
    builder.report_to(report);
    if (dump != invalid_file_handle)
        seek_file(dump, 0, 0);

    linearizer lines;
    lines.limit = 2147483647;
    lines.max_line = listing_line_limit;
    qxval line;
    auto parse_ready_lines = [&] {
        while (!pipe.any(stop) && lines.output.shift(line))
            builder.parse_listing_line(line.view());
    };

    while (!pipe.any(stop)) {
        qxval chunk;
        std::uint32_t status = 0;
        if (pipe.shift_or_status(chunk, status)) {
            if (dump != invalid_file_handle)
                write_file(chunk, chunk.text.length, dump);  // best effort, like any debug aid
            lines.push(chunk);
            lines.run();
            parse_ready_lines();
            continue;
        }
        // Empty and the producer done, seen together: nothing more will come.
        if (status & pipe_producer_done)
            break;
        pipe.wait_for_chunk(stop | pipe_producer_done);
    }
    // A reset or a stall ends the data early: its last line may be a
    // fragment, and the lines before it are not the whole folder.
    const bool whole = !pipe.any(stop | data_broken);
    if (whole) {
        lines.end_input();
        lines.run();
        parse_ready_lines();
    }
    if (dump != invalid_file_handle) {
        // Nothing of an older, longer listing may remain behind this one.
        std::int64_t end = seek_file(dump, 0, 1);
        if (end >= 0 && ftruncate(dump, off_t(end)) != 0)
            (void)0;  // unchecked, like the writes: it only serves debugging
    }
    // The folder keeps needs_listing set when its entries stay as they were.
    if (whole)
        builder.finish();
    else
        builder.abandon();
    if (report) {
        report->complete = whole;
        report->unparsed += int32_t(lines.dropped);
    }
    pipe.raise(pipe_consumer_done);
    return builder.styles() | (lines.dropped ? listing_line_dropped : 0);
}

file_handle open_listing_dump(const qxval& path)
{
    return open_private_file(path);
}

}  // namespace qvtf
