// Listings: the server's attributes straight into the folder tree, times
// to the second in UTC. Links carry their target, and whether they lead to
// a folder comes from the target itself.
#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <vector>

#include "sftp/sftp_session.h"

namespace qvtf {

namespace {

// Entries gathered outside the tree; freed unless adopted.
struct staged_entries {
    qxfile_tree& tree;
    std::vector<qxfile_node*> folders;
    std::vector<qxfile_node*> files;
    ~staged_entries()
    {
        for (auto* list : {&folders, &files})
            for (qxfile_node* node : *list)
                delete node;
    }
    // Folders first, each kind in the server's order, as FTP listings give them.
    void move_into(qxfile_node* folder)
    {
        qxfile_node staging;
        for (auto* list : {&folders, &files}) {
            for (qxfile_node* node : *list)
                tree.append_child(node, &staging);
            list->clear();
        }
        qxfile_tree::reader hold(tree);
        tree.adopt_children(folder, staging);
    }
};

std::string joined_path(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (!path.ends_with('/'))
        path += '/';
    path += name;
    return path;
}

}  // namespace

remote_result sftp_session::list_directory(const qxval& path)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (remote_result ready = check_ready(); !ready.ok())
        return ready;
    // Whoever shows the folder's entries lets go of them first.
    if (current_folder_ && observer_)
        observer_->on_listing(*this, *current_folder_);
    return list_once(absolute(path));
}

remote_result sftp_session::list_once(const std::string& path)
{
    last_listing_ = listing_report{};
    sftp_dir dir = sftp_opendir(sftp_, path.c_str());
    if (!dir)
        return sftp_failure(path);
    staged_entries staged{folder_tree_, {}, {}};
    std::vector<qxfile_node*> links;
    bool stopped_early = false;
    while (sftp_attributes attributes = sftp_readdir(sftp_, dir)) {
        const std::string_view name = attributes->name ? attributes->name : "";
        if (name.empty() || name == "." || name == "..") {
            sftp_attributes_free(attributes);
            continue;
        }
        auto* node = new qxfile_node;
        node->name.set_bytes(name);
        node->set_extension_from_name();
        node->set_size((attributes->flags & SSH_FILEXFER_ATTR_SIZE) && attributes->size <= INT64_MAX
                           ? attributes->size
                           : qxfile_node::unknown_size);
        node->modified = static_cast<std::time_t>(attributes->mtime);
        node->attributes = attributes->permissions & 07777u;
        node->is_folder = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
        if (attributes->type == SSH_FILEXFER_TYPE_SYMLINK) {
            node->attributes |= ATTR_LINK;
            links.push_back(node);
        }
        (node->is_folder ? staged.folders : staged.files).push_back(node);
        sftp_attributes_free(attributes);
        if (stopped()) {
            stopped_early = true;
            break;
        }
    }
    const bool whole = !stopped_early && sftp_dir_eof(dir);
    if (!whole && !stopped_early) {
        remote_result failure = sftp_failure(path);
        if (sftp_)
            sftp_closedir(dir);
        return failure;
    }
    sftp_closedir(dir);
    if (stopped_early)
        return status_stopped;

    // A link to a folder lists with the folders, as the FTP lister treats it.
    for (qxfile_node* link : links) {
        const std::string full = joined_path(path, link->name.view());
        if (char* target = sftp_readlink(sftp_, full.c_str())) {
            link->link_target.set_bytes(std::string_view(target));
            ssh_string_free_char(target);
        }
        if (sftp_attributes target = sftp_stat(sftp_, full.c_str())) {
            link->is_folder = target->type == SSH_FILEXFER_TYPE_DIRECTORY;
            sftp_attributes_free(target);
        }
        if (!sftp_ || !ssh_is_connected(ssh_))
            return sftp_failure(full);
    }
    std::vector<qxfile_node*> files;
    for (qxfile_node* node : staged.files)
        (node->is_folder ? staged.folders : files).push_back(node);
    staged.files = std::move(files);

    if (current_folder_)
        staged.move_into(current_folder_);
    last_listing_.complete = true;
    last_listing_.exact_times = true;
    return status_ok;
}

}  // namespace qvtf
