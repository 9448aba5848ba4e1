#include "markup/qxlang.h"

#include <string>
#include <vector>

#include "core/qx_3des_keys.h"
#include "core/qxfiles.h"
#include "core/qxtext.h"
#include "markup/qxxml.h"
#include "markup/xml_io.h"

namespace qvtf {

namespace {

constexpr int32_t read_chunk = 16384;  // a multiple of 8, so every full chunk deciphers
constexpr std::size_t write_chunk = 512;
// A phrase number beyond this would make the table absurdly wide (one
// element "_2000000000" would ask for gigabytes); such a number is refused
// like a wrongly ordered one.
constexpr int32_t max_phrase_number = 1 << 20;

class file_closer {
public:
    explicit file_closer(file_handle h) : h_(h) {}
    ~file_closer() { close_file(h_); }
    file_closer(const file_closer&) = delete;
    file_closer& operator=(const file_closer&) = delete;

private:
    file_handle h_;
};

// Document-order successor of n within the subtree of top (top excluded);
// null at the end.
const xml_node* next_in(const xml_node* n, const xml_node* top)
{
    if (n->first_child)
        return n->first_child;
    while (n && n != top) {
        if (n->next)
            return n->next;
        n = n->parent;
    }
    return nullptr;
}

const xml_node* find_langs(const xml_tree& tree)
{
    for (const xml_node* top = tree.root; top; top = top->next) {
        for (const xml_node* n = top; n; n = next_in(n, top))
            if (n->kind == xml_kind_start_tag && n->name.view() == "langs")
                return n;
    }
    return nullptr;
}

// The phrase number of an element "_N" read as a start tag with its end
// tag, or -1 for anything else. -2 for a number too large to hold.
int32_t phrase_number(const xml_node* n)
{
    if (n->kind != xml_kind_start_tag || n->closed != 1)
        return -1;
    std::string_view name = n->name.view();
    if (name.size() < 2 || name[0] != '_')
        return -1;
    int64_t value = 0;
    for (char c : name.substr(1)) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > max_phrase_number)
            return -2;
    }
    return static_cast<int32_t>(value);
}

bool attribute(const xml_node* n, const char* name, qxval& out)
{
    qxval* v = n->attributes.find(qxval(name));
    if (!v)
        return false;
    out.assign_copy(*v);
    return true;
}

// Builds the table from a parsed document: pass 1 names and width, pass 2
// the texts.
int32_t build_table(qxlang& lang, const xml_tree& tree)
{
    const xml_node* langs = find_langs(tree);
    if (!langs)
        return lang_ok;

    int32_t width = 0;
    for (const xml_node* l = langs->first_child; l; l = l->next) {
        if (!l->is_element() || l->name.view() != "lang")
            continue;
        qxval short_name, full_name;
        if (!attribute(l, "short", short_name))
            return lang_no_short;
        if (!attribute(l, "full", full_name))
            return lang_no_full;
        lang.add_language(short_name, full_name);
        int32_t previous = -1;
        for (const xml_node* p = l->first_child; p; p = next_in(p, l)) {
            int32_t number = phrase_number(p);
            if (number == -1)
                continue;
            if (number < previous + 1)  // also -2, too large
                return lang_bad_phrase_id;
            previous = number;
        }
        if (previous + 1 > width)
            width = previous + 1;
    }
    if (lang.language_count() == 0)
        return lang_no_languages;
    if (width == 0)
        return lang_no_phrases;

    lang.set_width(width);
    int32_t row = 0;
    for (const xml_node* l = langs->first_child; l; l = l->next) {
        if (!l->is_element() || l->name.view() != "lang")
            continue;
        for (const xml_node* p = l->first_child; p; p = next_in(p, l)) {
            int32_t number = phrase_number(p);
            if (number < 0)
                continue;
            const xml_node* t = p->first_child;
            if (t && t->is_text() && !t->text.view().empty())
                lang.set_phrase(row, number, t->text.view());
        }
        ++row;
    }
    return lang_ok;
}

}  // namespace

qxlang::qxlang() : keys_(program_lang_keys()) {}

void qxlang::clear()
{
    full_names.clear();
    short_names.clear();
    rows_.clear();
    width_ = 0;
    current_ = 0;
}

void qxlang::select(int32_t index)
{
    if (index >= 0 && index < language_count())
        current_ = index;
}

const char* qxlang::phrase(int32_t number) const
{
    if (number < 0 || number >= width_ || current_ >= language_count())
        return nullptr;
    const std::string& t = rows_[static_cast<std::size_t>(current_)][static_cast<std::size_t>(number)];
    return t.empty() ? nullptr : t.c_str();
}

std::string_view qxlang::text(int32_t number) const
{
    const char* p = phrase(number);
    return p ? std::string_view(rows_[static_cast<std::size_t>(current_)][static_cast<std::size_t>(number)])
             : std::string_view();
}

void qxlang::add_language(const qxval& short_name, const qxval& full_name)
{
    short_names.push_copy(short_name);
    full_names.push_copy(full_name);
    rows_.emplace_back();
}

void qxlang::set_width(int32_t width)
{
    width_ = width;
    for (auto& row : rows_)
        row.assign(static_cast<std::size_t>(width), std::string());
}

void qxlang::set_phrase(int32_t row, int32_t number, std::string_view text)
{
    if (row < 0 || row >= language_count() || number < 0 || number >= width_)
        return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(number)].assign(text);
}

int32_t qxlang::load(const qxval& file_name, qxval& error_out)
{
    return load_stream(file_name, error_out, true);
}

int32_t qxlang::load_plain(const qxval& file_name, qxval& error_out)
{
    return load_stream(file_name, error_out, false);
}

int32_t qxlang::load_stream(const qxval& file_name, qxval& error_out, bool enciphered)
{
    clear();
    file_handle h = open_file(file_name, "r");
    if (h == invalid_file_handle)
        return lang_cannot_open;
    file_closer closer(h);

    qx_3des_keys keys;
    std::uint8_t iv[8];
    std::copy(keys_.iv, keys_.iv + 8, iv);
    if (enciphered && keys_from_blocks(keys, keys_.block1, keys_.block2, keys_.block3) != 0)
        return lang_cannot_open;

    xml_tree tree;
    qxxml reader(&tree);
    for (;;) {
        qxval chunk;
        int32_t n = read_file(chunk, read_chunk, h);
        if (n == 0)
            break;
        if (n < 0)
            return lang_cannot_open;
        if (enciphered) {
            if (n % 8 != 0)
                return lang_bad_chunk;
            qxval clear;
            if (!decipher_chunk(chunk, clear, keys, iv, false))
                return lang_bad_chunk;
            chunk = std::move(clear);
        }
        reader.push(chunk);
        int r = reader.run();
        if (r != qxsgml::run_more) {
            error_out = xml_error_text(reader.line, reader.column, r);
            return lang_xml_error;
        }
    }
    reader.end_input();
    int r = reader.run();
    if (r != qxsgml::run_done) {
        error_out = xml_error_text(reader.line, reader.column, r);
        return lang_xml_error;
    }

    int32_t status = build_table(*this, tree);
    if (status != lang_ok)
        clear();
    return status;
}

std::string qxlang::clear_text() const
{
    std::string out = "<langs>";
    const int32_t count = language_count();
    for (int32_t k = -1; k < count; ++k) {
        // The current language first, then the others in list order.
        int32_t row = k < 0 ? current_ : k;
        if (k >= 0 && k == current_)
            continue;
        if (row >= count)
            continue;
        out += "<lang short=\"";
        out += xml_escaped_keep_cr(short_names.node_at(row)->value.view());
        out += "\" full=\"";
        out += xml_escaped_keep_cr(full_names.node_at(row)->value.view());
        out += "\">";
        const auto& texts = rows_[static_cast<std::size_t>(row)];
        for (std::size_t n = 0; n < texts.size(); ++n) {
            if (texts[n].empty())
                continue;
            const std::string number = std::to_string(n);
            out += "<_" + number + ">";
            out += xml_escaped_keep_cr(texts[n]);
            out += "</_" + number + ">\r\n";
        }
        out += "</lang>";
    }
    out += "</langs>";
    return out;
}

bool qxlang::save(const qxval& file_name) const
{
    qx_3des_keys keys;
    if (keys_from_blocks(keys, keys_.block1, keys_.block2, keys_.block3) != 0)
        return false;
    std::uint8_t iv[8];
    std::copy(keys_.iv, keys_.iv + 8, iv);

    const std::string clear = clear_text();
    file_handle h = open_file(file_name, "w");
    if (h == invalid_file_handle)
        return false;
    file_closer closer(h);
    for (std::size_t at = 0; at < clear.size(); at += write_chunk) {
        qxval chunk(std::string_view(clear).substr(at, write_chunk));
        qxval enciphered;
        if (!decipher_chunk(chunk, enciphered, keys, iv, true))
            return false;
        const int32_t n = length(enciphered);
        if (write_file(enciphered, n, h) != n)
            return false;
    }
    return true;
}

const char* lang_status_text(int32_t status)
{
    switch (status) {
    case lang_cannot_open: return "Can't find language file";
    case lang_xml_error: return "Lang file error:";
    case lang_no_short: return "No short language description";
    case lang_no_full: return "No full language description";
    case lang_bad_phrase_id: return "Phrase ID is wrong";
    case lang_no_languages: return "No languages found";
    case lang_no_phrases: return "No phrases found";
    default: return "Unknown lang error";
    }
}

int32_t transport_phrase_number(int32_t code)
{
    switch (code) {
    case 1000: return 166;
    case 1001: return 167;
    case 1002: return 168;
    case 1003: return 169;
    case 1004: return 170;
    case 1005: return 1000;
    case 1006: return 1001;
    case 1099: return 171;
    case 1100: return 172;
    case 2000: return 177;
    case 2001: return 178;
    case 2002: return 179;
    case 2003: return 180;
    case 2004: return 181;
    case 2005: return 182;
    default: return -1;
    }
}

const char* transport_phrase(const qxlang& lang, int32_t code)
{
    int32_t number = transport_phrase_number(code);
    return number < 0 ? nullptr : lang.phrase(number);
}

}  // namespace qvtf
