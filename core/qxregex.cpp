#include "core/qxregex.h"

#include <regex.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/qxtext.h"

namespace qvtf {

namespace {

int library_flags(int flags)
{
    int out = REG_EXTENDED;
    if (flags & REGEX_ICASE)
        out |= REG_ICASE;
    if (flags & REGEX_NOSUB)
        out |= REG_NOSUB;
    return out;
}

// One compiled pattern, freed when it goes out of scope.
class compiled_pattern {
public:
    compiled_pattern(const char* pattern, int flags)
    {
        error_ = regcomp(&re_, pattern ? pattern : "", library_flags(flags));
    }
    ~compiled_pattern()
    {
        if (error_ == 0)
            regfree(&re_);
    }
    compiled_pattern(const compiled_pattern&) = delete;
    compiled_pattern& operator=(const compiled_pattern&) = delete;

    int error() const { return error_; }
    std::size_t groups() const { return re_.re_nsub; }

    // Runs the pattern on a zero-terminated subject; records that the
    // library leaves untouched (no-sub mode) stay at -1.
    int exec(const char* subject, std::vector<regmatch_t>& records) const
    {
        for (auto& r : records)
            r.rm_so = r.rm_eo = -1;
        return regexec(&re_, subject, records.size(), records.data(), 0);
    }

    // Position of the next non-empty match that lies within the first
    // `length` bytes of subject; false when there is none. A continuation
    // after an earlier match is not the start of the text, so "^" must not
    // match there again.
    bool next(const char* subject, std::size_t length, bool continuation, std::size_t& start, std::size_t& end) const
    {
        regmatch_t m{-1, -1};
        if (regexec(&re_, subject, 1, &m, continuation ? REG_NOTBOL : 0) != 0)
            return false;
        if (m.rm_so < 0 || static_cast<std::size_t>(m.rm_eo) > length || m.rm_so >= m.rm_eo)
            return false;
        start = static_cast<std::size_t>(m.rm_so);
        end = static_cast<std::size_t>(m.rm_eo);
        return true;
    }

private:
    regex_t re_{};
    int error_ = 0;
};

}  // namespace

bool regex_load()
{
    return true;
}

void regex_unload() {}

int regex_match(const char* pattern, int flags, const char* subject, int32_t subject_length, qxarr* list)
{
    if (list)
        list->clear();
    else
        flags |= REGEX_NOSUB;
    compiled_pattern re(pattern, flags);
    if (re.error())
        return re.error();
    std::vector<regmatch_t> records(list ? re.groups() + 1 : 1);
    int result = re.exec(subject ? subject : "", records);
    if (result != 0 || !list)
        return result;
    for (const regmatch_t& r : records) {
        qxval piece("");
        if (r.rm_so >= 0 && r.rm_eo <= subject_length && r.rm_so < r.rm_eo)
            piece.set_bytes(subject + r.rm_so, r.rm_eo - r.rm_so);
        list->push(piece);
    }
    return result;
}

int regex_match_value(const qxval& pattern, int flags, const qxval& subject, qxarr* list)
{
    // Copies, because either value may be one of the list's own elements.
    std::string pattern_text = pattern.str();
    std::string subject_text = subject.str();
    return regex_match(pattern_text.c_str(), flags, subject_text.c_str(), static_cast<int32_t>(subject_text.size()),
                       list);
}

void regex_split(const qxval& pattern, const qxval& subject, qxarr& list, int32_t limit, int flags)
{
    std::string pattern_text = pattern.str();
    std::string text = subject.str();
    list.clear();
    if (limit == 1 || limit < 0 || text.empty())
        return;
    // Splitting needs match positions, so sub-match reporting stays on.
    compiled_pattern re(pattern_text.c_str(), flags & ~REGEX_NOSUB);
    if (re.error())
        return;
    std::size_t pos = 0, start = 0, end = 0;
    while (re.next(text.c_str() + pos, text.size() - pos, pos > 0, start, end)) {
        qxval piece(std::string_view(text).substr(pos, start));
        list.push(piece);
        pos += end;
    }
    qxval rest(std::string_view(text).substr(pos));
    list.push(rest);
}

int32_t regex_replace(qxval& value, const char* pattern, int32_t skip_front, int32_t skip_back,
                      regex_replace_callback callback, void* arg, qxhash* map, const char* default_replacement,
                      int32_t default_length)
{
    value.convert_to(qxval_kind::string);
    compiled_pattern re(pattern, REGEX_EXTENDED);
    if (re.error())
        return 0;
    std::string text = value.str();
    std::string result;
    int32_t replaced = 0;
    std::size_t pos = 0, start = 0, end = 0;
    while (re.next(text.c_str() + pos, text.size() - pos, pos > 0, start, end)) {
        std::string_view matched = std::string_view(text).substr(pos + start, end - start);
        std::size_t front = std::min<std::size_t>(skip_front > 0 ? skip_front : 0, matched.size());
        matched.remove_prefix(front);
        std::size_t back = std::min<std::size_t>(skip_back > 0 ? skip_back : 0, matched.size());
        matched.remove_suffix(back);

        const char* bytes = nullptr;
        int32_t n = callback ? callback(matched, arg, map, &bytes) : -1;
        if (n < 0 || (n > 0 && !bytes)) {
            bytes = default_replacement;
            n = default_replacement && default_length > 0 ? default_length : 0;
        }
        result.append(text, pos, start);
        result.append(bytes ? bytes : "", static_cast<std::size_t>(n));
        pos += end;
        ++replaced;
    }
    if (replaced) {
        result.append(text, pos, std::string::npos);
        value.set_bytes(result);
    }
    return replaced;
}

namespace {

// Holds the replacement text between a callback and its use.
struct lookup_context {
    bool fold_case = false;
    std::string replacement;
};

int32_t lookup_name(std::string_view name, void* arg, qxhash* map, const char** replacement)
{
    auto* ctx = static_cast<lookup_context*>(arg);
    if (!map)
        return -1;
    std::string key(name);
    if (ctx->fold_case)
        for (char& c : key)
            c = ascii_lower(c);
    const qxval* found = map->find(qxval(key));
    if (!found)
        return -1;
    ctx->replacement = found->str();
    *replacement = ctx->replacement.data();
    return static_cast<int32_t>(ctx->replacement.size());
}

int32_t numeric_entity(std::string_view digits, void* arg, qxhash*, const char** replacement)
{
    auto* ctx = static_cast<lookup_context*>(arg);
    if (digits.empty() || digits.size() > 3)
        return -1;
    long code;
    std::string text(digits);
    if (text[0] == 'x')
        code = std::strtol(text.c_str() + 1, nullptr, 16);
    else
        code = std::atol(text.c_str());
    // A NUL byte would silently cut the text wherever it is later used as a
    // C string, so it is treated like any other character that cannot be.
    if (code <= 0 || code > 255)
        return -1;
    ctx->replacement.assign(1, static_cast<char>(code));
    *replacement = ctx->replacement.data();
    return 1;
}

}  // namespace

int32_t replace_named_entities(qxval& value, qxhash* map, bool fold_case)
{
    lookup_context ctx{fold_case, {}};
    return regex_replace(value, "&[a-zA-Z_:][a-zA-Z_:0-9\\.\\-]*;", 1, 1, lookup_name, &ctx, map, "!", 1);
}

int32_t replace_numeric_entities(qxval& value)
{
    lookup_context ctx;
    return regex_replace(value, "&#x?[0-9a-fA-F]+;", 2, 1, numeric_entity, &ctx, nullptr, "!", 1);
}

int32_t replace_variables(qxval& value, qxhash* map, bool fold_case)
{
    lookup_context ctx{fold_case, {}};
    return regex_replace(value, "\\%[a-zA-Z_\\.]+\\%", 1, 1, lookup_name, &ctx, map, "", 0);
}

}  // namespace qvtf
