#include "markup/qxsgml.h"

namespace qvtf {

namespace {

bool ends_with(const qxchar& s, std::string_view tail)
{
    std::string_view v = s.view();
    return v.size() >= tail.size() && v.substr(v.size() - tail.size()) == tail;
}

struct bang_form {
    std::string_view prefix;
    int32_t kind;
};

// "<!" forms, longest decisions first where one prefix holds another.
constexpr bang_form bang_forms[] = {
    {"<!--#", 14}, {"<![CDATA[", 6}, {"<!DOCTYPE", 7}, {"<!ELEMENT", 8}, {"<!ATTLIST", 9}, {"<!ENTITY", 10},
};

}  // namespace

int32_t qxsgml::classify(std::string_view t)
{
    if (t.size() < 2)
        return 0;
    unsigned char c = static_cast<unsigned char>(t[1]);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':')
        return 1;
    switch (c) {
    case '/': return 2;
    case '?': return 11;
    case '%': return 12;
    case '#': return 13;
    case '!': break;
    default: return 15;
    }
    bool open = false;
    for (const bang_form& f : bang_forms) {
        if (t.size() >= f.prefix.size() && t.substr(0, f.prefix.size()) == f.prefix)
            return f.kind;
        if (f.prefix.substr(0, t.size()) == t)
            open = true;
    }
    // "<!--" is a comment unless a "#" follows it.
    if (t.size() >= 5 && t.substr(0, 4) == "<!--")
        return 5;
    return open ? 0 : 4;
}

std::string_view qxsgml::terminator(int32_t kind)
{
    switch (kind) {
    case 5: return "-->";
    case 6: return "]]>";
    case 11: return "?>";
    default: return ">";
    }
}

void qxsgml::reset_reader()
{
    qx_unicode_lexer::reset_reader();
    text_.release();
    token_.release();
    token_kind_ = 0;
    in_markup_ = false;
    status_ = 0;
}

int qxsgml::run()
{
    if (status_ != 0)
        return status_;
    // Chunks are dropped once scanned, so the limit weighs what is still
    // unscanned plus the text or token being collected: no single run of
    // input can make the reader hold more than the limit.
    int64_t pending = int64_t(text_.length) + token_.length;
    const qxarrnode* n = head;
    if (current) {
        pending += current->value.text.length - (read_pos + 1);
        n = current->next;
    }
    for (; n && pending <= limit; n = n->next)
        pending += n->value.text_view().length;
    if (pending > limit)
        return status_ = run_size_exceeded;
    for (;;) {
        int b = next_byte();
        if (b == need_input) {
            drop_consumed();
            return run_more;
        }
        if (b == end_of_input) {
            drop_consumed();
            status_ = finish();
            return status_;
        }
        int r = scan_byte(static_cast<char>(b));
        if (r != 0)
            return status_ = r;
    }
}

int qxsgml::flush_text()
{
    qxval raw("");
    raw.text.take(text_);
    return text_done(raw);
}

int qxsgml::scan_byte(char c)
{
    if (!in_markup_) {
        if (c != '<') {
            text_.append_byte(c);
            return 0;
        }
        if (!text_.empty()) {
            int r = flush_text();
            if (r != 0)
                return r;
        }
        in_markup_ = true;
        token_.release();
        token_.append_byte('<');
        token_kind_ = 0;
        return 0;
    }
    token_.append_byte(c);
    if (token_kind_ == 0) {
        token_kind_ = classify(token_.view());
        if (token_kind_ == 0)
            return 0;
        if (!kept(token_kind_)) {
            // Not markup for this reader: its bytes go on as text.
            text_.append(token_);
            token_.release();
            in_markup_ = false;
            return 0;
        }
    }
    if (!ends_with(token_, terminator(token_kind_)))
        return 0;
    int32_t kind = token_kind_;
    if (kind == 1 && ends_with(token_, "/>"))
        kind = 3;
    in_markup_ = false;
    token_kind_ = 0;
    qxval raw("");
    raw.text.take(token_);
    return token_done(kind, raw);
}

int qxsgml::finish()
{
    if (in_markup_) {
        if (token_kind_ != 0)
            return run_unclosed_tag;
        text_.append(token_);
        token_.release();
        in_markup_ = false;
    }
    if (!text_.empty()) {
        int r = flush_text();
        if (r != 0)
            return r;
    }
    return run_done;
}

int qxsgml::text_done(qxval& raw)
{
    (void)raw;
    return 0;
}

int qxsgml::token_done(int32_t kind, qxval& raw)
{
    (void)kind;
    (void)raw;
    return 0;
}

}  // namespace qvtf
