#include "app/pane_icons.h"

#include <QFileInfo>
#include <QPainter>

#include "settings/program_folders.h"

namespace {

constexpr int icon_size = 16;

}  // namespace

pane_icons::pane_icons(QString folder) : folder_(std::move(folder))
{
    if (folder_.isEmpty())
        folder_ = QString::fromStdString(qvtf::executable_folder()) + "icons/";
    if (!folder_.endsWith('/'))
        folder_ += '/';
}

QPixmap pane_icons::pixmap_of(const QString& file)
{
    auto it = pixmaps_.find(file);
    if (it != pixmaps_.end())
        return *it;
    QPixmap pixmap;
    // Names from the extension list are plain file names; nothing else is read.
    if (!file.contains('/') && !pixmap.load(folder_ + file)) {
        pixmap = QPixmap(icon_size, icon_size);
        pixmap.fill(Qt::transparent);
    }
    pixmaps_.insert(file, pixmap);
    return pixmap;
}

QIcon pane_icons::named(const QString& file)
{
    return QIcon(pixmap_of(file));
}

QIcon pane_icons::remote(int index, int image_count, const std::vector<std::string>& type_files)
{
    if (index < 0)
        return {};
    auto it = remote_.find(index);
    if (it != remote_.end())
        return *it;
    int base = index;
    const char* overlay = nullptr;
    if (image_count > 0 && base >= 2 * image_count) {
        base -= 2 * image_count;
        overlay = "exec_overlay.png";
    } else if (image_count > 0 && base >= image_count) {
        base -= image_count;
        overlay = "link_overlay.png";
    }
    QString file;
    switch (base) {
    case image_folder: file = "folder.png"; break;
    case image_broken_link: file = "link_broken.png"; break;
    case image_hidden: file = "hidden.png"; break;
    case image_open_folder: file = "folder_open.png"; break;
    case image_unlisted_folder: file = "folder_unlisted.png"; break;
    default:
        if (base >= first_type_image && size_t(base - first_type_image) < type_files.size())
            file = QString::fromStdString(type_files[size_t(base - first_type_image)]);
        else
            file = "file.png";
    }
    QPixmap picture = pixmap_of(file).scaled(icon_size, icon_size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (overlay) {
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, pixmap_of(overlay));
    }
    QIcon icon(picture);
    remote_.insert(index, icon);
    return icon;
}

QIcon pane_icons::folder(bool listed)
{
    return named(listed ? "folder.png" : "folder_unlisted.png");
}

QIcon pane_icons::local_folder()
{
    return provider_.icon(QFileIconProvider::Folder);
}

QIcon pane_icons::local(const QString& path, bool is_folder, bool is_link, const QString& extension)
{
    if (is_folder && !is_link)
        return local_folder();
    // Files of one extension share a picture; links and executables are
    // asked for one by one.
    const QFileInfo info(path);
    const bool own = is_link || extension.isEmpty() || info.isExecutable();
    if (!own) {
        auto it = local_.find(extension);
        if (it != local_.end())
            return *it;
    }
    QIcon icon = provider_.icon(info);
    if (icon.isNull())
        icon = named("file.png");
    if (!own)
        local_.insert(extension, icon);
    return icon;
}
