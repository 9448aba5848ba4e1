// The working folder: CWD/CDUP followed by PWD, the path in PWD's reply, and
// the session's tree of the remote folders it has seen.
#include <string>
#include <vector>

#include "core/qxtext.h"
#include "ftp/ftp_control.h"

namespace qvtf {

int ftp_control::change_folder(const qxval& path)
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (!logged_in)
        return status_not_connected;
    const int status = path.view().empty() ? send_command("CDUP") : send_command(command_line("CWD", path.view()));
    if (status)
        return status;
    switch (reply_code) {
    // The folder is what the server says it is, not what was asked for.
    case 200:
    case 250: return print_folder();
    case 550: return status_refused;
    default: return unexpected_reply();
    }
}

int ftp_control::print_folder()
{
    if (!logged_in)
        return status_not_connected;
    if (int status = send_command("PWD"))
        return status;
    switch (reply_code) {
    case 257: {
        qxval path;
        if (reply_lines.empty() || !parse_pwd_reply(reply_lines.head->value.view(), path))
            return unexpected_reply();
        set_current_path(path, true);
        return status_ok;
    }
    default: return unexpected_reply();
    }
}

int ftp_control::enter_start_folder()
{
    if (!initial_folder.view().empty())
        return change_folder(initial_folder);
    return print_folder();
}

bool ftp_control::parse_pwd_reply(std::string_view line, qxval& path)
{
    int32_t cursor = 0;
    qxval code;
    next_word(line, cursor, code);
    path.set_bytes("", 0);
    next_word(line, cursor, path);
    unescape_backslashes(path);
    return !path.view().empty();
}

void ftp_control::set_current_path(const qxval& path, bool make_current)
{
    if (make_current)
        current_path = path;
    const std::string_view text = path.view();

    // Components; "." and ".." are dropped, not resolved: servers report
    // canonical paths.
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t slash = text.find('/', start);
        if (slash == std::string_view::npos)
            slash = text.size();
        std::string_view part = text.substr(start, slash - start);
        if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
        start = slash + 1;
    }

    auto make_folder_node = [](std::string_view name) {
        auto* node = new qxfile_node;
        node->name.set_bytes(name);
        node->is_folder = 1;
        node->set_extension_from_name();
        return node;
    };
    qxfile_tree::reader hold(folder_tree);
    if (!folder_tree.root) {
        folder_tree.append_top(make_folder_node("/"));
        if (!text.starts_with('/'))
            current_folder = folder_tree.root;
    }
    qxfile_node* node = folder_tree.root;
    if (!text.starts_with('/') && current_folder)
        node = current_folder;

    std::size_t i = 0;
    for (; i < parts.size(); ++i) {
        qxfile_node* match = nullptr;
        for (qxfile_node* child = node->first_child; child; child = child->next)
            if (child->is_folder && child->name.view() == parts[i]) {
                match = child;
                break;
            }
        if (!match)
            break;
        node = match;
    }
    for (; i < parts.size(); ++i) {
        qxfile_node* created = make_folder_node(parts[i]);
        folder_tree.append_child(created, node);
        node = created;
    }
    if (make_current)
        current_folder = node;
}

}  // namespace qvtf
