#include "app/password_at_connect.h"

#include <QLineEdit>

#include "app/prompts.h"
#include "app/qt_text.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"

namespace {

// An SFTP site that logs in with a key or the agent needs no password.
bool logs_in_without_password(const qvtf::ftp_profile& site)
{
    return site.protocol == 1 && (site.ssh_auth == 0 || site.ssh_auth == 2 || site.ssh_auth == 3);
}

const qvtf::ftp_profile& site_of(const qvtf::ftp_profile& node)
{
    return node.is_bookmark() && node.parent && node.parent->is_site() ? *node.parent : node;
}

}  // namespace

bool password_asked_at_connect(const qvtf::ftp_profile& node, int32_t storage)
{
    const qvtf::ftp_profile& site = site_of(node);
    if (!site.is_site() || site.anonymous_login || !site.password.view().empty() || logs_in_without_password(site))
        return false;
    return !site.save_password || storage == qvtf::passwords_not_stored ||
           site.password_place == qvtf::password_in_keyring;
}

bool password_for_connect(QWidget* parent, const qvtf::qxlang* language, int32_t storage, qvtf::ftp_profile* node,
                          const std::function<void(const std::function<void()>&)>& write)
{
    if (!node || !password_asked_at_connect(*node, storage))
        return true;
    qvtf::ftp_profile* site = node->is_bookmark() && node->parent ? node->parent : node;
    qx_password_prompt prompt(language, parent);
    prompt.setWindowTitle(phrase_text(language, 1516, "Password for %1").arg(to_qt(site->label)));
    prompt.edit().clear();
    if (prompt.exec() != QDialog::Accepted)
        return false;
    const qvtf::qxval typed(prompt.edit().text().toStdString());
    const auto change = [&] {
        site->password = typed;
        node->password = typed;
    };
    if (write)
        write(change);
    else
        change();
    return true;
}
