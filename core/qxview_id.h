// qxview_id: how a view marks the engine record it shows (a tree item, a
// list row). The engine only stores and copies it; it never points into a
// view, so a record outlives its row and a row its record without harm.
#pragma once

#include <cstdint>

namespace qvtf {

using qxview_id = std::uint64_t;
constexpr qxview_id no_view_id = 0;

}  // namespace qvtf
