#pragma once
// Thin wrappers over the POSIX extended regular-expression interface. Every
// call compiles its pattern, uses it once and frees it; nothing is cached, so
// threads may match concurrently.

#include <cstdint>
#include <string_view>

#include "core/qxarr.h"
#include "core/qxhash.h"
#include "core/qxval.h"

namespace qvtf {

// Compile flags as callers pass them; the extended syntax is always added.
enum : int {
    REGEX_EXTENDED = 1,
    REGEX_ICASE = 2,
    REGEX_NOSUB = 4,
};

// The library is linked in, so there is nothing to load: always true.
bool regex_load();
void regex_unload();

// regexec's result (0 on a match) or regcomp's error code. subject must be
// zero-terminated; subject_length only bounds the offsets that come back.
// With a list: cleared, then after a match one string per record (whole
// match first, then each group); a record outside the subject gives "".
// Without a list nothing is captured.
int regex_match(const char* pattern, int flags, const char* subject, int32_t subject_length, qxarr* list);
int regex_match_value(const qxval& pattern, int flags, const qxval& subject, qxarr* list);

// Splits subject at the pattern's matches. A limit of 1 or below 0 leaves the
// list empty; other limits are not applied. Stops at the first empty match.
void regex_split(const qxval& pattern, const qxval& subject, qxarr& list, int32_t limit, int flags = 0);

// Gets the matched text without skip_front / skip_back bytes; returns the
// replacement's length and points *replacement at its bytes (which must stay
// valid until the callback is called again), or returns -1 to use the
// default replacement.
using regex_replace_callback = int32_t (*)(std::string_view matched, void* arg, qxhash* map, const char** replacement);

// Replaces every match of pattern in value through callback. The value
// becomes a string; its text changes only when something matched. Returns
// the number of replacements.
int32_t regex_replace(qxval& value, const char* pattern, int32_t skip_front, int32_t skip_back,
                      regex_replace_callback callback, void* arg, qxhash* map, const char* default_replacement,
                      int32_t default_length);

// "&name;" becomes the map's value for name (lower-cased first with
// fold_case), or "!" when the name is unknown. map may be null.
int32_t replace_named_entities(qxval& value, qxhash* map, bool fold_case);
// "&#65;" and "&#x41;" become the byte they name; longer forms, values above
// 255 and the NUL byte become "!".
int32_t replace_numeric_entities(qxval& value);
// "%name%" becomes the map's value for name, or nothing when unknown.
int32_t replace_variables(qxval& value, qxhash* map, bool fold_case);

}  // namespace qvtf
