// Hostile listing bytes: every line parsed on its own (as a listing for
// people and as a machine line) and the whole reply built into a tree. Kept entries must be safe to join to a local folder.
// The same bytes, cut into chunks, go through the bounded line splitter
// (checked against a plain split) and through the pipe reader (which must
// build the same tree as the whole-reply parser).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "browse/listing_parser.h"
#include "core/linearizer.h"
#include "core/qxpipe.h"

using namespace qvtf;

namespace {

std::vector<std::string> chunks_of(std::string_view in, std::size_t step)
{
    std::vector<std::string> out;
    for (std::size_t at = 0; at < in.size(); at += step)
        out.emplace_back(in.substr(at, step));
    return out;
}

// Lines cut after each line feed; those longer than bound left out.
std::vector<std::string> expected_lines(std::string_view in, std::size_t bound, std::int64_t& dropped)
{
    std::vector<std::string> out;
    dropped = 0;
    while (!in.empty()) {
        std::size_t lf = in.find('\n');
        std::size_t take = lf == std::string_view::npos ? in.size() : lf + 1;
        if (take > bound)
            ++dropped;
        else
            out.emplace_back(in.substr(0, take));
        in.remove_prefix(take);
    }
    return out;
}

void check_bounded_lines(std::string_view in, std::size_t bound, std::size_t step)
{
    linearizer lines;
    lines.limit = 2147483647;
    lines.max_line = static_cast<std::int32_t>(bound);
    std::vector<std::string> got;
    qxval line;
    for (const std::string& c : chunks_of(in, step)) {
        qxval chunk(c);
        lines.push(chunk);
        lines.run();
        while (lines.output.shift(line))
            got.push_back(line.str());
    }
    lines.end_input();
    lines.run();
    while (lines.output.shift(line))
        got.push_back(line.str());
    std::int64_t dropped = 0;
    if (got != expected_lines(in, bound, dropped) || lines.dropped != dropped)
        std::abort();
}

std::vector<std::string> names(const qxfile_node* folder)
{
    std::vector<std::string> out;
    for (const qxfile_node* n = folder->first_child; n; n = n->next)
        out.push_back(n->name.str() + (n->is_folder ? "/" : "") + std::to_string(n->size()));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    // 2024-06-15 12:00 UTC, with a time difference taken from the input.
    std::int32_t diff = size > 0 ? std::int32_t(std::int8_t(data[0])) * 3600 : 0;
    const listing_clock clock = listing_clock::at(1718452800, diff);

    qxfile_node entry;
    bool keep = false;
    int style = parse_listing_entry(in, clock, entry, keep);
    if (style < 0 || style > 2)
        std::abort();
    if (keep) {
        std::string_view name = entry.name.view();
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
            name.find('\0') != std::string_view::npos || name.find_first_of("\r\n") != std::string_view::npos)
            std::abort();
    }

    // The same bytes as a machine line: the same rule for the names kept.
    qxfile_node machine;
    const int machine_style = parse_machine_entry(in, clock, machine, keep);
    if (machine_style != 0 && machine_style != listing_machine)
        std::abort();
    if (keep) {
        std::string_view name = machine.name.view();
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
            name.find('\0') != std::string_view::npos)
            std::abort();
    }

    qxfile_tree tree;
    auto* folder = new qxfile_node;
    folder->is_folder = 1;
    tree.append_top(folder);
    parse_listing(in, tree, folder, clock);
    // Folders first, consistent links, every parent the listed folder.
    bool files_started = false;
    const qxfile_node* prev = nullptr;
    for (const qxfile_node* n = folder->first_child; n; n = n->next) {
        if (n->parent != folder || n->prev != prev)
            std::abort();
        if (!n->is_folder)
            files_started = true;
        else if (files_started)
            std::abort();
        prev = n;
    }

    const std::size_t step = size > 1 ? data[1] % 97 + 1 : 1;
    check_bounded_lines(in, size > 2 ? data[2] % 80 + 1 : 1, step);

    qxpipe pipe;
    for (const std::string& c : chunks_of(in, step)) {
        qxval chunk(c);
        pipe.push(chunk);
    }
    pipe.raise(pipe_producer_done);
    qxfile_tree piped_tree;
    auto* piped = new qxfile_node;
    piped->is_folder = 1;
    piped_tree.append_top(piped);
    const int styles = read_listing(pipe, piped_tree, piped, clock, invalid_file_handle);
    if (names(piped) != names(folder) || !pipe.any(pipe_consumer_done) || (styles & ~3) != 0)
        std::abort();
    return 0;
}
