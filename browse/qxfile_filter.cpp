#include "browse/qxfile_filter.h"

#include <string>

#include "core/qxarr.h"
#include "core/qxmask.h"

namespace qvtf {

int compiled_masks::compile(const qxval& text)
{
    qxarr regexes;
    split_mask_list(text, regexes);
    patterns_.clear();
    int failed = 0;
    for (const qxval& source : regexes) {
        auto p = std::make_shared<pattern>();
        // A mask that does not compile matches nothing rather than everything.
        if (regcomp(&p->re, source.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) != 0) {
            ++failed;
            continue;
        }
        patterns_.push_back(std::move(p));
    }
    return failed;
}

bool compiled_masks::any_matches(std::string_view name) const
{
    const std::string subject(name);
    for (const auto& p : patterns_)
        if (regexec(&p->re, subject.c_str(), 0, nullptr, 0) == 0)
            return true;
    return false;
}

void qxfile_filter::set_pane_masks(const qxval& include, const qxval& skip)
{
    files_include.compile(include);
    files_skip.compile(skip);
    folder_include.compile(qxval("*"));
    folder_skip.clear();
    attribute_mode = 0;
}

bool qxfile_filter::shows(const qxfile_node& node) const
{
    const std::string_view name = node.name.view();
    if (node.is_folder)
        return folder_include.any_matches(name) && !folder_skip.any_matches(name);

    if (attribute_mode & 1) {
        const uint32_t a = node.attributes;
        const uint32_t m = attribute_mask;
        switch (attribute_mode) {
        case attributes_within_mask:
            if (a & ~m)
                return false;
            break;
        case attributes_any_of_mask:
            if (!(a & m))
                return false;
            break;
        case attributes_not_all_others:
            if ((a & ~m) == ~m)
                return false;
            break;
        case attributes_all_of_mask:
            if ((a & m) != m)
                return false;
            break;
        default:
            break;
        }
    }
    if (time_filter && (node.modified < time_start || node.modified > time_end))
        return false;
    if (size_filter && (node.size() < size_minimum || node.size() > size_maximum))
        return false;
    return files_include.any_matches(name) && !files_skip.any_matches(name);
}

int32_t qxfile_filter::pass(qxfile_tree& tree, qxfile_node* folder) const
{
    int32_t shown = 0;
    auto mark = [&](qxfile_node* n) {
        n->shown = shows(*n) ? 1 : 0;
        shown += n->shown;
    };
    if (folder) {
        for (qxfile_node* n = folder->first_child; n; n = n->next)
            mark(n);
    } else {
        for (qxfile_node* n = tree.root; n; n = qxfile_tree::next_preorder(n))
            mark(n);
    }
    return shown;
}

}  // namespace qvtf
