// pane_path_field: the editable folder path of a browser pane. It shows the
// pane's current folder, completes the folders the pane has already listed
// (from its folder tree), and hands a typed folder over on Enter.
#pragma once

#include <QLineEdit>

class folder_tree_model;

class pane_path_field : public QLineEdit {
    Q_OBJECT
public:
    pane_path_field(folder_tree_model* folders, QWidget* parent = nullptr);

    // The pane's folder; what the user is typing is not replaced.
    void show_path(const QString& path);

signals:
    void folder_entered(const QString& path);
};
