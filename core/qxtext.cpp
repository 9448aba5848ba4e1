#include "core/qxtext.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace qvtf {

namespace {

// The value's own text buffer after turning it into kind string.
qxchar& string_text(qxval& value)
{
    value.convert_to(qxval_kind::string);
    return value.text;
}

int32_t size32(std::size_t n)
{
    return static_cast<int32_t>(n);
}

}  // namespace

int32_t length(const qxval& value)
{
    return value.text_view().length;
}

void set_length(qxval& value, int32_t n)
{
    qxchar& text = string_text(value);
    int32_t old = text.length;
    text.resize(n);
    if (text.length > old)
        std::memset(text.data + old, 0, static_cast<std::size_t>(text.length - old));
}

void drop_prefix(qxval& value, int32_t n)
{
    qxchar& text = string_text(value);
    if (n <= 0 || n > text.length)
        return;
    std::memmove(text.data, text.data + n, static_cast<std::size_t>(text.length - n));
    text.length -= n;
}

void set_left_of(qxval& value, const qxval& other, int32_t n)
{
    std::string_view source = other.view();
    if (n < 0)
        n = 0;
    source = source.substr(0, static_cast<std::size_t>(n));
    if (&value == &other) {
        // Cutting our own text: keep the prefix in place.
        string_text(value).resize(size32(source.size()));
        return;
    }
    value.set_bytes(source);
}

void append_text(qxval& value, const qxval& other)
{
    if (&value == &other) {
        std::string copy = other.str();
        string_text(value).append(copy);
        return;
    }
    std::string_view more = other.view();
    string_text(value).append(more);
}

void append_cstr(qxval& value, const char* text)
{
    string_text(value).append(text);
}

void extension_of(const qxval& path, qxval& out)
{
    std::string_view text = path.view();
    std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos) {
        out.set_string("");
        return;
    }
    std::string ext(text.substr(dot));  // path and out may be the same value
    out.set_bytes(ext);
}

int32_t find(const qxval& value, const qxval& needle, int32_t start)
{
    std::string needle_text = needle.str();  // value and needle may alias
    std::string_view text = value.view();
    if (needle_text.empty() || start < 0 || start >= size32(text.size()))
        return -1;
    std::size_t at = needle_text.size() == 1 ? text.find(needle_text[0], static_cast<std::size_t>(start))
                                             : text.find(needle_text, static_cast<std::size_t>(start));
    return at == std::string_view::npos ? -1 : size32(at);
}

int32_t find_last(const qxval& value, const qxval& needle)
{
    std::string needle_text = needle.str();
    if (needle_text.empty())
        return -1;
    std::size_t at = value.view().rfind(needle_text);
    return at == std::string_view::npos ? -1 : size32(at);
}

void replace_all(qxval& value, const qxval& search, const qxval& replacement)
{
    std::string from = search.str();
    if (from.empty())
        return;
    std::string to = replacement.str();
    qxchar& text = string_text(value);
    std::string_view subject = text.view();

    if (from.size() == 1 && to.size() == 1) {
        for (int32_t i = 0; i < text.length; ++i)
            if (text.data[i] == from[0])
                text.data[i] = to[0];
        return;
    }

    int64_t count = 0;
    for (std::size_t at = subject.find(from); at != std::string_view::npos; at = subject.find(from, at + from.size()))
        ++count;
    if (count == 0)
        return;
    int64_t total = int64_t(subject.size()) + count * (int64_t(to.size()) - int64_t(from.size()));
    if (total > std::numeric_limits<int32_t>::max())
        return;  // cannot be held; leave the text as it was
    if (total == 0) {
        text.length = 0;
        return;
    }

    qxchar result;
    result.set_size(static_cast<int32_t>(total));
    if (!result.data)
        return;
    char* out = result.data;
    std::size_t pos = 0;
    for (std::size_t at = subject.find(from); at != std::string_view::npos; at = subject.find(from, pos)) {
        std::memcpy(out, subject.data() + pos, at - pos);
        out += at - pos;
        std::memcpy(out, to.data(), to.size());
        out += to.size();
        pos = at + from.size();
    }
    std::memcpy(out, subject.data() + pos, subject.size() - pos);
    result.length = static_cast<int32_t>(total);
    text.take(result);
}

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

void to_upper(qxval& value)
{
    qxchar& text = string_text(value);
    for (int32_t i = 0; i < text.length; ++i)
        text.data[i] = ascii_upper(text.data[i]);
}

void to_lower(qxval& value)
{
    qxchar& text = string_text(value);
    for (int32_t i = 0; i < text.length; ++i)
        text.data[i] = ascii_lower(text.data[i]);
}

bool is_white_space(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_white_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_white_space(text.back()))
        text.remove_suffix(1);
    return text;
}

void trim(qxval& value)
{
    qxchar& text = string_text(value);
    std::string_view kept = trimmed(text.view());
    if (kept.size() != static_cast<std::size_t>(text.length))
        text.assign(kept.data(), size32(kept.size()));  // assign handles the overlap
}

void unescape_backslashes(qxval& value)
{
    qxchar& text = string_text(value);
    int32_t out = 0;
    for (int32_t i = 0; i < text.length; ++i) {
        if (text.data[i] == '\\') {
            if (++i == text.length)
                break;
        }
        text.data[out++] = text.data[i];
    }
    text.length = out;
}

bool next_word(std::string_view text, int32_t& cursor, qxval& out)
{
    std::size_t pos = cursor < 0 ? 0 : static_cast<std::size_t>(cursor);
    std::string word;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        char quote = text[pos++];
        while (pos < text.size()) {
            char c = text[pos];
            if (c == quote) {
                ++pos;
                break;
            }
            if (c == '\\') {
                if (pos + 1 >= text.size()) {
                    pos = text.size();
                    break;
                }
                if (text[pos + 1] != quote)
                    word += c;
                word += text[pos + 1];
                pos += 2;
                continue;
            }
            word += c;
            ++pos;
        }
    } else {
        std::size_t start = pos;
        while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t')
            ++pos;
        word.assign(text.substr(start, pos - start));
    }
    cursor = size32(pos);
    out.set_bytes(word);
    return !word.empty();
}

namespace {

int xml_extra(unsigned char c)
{
    switch (c) {
    case '<':
    case '>': return 3;
    case '&': return 4;
    case '"': return 5;
    default: return c >= 128 ? 5 : 0;
    }
}

// Writes the escaped form of text to out, which holds exactly the room
// that xml_extra computed.
void write_escaped(std::string_view text, char* out)
{
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        const char* entity = nullptr;
        switch (c) {
        case '"': entity = "&quot;"; break;
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        default: break;
        }
        if (entity) {
            std::size_t n = std::strlen(entity);
            std::memcpy(out, entity, n);
            out += n;
        } else if (c >= 128) {
            *out++ = '&';
            *out++ = '#';
            *out++ = static_cast<char>('0' + c / 100);
            *out++ = static_cast<char>('0' + c / 10 % 10);
            *out++ = static_cast<char>('0' + c % 10);
            *out++ = ';';
        } else {
            *out++ = ch;
        }
    }
}

int64_t escaped_size(std::string_view text)
{
    int64_t size = static_cast<int64_t>(text.size());
    for (char c : text)
        size += xml_extra(static_cast<unsigned char>(c));
    return size;
}

}  // namespace

void xml_escape(qxchar& text)
{
    std::string_view source = text.view();
    int64_t size = escaped_size(source);
    if (size == text.length || size > std::numeric_limits<int32_t>::max())
        return;
    qxchar result;
    result.set_size(static_cast<int32_t>(size));
    if (!result.data)
        return;
    write_escaped(source, result.data);
    text.take(result);
}

bool parse_number_in(std::string_view text, int64_t low, int64_t high, int64_t& out)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high)
        return false;
    out = value;
    return true;
}

std::string xml_escaped(std::string_view text)
{
    std::string out;
    out.resize(static_cast<std::size_t>(escaped_size(text)));
    write_escaped(text, out.data());
    return out;
}

std::string xml_escaped_keep_cr(std::string_view text)
{
    std::string e = xml_escaped(text);
    if (e.find('\r') == std::string::npos)
        return e;
    std::string out;
    out.reserve(e.size() + 8);
    for (char c : e) {
        if (c == '\r')
            out += "&#13;";
        else
            out += c;
    }
    return out;
}

void shorten_path(qxval& path, int32_t width)
{
    std::string_view text = path.view();
    if (width < 6 || size32(text.size()) <= width)
        return;
    std::string shorter;
    if (text[1] == ':') {
        shorter.assign(1, text[0]);
        shorter += ":\\...";
        shorter += text.substr(text.size() - static_cast<std::size_t>(width - 6));
    } else if (text[0] == '/') {
        shorter = "/...";
        shorter += text.substr(text.size() - static_cast<std::size_t>(width - 4));
    } else {
        return;
    }
    path.set_bytes(shorter);
}

}  // namespace qvtf
