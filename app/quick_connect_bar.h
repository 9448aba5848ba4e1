// quick_connect_bar: the band under the toolbar for a connection without a
// site: host, user, password and port, Enter connects. Its drop-down lists
// the last connections (without passwords) and saves the fields as a site.
#pragma once

#include <QToolBar>
#include <string>
#include <vector>

#include "profiles/quick_connect.h"

class QLineEdit;
class QToolButton;
class QMenu;

namespace qvtf {
class qxlang;
}

class quick_connect_bar : public QToolBar {
    Q_OBJECT
public:
    explicit quick_connect_bar(const qvtf::qxlang* language, QWidget* parent = nullptr);

    QLineEdit& host() const { return *host_; }
    QLineEdit& user() const { return *user_; }
    QLineEdit& password() const { return *password_; }
    QLineEdit& port() const { return *port_; }
    QMenu& recent_menu() const { return *menu_; }

    // Where the last connections are kept; reads them.
    void set_history_file(std::string path);
    const std::vector<qvtf::quick_connect_entry>& history() const { return history_; }
    // Puts a connection at the top of the list and writes the file.
    void remember(const qvtf::quick_connect_entry& entry);

signals:
    void connect_requested();
    void save_requested();

private:
    QString phrase(int number) const;
    QLineEdit* field(const char* name, int label, int width);
    void fill_menu();

    const qvtf::qxlang* language_;
    QLineEdit* host_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* port_ = nullptr;
    QToolButton* go_ = nullptr;
    QMenu* menu_ = nullptr;
    std::string path_;
    std::vector<qvtf::quick_connect_entry> history_;
};
