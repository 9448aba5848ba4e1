// Hostile listing bytes: every line parsed on its own and the whole reply
// built into a tree. Kept entries must be safe to join to a local folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "browse/listing_parser.h"

using namespace qvtf;

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
    return 0;
}
