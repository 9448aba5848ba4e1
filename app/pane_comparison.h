// pane_comparison: the two toggles that tie the panes together. "Compare
// folders" colours each pane's rows by how they stand against the other
// pane's current folder; "Browse in step" makes the other pane follow when
// one enters a folder, relative to where the toggle was switched on.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <unordered_map>

#include "browse/folder_compare.h"

class QAction;
class file_list_model;

namespace qvtf {
class qxlang;
}

class pane_comparison : public QObject {
    Q_OBJECT
public:
    // The models must have their listers attached and outlive this.
    pane_comparison(file_list_model& local, file_list_model& remote, const qvtf::qxlang* language,
                    QObject* parent = nullptr);

    QAction& compare_action() const { return *compare_; }
    QAction& step_action() const { return *step_; }
    // Where the messages of browsing in step go (the window's status line).
    std::function<void(const QString&)> say;

    // The colour of a mark; readable under dark and light text alike, as it
    // only tints the palette's own background.
    static QColor colour(qvtf::compare_mark mark);
    // The mark of a pane's entry (0 local, 1 remote); only_here while off.
    qvtf::compare_mark mark_of(int side, const std::string& name) const;

private:
    QString phrase(int number) const;
    void set_comparing(bool on);
    void set_in_step(bool on);
    void recompute();
    void folder_listed(int side);

    const qvtf::qxlang* language_;
    std::array<file_list_model*, 2> models_;
    QAction* compare_ = nullptr;
    QAction* step_ = nullptr;
    std::array<std::unordered_map<std::string, qvtf::compare_mark>, 2> marks_;
    // Browsing in step: where it began, where each pane was last seen, and
    // the folder a pane was sent to (its listing is not the user's move).
    std::array<std::string, 2> base_;
    std::array<std::string, 2> seen_;
    std::array<std::string, 2> sent_;
};
