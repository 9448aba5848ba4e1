// Shared by the pane tests: the phrase table of the tests, a view
// that records what the model tells it, and a tree builder.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "browse/qx_file_lister.h"
#include "support/test_phrases.h"

namespace qvtf::test {

class recording_view : public qx_lister_view {
public:
    struct error_call {
        int code;
        std::string text;
    };

    void item_count_changed(int32_t rows) override
    {
        with([&] { item_count = rows; });
    }
    void first_row_selected() override
    {
        with([&] { ++first_selected; });
    }
    std::vector<int32_t> selected_rows() const override
    {
        std::lock_guard lock(mutex_);
        return selection;
    }
    void toolbar_changed(bool up, bool) override
    {
        with([&] { up_enabled = up; });
    }
    void filter_indicator_changed(int image, int) override
    {
        with([&] { filter_image = image; });
    }
    void sort_indicator_changed(int column, int image) override
    {
        with([&] {
            sort_column = column;
            sort_image = image;
        });
    }
    void status_text_changed(const qxval& text) override
    {
        with([&] { status = text.str(); });
    }
    void title_changed(const qxval& text) override
    {
        with([&] { title = text.str(); });
    }
    void banner_changed(bool busy, const qxval& text) override
    {
        with([&] { banners.push_back((busy ? "busy:" : "idle:") + text.str()); });
    }
    void error_shown(int code, const qxval& text) override
    {
        with([&] { errors.push_back({code, text.str()}); });
    }
    void progress_opened(const qxval& caption) override
    {
        with([&] { progress.push_back("open:" + caption.str()); });
    }
    void progress_text_changed(const qxval& text) override
    {
        with([&] { progress.push_back(text.str()); });
    }
    void progress_closed() override
    {
        with([&] { progress.push_back("closed"); });
    }
    bool question_asked(int caption, const qxval&) override
    {
        with([&] { questions.push_back(caption); });
        return answer;
    }

    std::vector<error_call> errors_seen() const
    {
        std::lock_guard lock(mutex_);
        return errors;
    }
    std::vector<std::string> progress_seen() const
    {
        std::lock_guard lock(mutex_);
        return progress;
    }

    mutable std::mutex mutex_;
    std::vector<int32_t> selection;
    int32_t item_count = -1;
    int first_selected = 0;
    bool up_enabled = false;
    int filter_image = -1;
    int sort_column = -2;
    int sort_image = -2;
    std::string status;
    std::string title;
    std::vector<std::string> banners;
    std::vector<error_call> errors;
    std::vector<std::string> progress;
    std::vector<int> questions;
    bool answer = true;

private:
    template <class F>
    void with(F f)
    {
        std::lock_guard lock(mutex_);
        f();
    }
};

inline qxfile_node* add_entry(qxfile_tree& tree, qxfile_node* parent, const std::string& name, bool folder,
                              uint64_t size = 0, int32_t modified = 0)
{
    auto* n = new qxfile_node;
    n->name.set_bytes(name);
    n->set_extension_from_name();
    n->is_folder = folder ? 1 : 0;
    n->set_size(size);
    n->modified = modified;
    if (parent)
        tree.append_child(n, parent);
    else
        tree.append_top(n);
    return n;
}

// Names of the shown rows; the up-row is "..".
inline std::vector<std::string> row_names(const qx_file_lister& pane)
{
    std::vector<std::string> out;
    for (int32_t r = 0; r < pane.row_count(); ++r)
        out.push_back(pane.row_text(r, column_name).str());
    return out;
}

}  // namespace qvtf::test
