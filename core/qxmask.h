#pragma once
// Literal split and join, and file masks ("*.htm") turned into anchored
// extended regular expressions.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/qxarr.h"
#include "core/qxval.h"

namespace qvtf {

// Cuts text at every separator into list (cleared first). An empty
// separator, a limit of 1 or below 0, or a text shorter than the separator
// leave the list empty; 0 means no limit; with limit n >= 2 the n-th piece
// is the unsplit rest.
void split(const qxval& separator, const qxval& text, qxarr& list, int32_t limit = 0);
// Text forms of the list's values with separator between neighbours.
void join(const qxval& separator, const qxarr& list, qxval& out);

// "*.htm" -> "^.*\.htm$": regex specials are escaped, "*" becomes ".*" and
// "?" becomes ".?" (zero or one character).
void mask_to_regex(qxval& mask);
std::string mask_regex_of(std::string_view mask);

// "*.html; *.htm" -> one anchored regex per non-empty mask, in order.
void split_mask_list(const qxval& text, qxarr& list);
// The same masks as they are written, without turning them into regexes.
void split_masks(const qxval& text, qxarr& list);

}  // namespace qvtf
