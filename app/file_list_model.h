// file_list_model: one browser pane's rows as a table. The pane's lister
// tells it through the lister view interface, from any thread, that rows
// changed; the model re-reads them on the window's thread.
#pragma once

#include <QAbstractTableModel>
#include <atomic>
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
    void set_selected_rows(std::vector<int32_t> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // ---- lister view (any thread) ----
    void item_count_changed(int32_t rows) override;
    void rows_redrawn() override;
    std::vector<int32_t> selected_rows() const override;
    void title_changed(const qvtf::qxval& text) override;
    void status_text_changed(const qvtf::qxval& text) override;

signals:
    void title_text(const QString& text);
    void status_text(const QString& text);

private:
    void schedule_reload();
    void reload();

    qvtf::qx_file_lister* lister_ = nullptr;
    int rows_ = 0;
    std::vector<int> kinds_;  // the column kind of each visible column
    std::atomic<bool> reload_pending_{false};
    mutable std::mutex selection_mutex_;
    std::vector<int32_t> selection_;
};
