// The working folder and the single operations on entries. SFTP has no
// working folder of its own: the session keeps one and makes every path
// absolute against it.
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/stat.h>

#include <functional>

#include "remote/remote_folders.h"
#include "sftp/sftp_session.h"

namespace qvtf {

namespace {

constexpr int phrase_no_such_entry = 1222;
constexpr int phrase_bad_mode = 1225;

// Frees libssh's attributes on every path out.
struct attributes_holder {
    sftp_attributes value = nullptr;
    ~attributes_holder()
    {
        if (value)
            sftp_attributes_free(value);
    }
};

// "755", "0644": the bits; -1 for anything else.
int octal_mode(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return -1;
    int bits = 0;
    for (char c : text) {
        if (c < '0' || c > '7')
            return -1;
        bits = bits * 8 + (c - '0');
    }
    return bits <= 07777 ? bits : -1;
}

}  // namespace

remote_result sftp_session::change_folder(const qxval& path)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (remote_result ready = check_ready(); !ready.ok())
        return ready;
    const std::string wanted = path.view().empty() ? absolute(qxval("..")) : absolute(path);
    // The folder is what the server says it is, not what was asked for.
    char* canonical = sftp_canonicalize_path(sftp_, wanted.c_str());
    if (!canonical)
        return sftp_failure(wanted);
    const std::string found(canonical);
    ssh_string_free_char(canonical);
    attributes_holder attributes;
    attributes.value = sftp_stat(sftp_, found.c_str());
    if (!attributes.value)
        return sftp_failure(found);
    if (attributes.value->type != SSH_FILEXFER_TYPE_DIRECTORY) {
        remote_result refused(status_refused);
        refused.reply.push_back(wanted + ": " + std::string(phrase(phrase_no_such_entry)));
        return refused;
    }
    current_path_ = qxval(found);
    qxfile_tree::reader tree_hold(folder_tree_);
    current_folder_ = folder_node_at(folder_tree_, current_folder_, found);
    return status_ok;
}

remote_result sftp_session::print_folder()
{
    return change_folder(qxval("."));
}

remote_result sftp_session::enter_start_folder()
{
    return change_folder(site_.initial_folder.view().empty() ? qxval(".") : site_.initial_folder);
}

remote_result sftp_session::on_path(const qxval& path, const std::function<int(const char* full)>& request,
                                    bool question)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (remote_result ready = check_ready(); !ready.ok())
        return ready;
    const std::string full = absolute(path);
    return request(full.c_str()) == 0 ? remote_result(status_ok) : sftp_failure(full, question);
}

remote_result sftp_session::make_folder(const qxval& path)
{
    return on_path(path, [this](const char* full) { return sftp_mkdir(sftp_, full, 0777); });
}

remote_result sftp_session::remove_folder(const qxval& path)
{
    return on_path(path, [this](const char* full) { return sftp_rmdir(sftp_, full); });
}

remote_result sftp_session::delete_file(const qxval& path)
{
    return on_path(path, [this](const char* full) { return sftp_unlink(sftp_, full); });
}

remote_result sftp_session::rename(const qxval& from, const qxval& to)
{
    const std::string target = absolute(to);
    return on_path(from, [this, &target](const char* full) { return sftp_rename(sftp_, full, target.c_str()); });
}

remote_result sftp_session::change_mode(const qxval& path, const qxval& mode)
{
    const int bits = octal_mode(mode.view());
    if (bits < 0) {
        remote_result refused(status_refused);
        refused.reply.push_back(mode.str() + ": " + std::string(phrase(phrase_bad_mode)));
        return refused;
    }
    return on_path(path,
                   [this, bits](const char* full) { return sftp_chmod(sftp_, full, static_cast<mode_t>(bits)); });
}

remote_result sftp_session::file_size(const qxval& path, int64_t& out)
{
    out = -1;
    return on_path(path, [this, &out](const char* full) {
        attributes_holder attributes;
        attributes.value = sftp_stat(sftp_, full);
        if (!attributes.value)
            return -1;
        if ((attributes.value->flags & SSH_FILEXFER_ATTR_SIZE) && attributes.value->size <= INT64_MAX)
            out = static_cast<int64_t>(attributes.value->size);
        return 0;
    }, true);
}

remote_result sftp_session::modification_time(const qxval& path, int64_t& out)
{
    out = -1;
    return on_path(path, [this, &out](const char* full) {
        attributes_holder attributes;
        attributes.value = sftp_stat(sftp_, full);
        if (!attributes.value)
            return -1;
        if (attributes.value->flags & SSH_FILEXFER_ATTR_ACMODTIME)
            out = attributes.value->mtime;
        return 0;
    }, true);
}

}  // namespace qvtf
