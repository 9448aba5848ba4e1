#include "markup/xml_io.h"

#include <string>

#include "core/qxfiles.h"
#include "core/qxtext.h"
#include "markup/qxxml.h"

namespace qvtf {

namespace {

constexpr int32_t read_chunk = 16384;

class file_closer {
public:
    explicit file_closer(file_handle h) : h_(h) {}
    ~file_closer() { close_file(h_); }
    file_closer(const file_closer&) = delete;
    file_closer& operator=(const file_closer&) = delete;

private:
    file_handle h_;
};

void report(xml_progress_fn progress, void* arg, int64_t done, int64_t size)
{
    if (!progress)
        return;
    int64_t percent = size > 0 ? done * 100 / size : 100;
    progress(arg, static_cast<int32_t>(percent > 100 ? 100 : percent));
}

const xml_node* first_match(const xml_node* n, std::string_view name)
{
    for (; n; n = n->next)
        if (n->is_element() && n->name.view() == name)
            return n;
    return nullptr;
}

// Control characters other than tab, line feed and carriage return may not
// appear in an XML document. A run of NUL bytes (a file cut short by a crash
// on some file systems) must read as damage, not as text between the
// elements. Inside a quoted attribute value they are let through: files
// written before kept binary values (a proxy's key) there as raw bytes.
bool forbidden_in_xml(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// Where the reader has got to, for the message of a forbidden byte, and
// whether it is inside a tag or a quoted value there.
struct text_position {
    int32_t line = 1;
    int32_t column = 1;
    bool in_tag = false;
    char quote = 0;  // the open quote of an attribute value, or 0

    // False at the first forbidden byte of text, which the position then names.
    bool pass(std::string_view text)
    {
        for (unsigned char c : text) {
            if (forbidden_in_xml(c) && quote == 0)
                return false;
            if (quote != 0) {
                if (c == static_cast<unsigned char>(quote))
                    quote = 0;
            } else if (!in_tag) {
                in_tag = c == '<';
            } else if (c == '"' || c == '\'') {
                quote = static_cast<char>(c);
            } else if (c == '>') {
                in_tag = false;
            }
            if (c == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return true;
    }
};

}  // namespace

qxval xml_error_text(int32_t line, int32_t column, int32_t code)
{
    std::string s = "Line: " + std::to_string(line) + ", column: " + std::to_string(column) + "\r\nError: ";
    switch (code) {
    case qxsgml::run_size_exceeded: s += "size exceeded.\r\n"; break;
    case qxsgml::run_unknown_error: s += "unknown error.\r\n"; break;
    case qxsgml::run_misplaced_end_tag: s += "misplaced end tag.\r\n"; break;
    case qxsgml::run_unclosed_tag: s += "unclosed tag.\r\n"; break;
    case xml_forbidden_character: s += "a character XML does not allow.\r\n"; break;
    default: break;
    }
    return qxval(s);
}

int32_t xml_read_file(const qxval& file_name, xml_tree& tree, qxval& error, xml_progress_fn progress,
                      void* progress_arg)
{
    file_handle h = open_file(file_name, "r+");
    if (h == invalid_file_handle) {
        error.set_string("Can't open source file: ");
        append_text(error, file_name);
        return 1;
    }
    file_closer closer(h);
    int64_t size = file_size(h);
    int64_t done = 0;
    qxxml reader(&tree);
    text_position position;
    for (;;) {
        qxval chunk;
        int32_t n = read_file(chunk, read_chunk, h);
        if (n == 0)
            break;
        if (n < 0) {
            // A failed read must not pass for the end of a shorter document.
            error = xml_error_text(reader.line, reader.column, qxsgml::run_unknown_error);
            return 2;
        }
        done += n;
        if (!position.pass(chunk.view())) {
            error = xml_error_text(position.line, position.column, xml_forbidden_character);
            return 2;
        }
        reader.push(chunk);
        int r = reader.run();
        if (r != qxsgml::run_more) {
            error = xml_error_text(reader.line, reader.column, r);
            return 2;
        }
        report(progress, progress_arg, done, size);
    }
    reader.end_input();
    int r = reader.run();
    if (r != qxsgml::run_done) {
        error = xml_error_text(reader.line, reader.column, r);
        return 2;
    }
    if (progress)
        progress(progress_arg, 100);
    return 0;
}

xml_node* xml_find(const xml_tree& tree, std::string_view path, const xml_node* start)
{
    const xml_node* chain = (path.starts_with('/') || !start) ? tree.root : start->first_child;
    const xml_node* found = nullptr;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string_view::npos)
            slash = path.size();
        std::string_view name = path.substr(i, slash - i);
        i = slash + 1;
        if (name.empty())
            continue;
        found = first_match(chain, name);
        if (!found)
            return nullptr;
        chain = found->first_child;
    }
    return const_cast<xml_node*>(found);
}

int32_t xml_get_text(const xml_tree& tree, std::string_view path, const xml_node* start, qxval& out)
{
    out.set_string("");
    const xml_node* node = xml_find(tree, path, start);
    if (!node)
        return 1;
    if (node->first_child && node->first_child->is_text())
        out.assign_copy(node->first_child->text);
    return 0;
}

void xml_to_map(const xml_tree& tree, qxhash_array& map)
{
    const qxval empty("");
    for (const xml_node* n = tree.root; n; n = xml_tree::next_preorder(const_cast<xml_node*>(n))) {
        if (n->kind == xml_kind_start_tag) {
            if (n->first_child && n->first_child->is_text())
                map.add_value(n->name, n->first_child->text);
        } else if (n->kind == xml_kind_empty_tag) {
            map.add_value(n->name, empty);
        }
    }
}

bool xml_read_map(const qxval& file_name, qxcgi& map)
{
    xml_tree tree;
    qxval error("");
    int32_t r = xml_read_file(file_name, tree, error);
    if (r == 1) {
        map.last_error.set_string("Can't open file ");
        append_text(map.last_error, file_name);
        return false;
    }
    if (r != 0) {
        map.last_error.assign_move(error);
        return false;
    }
    xml_to_map(tree, map);
    return true;
}

void xml_write_list(const xml_tree& tree, qxarr& list)
{
    for (const xml_node* n = tree.root; n; n = xml_tree::next_preorder(const_cast<xml_node*>(n))) {
        qxval line("");
        qxchar& out = line.text;
        switch (n->kind) {
        case xml_kind_start_tag:
        case xml_kind_empty_tag:
            out.append_byte('<');
            out.append(n->name.view());
            n->attributes.for_each([&out](const qxhash_entry& a) {
                const std::string value = xml_escaped_keep_cr(a.value.view());
                out.append_byte(' ');
                out.append(a.key.view());
                out.append("=\"");
                out.append(value);
                out.append_byte('"');
            });
            if (n->kind == xml_kind_empty_tag)
                out.append(" /");
            out.append_byte('>');
            break;
        case xml_kind_end_tag:
            out.append("</");
            out.append(n->name.view());
            out.append_byte('>');
            break;
        case xml_kind_cdata:
        case xml_kind_pi:
        case xml_kind_text: out.append(n->raw.view()); break;
        default: break;  // comments and declarations are not written back
        }
        list.push(line);
    }
}

bool xml_write_file(const qxval& file_name, const xml_tree& tree)
{
    qxarr list;
    xml_write_list(tree, list);
    return write_list_to_file(file_name, list, "w+");
}

}  // namespace qvtf
