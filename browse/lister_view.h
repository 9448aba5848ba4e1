// What a browser pane's model tells its widgets, and the little it asks of
// them. The window layer implements it with real widgets; tests record the
// calls. Every call may come from a worker thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/qxfile_node.h"
#include "core/qxval.h"

namespace qvtf {

// The five column kinds, by their fixed names "Name" ... "Type".
enum lister_column_kind : int {
    column_name = 0,
    column_size = 1,
    column_modified = 2,
    column_attributes = 3,
    column_type = 4,
    column_kind_count = 5,
};

class qx_lister_view {
public:
    virtual ~qx_lister_view() = default;

    // ---- rows ----
    virtual void item_count_changed(int32_t rows) { (void)rows; }
    virtual void rows_redrawn() {}
    // Select and focus row 0 only.
    virtual void first_row_selected() {}
    // Rows the user has selected, ascending.
    virtual std::vector<int32_t> selected_rows() const { return {}; }
    virtual void row_deselected(int32_t row) { (void)row; }

    // ---- toolbar, header, status ----
    virtual void toolbar_changed(bool up_enabled, bool ready)
    {
        (void)up_enabled;
        (void)ready;
    }
    // image 14 with hint 198 while entries may be hidden, else 11 with 145.
    virtual void filter_indicator_changed(int image, int hint_phrase)
    {
        (void)image;
        (void)hint_phrase;
    }
    // The display column that shows the sort order (-1: none) and its image:
    // 0 inverted, 1 normal.
    virtual void sort_indicator_changed(int column, int image)
    {
        (void)column;
        (void)image;
    }
    virtual void status_text_changed(const qxval& text) { (void)text; }
    virtual void title_changed(const qxval& text) { (void)text; }

    // ---- banner, messages, progress pop-up ----
    // busy: a text of the running step; idle: the pane's resting text.
    virtual void banner_changed(bool busy, const qxval& text)
    {
        (void)busy;
        (void)text;
    }
    // The message box for a failed operation.
    virtual void error_shown(int code, const qxval& text)
    {
        (void)code;
        (void)text;
    }
    virtual void progress_opened(const qxval& title) { (void)title; }
    virtual void progress_text_changed(const qxval& text) { (void)text; }
    virtual void progress_closed() {}
    // A Yes/No question; true for Yes. Without widgets: Yes.
    virtual bool question_asked(int caption_phrase, const qxval& text)
    {
        (void)caption_phrase;
        (void)text;
        return true;
    }

    // ---- folder tree ----
    // folder's children were replaced: its tree items below it are stale.
    virtual void folder_listed(qxfile_node* folder) { (void)folder; }
    // The current folder's tree item, to be selected and revealed.
    virtual void folder_selected(qxfile_node* folder) { (void)folder; }
    // The whole tree went away.
    virtual void tree_cleared() {}
};

}  // namespace qvtf
