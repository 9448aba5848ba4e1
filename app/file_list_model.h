// file_list_model: one browser pane's rows as a table, and the pane's
// lister view. The lister calls it from any thread; every call that touches
// a widget is handed to the window's thread as a queued signal, and the rows
// are re-read there.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "browse/qx_file_lister.h"

class file_list_model : public QAbstractTableModel, public qvtf::qx_lister_view {
    Q_OBJECT
public:
    explicit file_list_model(QObject* parent = nullptr);

    // Window thread; the lister must have been made with this model as its
    // view and must outlive it, or be detached with null first.
    void attach(qvtf::qx_file_lister* lister);
    qvtf::qx_file_lister* lister() const { return lister_; }
    // The entry of a row; null for the up-row.
    qvtf::qxfile_node* node_at(int row) const;
    // The column kind of a display column, or -1.
    int kind_at(int column) const;
    // The display column of a kind, or -1 while it is hidden.
    int column_of(int kind) const;
    void set_selected_rows(std::vector<int32_t> rows);
    // Re-reads rows and columns now (window thread).
    void reload();

    // The picture of an entry; called on the window's thread while the
    // pane's tree is held.
    std::function<QIcon(qvtf::qxfile_node&)> icon_for;
    // A drag of these rows' entries (null: no drag).
    std::function<QMimeData*(const QModelIndexList&)> drag_data;
    // The background of an entry's row (the folder comparison's colours);
    // called on the window's thread while the pane's tree is held.
    std::function<QVariant(const qvtf::qxfile_node&)> row_background;
    // Answers question_asked on the window's thread; without it: Yes.
    std::function<bool(int caption_phrase, const QString& text)> question_handler;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit of a name asks for a rename (rename_requested); the row keeps
    // its text until the lister has listed the folder again.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction | Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction | Qt::MoveAction; }

    // ---- lister view (any thread) ----
    void item_count_changed(int32_t rows) override;
    void rows_redrawn() override;
    void first_row_selected() override;
    std::vector<int32_t> selected_rows() const override;
    void row_deselected(int32_t row) override;
    void toolbar_changed(bool up_enabled, bool ready) override;
    void filter_indicator_changed(int image, int hint_phrase) override;
    void sort_indicator_changed(int column, int image) override;
    void status_text_changed(const qvtf::qxval& text) override;
    void title_changed(const qvtf::qxval& text) override;
    void banner_changed(bool busy, const qvtf::qxval& text) override;
    void error_shown(int code, const qvtf::qxval& text) override;
    void progress_opened(const qvtf::qxval& title) override;
    void progress_text_changed(const qvtf::qxval& text) override;
    void progress_closed() override;
    bool question_asked(int caption_phrase, const qvtf::qxval& text) override;
    void folder_listed(qvtf::qxfile_node* folder) override;
    void folder_selected(qvtf::qxfile_node* folder) override;
    void tree_cleared() override;

signals:
    void title_text(const QString& text);
    void status_text(const QString& text);
    void select_first_row();
    void deselect_row(int row);
    void toolbar_state(bool up_enabled, bool ready);
    void filter_indicator(int image, int hint_phrase);
    void sort_indicator(int column, int image);
    void banner(bool busy, const QString& text);
    void error(int code, const QString& text);
    void progress_open(const QString& title);
    void progress_text(const QString& text);
    void progress_close();
    // The folder tree is stale (a folder was listed or the tree went away);
    // selected: the path of the folder to reveal, empty for none.
    void folders_changed(const QString& selected);
    void rename_requested(int row, const QString& name);
    void attached();
    // reload has read the rows again (after a reset, or in place).
    void rows_reloaded();

private:
    void schedule_reload();
    void post(std::function<void()> call);

    qvtf::qx_file_lister* lister_ = nullptr;
    int rows_ = 0;
    std::vector<int> kinds_;  // the column kind of each visible column
    std::atomic<bool> reload_pending_{false};
    std::atomic<bool> folders_pending_{false};
    mutable std::mutex selection_mutex_;
    std::vector<int32_t> selection_;
};
