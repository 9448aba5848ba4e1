#pragma once
// Byte-string operations on the text form of a qxval: slicing, search,
// replace, case, trimming, escapes and word scanning. No operation knows
// about multi-byte characters; operations that change the text first turn
// the value into kind string.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/qxchar.h"
#include "core/qxval.h"

namespace qvtf {

// Length and slicing.
int32_t length(const qxval& value);
// New bytes (when growing) are zero.
void set_length(qxval& value, int32_t n);
// Removes the first n bytes when 0 < n <= length; otherwise nothing.
void drop_prefix(qxval& value, int32_t n);
// value becomes the first min(n, length) bytes of other's text.
void set_left_of(qxval& value, const qxval& other, int32_t n);
void append_text(qxval& value, const qxval& other);
void append_cstr(qxval& value, const char* text);
// out becomes the path from its last "." on, or "" without a dot.
void extension_of(const qxval& path, qxval& out);

// Search: 0-based byte positions, -1 when absent (also for an empty needle).
int32_t find(const qxval& value, const qxval& needle, int32_t start = 0);
int32_t find_last(const qxval& value, const qxval& needle);

// Replaces every non-overlapping occurrence, left to right; inserted text is
// not rescanned. An empty search text changes nothing.
void replace_all(qxval& value, const qxval& search, const qxval& replacement);

// ASCII letters only, so UTF-8 names pass through untouched.
void to_upper(qxval& value);
void to_lower(qxval& value);
char ascii_lower(char c);
char ascii_upper(char c);

// Leading and trailing tab, LF, CR and space.
void trim(qxval& value);
std::string_view trimmed(std::string_view text);
bool is_white_space(char c);

// Each backslash is dropped and the byte after it kept literally; a backslash
// at the very end is dropped.
void unescape_backslashes(qxval& value);

// Reads the next word of text at cursor (a byte offset) into out and moves
// the cursor past it. Quoted words ("..." or '...') lose their quotes; inside
// them a backslash before the quote yields the quote, before anything else it
// is kept with that byte. Returns whether a non-empty word was read. out may
// be the value that text views.
bool next_word(std::string_view text, int32_t& cursor, qxval& out);

// A whole decimal number (an optional "-", then digits; blanks around it
// allowed) between low and high into out; false for anything else, out
// untouched. For numbers read from files, where "abc" or a 20-digit value
// must not pass for 0 or a wrapped value.
bool parse_number_in(std::string_view text, int64_t low, int64_t high, int64_t& out);

// XML attribute and text escaping: " & < > become entities, bytes 128-255
// become "&#nnn;"; the apostrophe stays. Left untouched when nothing needs it.
void xml_escape(qxchar& text);
std::string xml_escaped(std::string_view text);
// xml_escaped, plus CR as "&#13;": the XML reader folds a raw CR into a line
// feed, so only the reference keeps texts with CR LF lines (scripts, custom
// commands) intact across a write and a read.
std::string xml_escaped_keep_cr(std::string_view text);

// Shortens a long drive path ("C:\...") to exactly width bytes: first byte,
// ":\", "..." and the last width - 6 bytes. An absolute POSIX path is
// shortened the same way to "/..." and its last width - 4 bytes.
void shorten_path(qxval& path, int32_t width);

}  // namespace qvtf
