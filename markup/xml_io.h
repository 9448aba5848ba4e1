// Reading XML files into trees and maps, looking values up by element path,
// and writing trees back.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/qxarr.h"
#include "core/qxcgi.h"
#include "core/qxhash_array.h"
#include "core/qxval.h"
#include "markup/xml_node.h"

namespace qvtf {

// Receives the share of the file read so far, 0 to 100.
using xml_progress_fn = void (*)(void* arg, int32_t percent);

// The code of xml_error_text for a byte XML forbids (a control character).
inline constexpr int32_t xml_forbidden_character = 10100;

// 0 on success, 1 when the file cannot be opened, 2 on a syntax or size
// error or a byte XML forbids (error holds the message; the tree keeps what
// was built so far).
int32_t xml_read_file(const qxval& file_name, xml_tree& tree, qxval& error, xml_progress_fn progress = nullptr,
                      void* progress_arg = nullptr);

// "Line: L, column: C\r\nError: " and the message for code.
qxval xml_error_text(int32_t line, int32_t column, int32_t code);

// Element by slash path: "/a/b" from the top level, "a/b" from the children
// of start (or the top level without one). Only start and empty-element tags
// match, by exact name; empty names are skipped. Null when not found.
xml_node* xml_find(const xml_tree& tree, std::string_view path, const xml_node* start = nullptr);

// out becomes the decoded text of the element's first child when that is a
// text node, else empty. 1 when the element is not found, else 0.
int32_t xml_get_text(const xml_tree& tree, std::string_view path, const xml_node* start, qxval& out);

// Every element with text as its first child adds that text under its name,
// every empty-element tag the empty string, in document order.
void xml_to_map(const xml_tree& tree, qxhash_array& map);

// Reads the file into map; false with map.last_error set on failure.
bool xml_read_map(const qxval& file_name, qxcgi& map);

// One string per node in document order; written one after another they
// give the document back (without comments and declarations).
void xml_write_list(const xml_tree& tree, qxarr& list);
// The same, written to a file opened with mode "w+"; false on failure.
bool xml_write_file(const qxval& file_name, const xml_tree& tree);

}  // namespace qvtf
