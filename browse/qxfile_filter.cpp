#include "browse/qxfile_filter.h"

#include <set>
#include <string>
#include <unordered_set>

#include "core/qxarr.h"
#include "core/qxmask.h"

namespace qvtf {

namespace {

std::string lower_ascii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

bool has_wildcard(std::string_view s)
{
    return s.find_first_of("*?") != std::string_view::npos;
}

}  // namespace

// Masks without a wildcard, with one "*" at the front or at the end, or
// "*" alone, kept lower-cased; with the lengths of the suffixes and
// prefixes, so a name is cut only where one could match.
struct compiled_masks::plain_masks {
    bool everything = false;
    std::unordered_set<std::string> names, suffixes, prefixes;
    std::set<std::size_t> suffix_lengths, prefix_lengths;
};

int compiled_masks::compile(const qxval& text)
{
    qxarr masks;
    split_masks(text, masks);
    clear();
    int failed = 0;
    auto plain = std::make_shared<plain_masks>();
    for (const qxval& source : masks) {
        ++count_;
        const std::string_view mask = source.view();
        if (mask == "*") {
            plain->everything = true;
        } else if (!has_wildcard(mask)) {
            plain->names.insert(lower_ascii(mask));
        } else if (mask.front() == '*' && !has_wildcard(mask.substr(1))) {
            plain->suffixes.insert(lower_ascii(mask.substr(1)));
            plain->suffix_lengths.insert(mask.size() - 1);
        } else if (mask.back() == '*' && !has_wildcard(mask.substr(0, mask.size() - 1))) {
            plain->prefixes.insert(lower_ascii(mask.substr(0, mask.size() - 1)));
            plain->prefix_lengths.insert(mask.size() - 1);
        } else {
            auto p = std::make_shared<pattern>();
            // A mask that does not compile matches nothing rather than everything.
            if (regcomp(&p->re, mask_regex_of(mask).c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) != 0) {
                ++failed;
                continue;
            }
            patterns_.push_back(std::move(p));
        }
    }
    plain_ = std::move(plain);
    return failed;
}

bool compiled_masks::any_matches(std::string_view name) const
{
    if (plain_) {
        const plain_masks& m = *plain_;
        if (m.everything)
            return true;
        const std::string lower = lower_ascii(name);
        const std::string_view l = lower;
        if (m.names.count(lower))
            return true;
        for (std::size_t n : m.suffix_lengths) {
            if (n > l.size())
                break;
            if (m.suffixes.count(std::string(l.substr(l.size() - n))))
                return true;
        }
        for (std::size_t n : m.prefix_lengths) {
            if (n > l.size())
                break;
            if (m.prefixes.count(std::string(l.substr(0, n))))
                return true;
        }
    }
    if (patterns_.empty())
        return false;
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
        default: break;
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
