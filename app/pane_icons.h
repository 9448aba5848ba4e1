// The pictures of the browser panes: the remote pane's images (by the image
// index its lister gives, with the link and executable overlays) from the
// icons shipped beside the program, the toolbar's pictures, and the local
// pane's icons from the desktop's icon provider.
#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QString>
#include <string>
#include <vector>

class pane_icons {
public:
    // Images of the remote lister's list (3 folder, 4 file, 5 unresolved
    // link, 6 hidden file, 9 open folder, 10 folder not yet listed).
    enum image : int {
        image_folder = 3,
        image_file = 4,
        image_broken_link = 5,
        image_hidden = 6,
        image_open_folder = 9,
        image_unlisted_folder = 10,
        first_type_image = 12,
    };

    // The folder the pictures are read from: "icons" beside the program.
    explicit pane_icons(QString folder = {});

    // A shipped picture by file name ("up.png"); a blank icon when missing.
    QIcon named(const QString& file);
    // index: the remote lister's icon_of; image_count its image count (the
    // link base); type_files the pictures of images 12 and above.
    QIcon remote(int index, int image_count, const std::vector<std::string>& type_files);
    QIcon folder(bool listed);
    // A local entry by its path.
    QIcon local(const QString& path, bool is_folder, bool is_link, const QString& extension);
    QIcon local_folder();

    const QString& folder_path() const { return folder_; }

private:
    QPixmap pixmap_of(const QString& file);
    QString folder_;
    QHash<QString, QPixmap> pixmaps_;
    QHash<int, QIcon> remote_;
    QHash<QString, QIcon> local_;
    QFileIconProvider provider_;
};
