#include "app/pane_path_field.h"

#include <QCompleter>

#include "app/folder_tree_model.h"

namespace {

// The folder tree's top item is "/" and its items are single names, so a
// path splits into "/" and its parts; a trailing slash asks for all
// subfolders of the last part.
class folder_completer : public QCompleter {
public:
    folder_completer(folder_tree_model* folders, QObject* parent) : QCompleter(folders, parent), folders_(folders)
    {
        setCompletionMode(QCompleter::PopupCompletion);
        setCaseSensitivity(Qt::CaseSensitive);
        setCompletionRole(Qt::DisplayRole);
    }

    QStringList splitPath(const QString& path) const override
    {
        if (!path.startsWith('/'))
            return {path};  // a relative path matches nothing listed
        QStringList parts = path.split('/', Qt::SkipEmptyParts);
        if (path.size() > 1 && path.endsWith('/'))
            parts.append(QString());
        parts.prepend(QStringLiteral("/"));
        return parts;
    }

    QString pathFromIndex(const QModelIndex& index) const override { return folders_->path_of(index); }

private:
    folder_tree_model* folders_;
};

}  // namespace

pane_path_field::pane_path_field(folder_tree_model* folders, QWidget* parent) : QLineEdit(parent)
{
    setObjectName("path");
    setCompleter(new folder_completer(folders, this));
    connect(this, &QLineEdit::returnPressed, this, [this] {
        const QString path = text().trimmed();
        setModified(false);
        if (!path.isEmpty())
            emit folder_entered(path);
    });
}

void pane_path_field::show_path(const QString& path)
{
    if (hasFocus() && isModified())
        return;
    setText(path);
    setModified(false);
}
