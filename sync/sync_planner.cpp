// The planner: walks both trees folder by folder and decides, name by name,
// what to copy, create or delete.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "core/folder_trail.h"
#include "core/qxfile_node.h"
#include "ftp/auto_transfer_resolver.h"
#include "sync/sync_plan.h"

namespace qvtf {

namespace {

using namespace sync_rule;

enum class relation { less, same, more, unknown };

const char* side_name(bool local)
{
    return local ? "local" : "remote";
}

// Where a folder of one side really lies, and the folders above it: links
// are followed only when they lead outside this chain.
struct folder_walk {
    std::string path;                // as named from the top folder
    std::string real;                // with the links on the way resolved
    std::vector<std::string> trail;  // real paths of the folders above, and this one
};

struct side_state {
    sync_side& side;
    bool local;
    folder_walk walk;
    bool exists = true;
    sync_listing_quality listed;  // of this folder
};

class planner {
public:
    planner(const dir_sync_settings_ex& s, const sync_plan_options& o, sync_plan& p)
        : settings_(s), options_(o), plan_(p), rule_(s.rule()), direction_(s.direction())
    {
    }

    void run(sync_side& local, sync_side& remote)
    {
        side_state l{local, true, start(settings_.local_folder.str()), true, {}};
        side_state r{remote, false, start(settings_.remote_folder.str()), true, {}};
        folder(l, r, 0);
    }

private:
    static folder_walk start(const std::string& path)
    {
        folder_walk w;
        w.path = path;
        w.real = normal_path(path);
        w.trail.push_back(w.real);
        return w;
    }

    static folder_walk below(const folder_walk& parent, const std::string& name, const std::string* real)
    {
        folder_walk w;
        w.path = sync_side::join(parent.path, name);
        w.real = real ? *real : normal_path(sync_side::join(parent.real, name));
        w.trail = parent.trail;
        w.trail.push_back(w.real);
        return w;
    }

    void note(std::string text) { plan_.notes.push_back(std::move(text)); }

    bool list(side_state& s, std::vector<sync_entry>& out)
    {
        out.clear();
        if (!s.exists)
            return true;
        const int status = s.side.list(s.walk.path, out);
        if (status == 0)
            s.listed = s.side.last_listing();
        if (status != 0 && plan_.status == 0) {
            plan_.status = status;
            plan_.failure = std::string("cannot list the ") + side_name(s.local) + " folder " + s.walk.path;
        }
        return status == 0;
    }

    // Links of one side become files, folders, or names to leave alone.
    // Remote links follow the rule word when the run downloads; in an upload
    // they are never touched. Local links are followed.
    bool settle_link(side_state& s, sync_entry& e, std::string& real_target)
    {
        const std::string where = sync_side::join(s.walk.path, e.name);
        int32_t links = links_follow;
        if (!s.local) {
            if (!(direction_ & download)) {
                note("left alone: the remote link " + where);
                return false;
            }
            links = rule_ & links_mask;
        }
        if (links == links_skip) {
            note("skipped: the link " + where);
            return false;
        }
        if (links == links_as_files) {
            e.is_folder = false;
            if (!s.local) {
                s.side.resolve_link(where, e);
                e.is_folder = false;
            }
            return true;
        }
        if (!e.link_target.empty()) {
            real_target = link_destination(s.walk.real, e.link_target);
            if (leads_back(real_target, s.walk.trail)) {
                note("not followed: the link " + where + " leads back to " + real_target);
                return false;
            }
        }
        if (!e.kind_known)
            s.side.resolve_link(where, e);
        return e.kind_known;
    }

    bool passes(const sync_entry& e) const
    {
        qxfile_node node;
        node.name.set_bytes(e.name);
        node.is_folder = e.is_folder ? 1 : 0;
        node.set_size(e.size);
        node.modified = static_cast<std::time_t>(e.modified);
        // Unknown values are not held against a file.
        qxfile_filter f = settings_.filter;
        if (!e.time_known)
            f.time_filter = 0;
        if (!e.size_known)
            f.size_filter = 0;
        return f.shows(node);
    }

    // The difference two times may have and still be the same: what the
    // coarser side's times can tell apart, never more than the setting.
    int64_t time_window(const side_state& l, const side_state& r, const sync_entry& a, const sync_entry& b) const
    {
        const bool exact = (l.listed.exact_times || a.time_exact) && (r.listed.exact_times || b.time_exact);
        auto offset = [](const side_state& s) { return std::abs(int64_t(s.listed.clock_offset)); };
        const int64_t precise = exact ? 1 : 60 + std::max(offset(l), offset(r));
        return std::min<int64_t>(precise, options_.time_equal_interval);
    }

    relation compare_time(const sync_entry& src, const sync_entry& tgt, int64_t window) const
    {
        if (!src.time_known || !tgt.time_known)
            return relation::unknown;
        const int64_t d = src.modified - tgt.modified;
        if (d > window)
            return relation::more;
        if (d < -window)
            return relation::less;
        return relation::same;
    }

    static relation compare_size(const sync_entry& src, const sync_entry& tgt)
    {
        if (!src.size_known || !tgt.size_known)
            return relation::unknown;
        return src.size < tgt.size ? relation::less : src.size > tgt.size ? relation::more : relation::same;
    }

    static bool allowed(int32_t field, int32_t all, int32_t less, int32_t same, int32_t more, relation r)
    {
        switch (r) {
        case relation::less: return field & less;
        case relation::same: return field & same;
        case relation::more: return field & more;
        default: return (field & all) == all;  // only "whatever" accepts the unknown
        }
    }

    int32_t transfer_type(const std::string& name) const
    {
        if (options_.global_transfer_type == 0)
            return 0;
        if (options_.global_transfer_type == 1)
            return 1;
        switch (rule_ & transfer_mask) {
        case sync_rule::transfer_binary: return 0;
        case sync_rule::transfer_ascii: return 1;
        default: return options_.resolver ? options_.resolver->resolve(name).type : 0;
        }
    }

    void transfer(bool upload, const side_state& l, const side_state& r, const sync_entry& src, std::string reason)
    {
        sync_action a;
        a.kind = upload ? sync_action_kind::upload : sync_action_kind::download;
        a.local_path = sync_side::join(l.walk.path, src.name);
        a.remote_path = sync_side::join(r.walk.path, src.name);
        // A size past a signed 64-bit count is checked against one no
        // transfer reaches, never against none.
        a.size = !src.size_known ? -1 : src.size > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(src.size);
        a.modified = src.modified;
        if (!upload && !src.is_link) {
            sync_entry stamped = src;
            sharpen(r, stamped);
            a.modified = stamped.modified;
        }
        a.is_link = src.is_link;
        a.transfer_type = transfer_type(src.name);
        a.reason = std::move(reason);
        plan_.actions.push_back(std::move(a));
    }

    static const char* time_words(relation r)
    {
        switch (r) {
        case relation::less: return "the source is older";
        case relation::same: return "the times are the same";
        case relation::more: return "the source is newer";
        default: return "the times are unknown";
        }
    }

    static const char* size_words(relation r)
    {
        switch (r) {
        case relation::less: return "smaller";
        case relation::same: return "the same size";
        case relation::more: return "larger";
        default: return "of unknown size";
        }
    }

    // Both sides have the file; the source is the side the copy would come from.
    void both_files(bool upload, const side_state& l, const side_state& r, const sync_entry& src, const sync_entry& tgt)
    {
        if (!(rule_ & overwrite) || !passes(src))
            return;
        const relation t = compare_time(src, tgt, time_window(l, r, src, tgt));
        const relation z = compare_size(src, tgt);
        const int32_t time_field = rule_ & time_mask;
        const int32_t size_field = rule_ & size_mask;
        if (!allowed(time_field, time_mask, time_source_older, time_same, time_source_newer, t) ||
            !allowed(size_field, size_mask, size_source_smaller, size_same, size_source_larger, z))
            return;
        transfer(upload, l, r, src, std::string("overwrite: ") + time_words(t) + ", " + size_words(z));
    }

    void make_folder(bool on_remote, const side_state& l, const side_state& r, const std::string& name)
    {
        sync_action a;
        a.kind = on_remote ? sync_action_kind::make_remote_folder : sync_action_kind::make_local_folder;
        a.local_path = sync_side::join(l.walk.path, name);
        a.remote_path = sync_side::join(r.walk.path, name);
        a.is_folder = true;
        a.reason = std::string("missing on the ") + side_name(!on_remote) + " side";
        plan_.actions.push_back(std::move(a));
    }

    void remove(bool on_remote, const side_state& l, const side_state& r, const sync_entry& e)
    {
        sync_action a;
        a.kind = on_remote ? sync_action_kind::delete_remote : sync_action_kind::delete_local;
        a.local_path = sync_side::join(l.walk.path, e.name);
        a.remote_path = sync_side::join(r.walk.path, e.name);
        a.is_folder = e.is_folder;
        a.is_link = e.is_link;
        a.reason = std::string("only on the ") + side_name(!on_remote) + " side (delete missing)";
        plan_.actions.push_back(std::move(a));
    }

    struct pair {
        sync_entry* local = nullptr;
        sync_entry* remote = nullptr;
        std::string local_real, remote_real;  // followed folder links
        bool reserved = false;                // a name neither side may change
    };

    void folder(side_state& l, side_state& r, int depth)
    {
        std::vector<sync_entry> le, re;
        if (!list(l, le) || !list(r, re))
            return;
        std::map<std::string, pair> names;
        for (sync_entry& e : le)
            take(l, e, names[e.name], true);
        for (sync_entry& e : re)
            take(r, e, names[e.name], false);
        for (auto& [name, p] : names) {
            if (p.reserved)
                continue;
            sync_entry* a = p.local;
            sync_entry* b = p.remote;
            if (a && b && a->is_folder != b->is_folder) {
                note("left alone: " + sync_side::join(l.walk.path, name) + " is a " +
                     (a->is_folder ? "folder" : "file") + " here and a " + (b->is_folder ? "folder" : "file") +
                     " on the remote side");
                continue;
            }
            const bool is_folder = (a ? a : b)->is_folder;
            if (is_folder)
                folder_pair(l, r, p, name, depth);
            else
                file_pair(l, r, a, b);
        }
    }

    void take(side_state& s, sync_entry& e, pair& p, bool local)
    {
        if (e.name == "." || e.name == "..")
            return;
        std::string real;
        if (e.is_link && !settle_link(s, e, real)) {
            p.reserved = true;
            return;
        }
        (local ? p.local : p.remote) = &e;
        if (e.is_link && e.is_folder)
            (local ? p.local_real : p.remote_real) = real.empty() ? normal_path(sync_side::join(s.walk.real, e.name))
                                                                  : real;
    }

    // Whether the rule's decision on two files depends on their times.
    bool time_decides() const { return direction_ == both || (rule_ & time_mask) != time_mask; }

    // A remote time the listing gave only to the minute (or without the
    // time of day) is asked for to the second where it decides, and where a
    // download stamps the local copy with it: a rounded stamp would make the
    // next comparison see the server's file as newer.
    void sharpen(const side_state& r, sync_entry& remote) const
    {
        if (!remote.is_folder && !remote.time_exact && !r.listed.exact_times)
            r.side.exact_time(sync_side::join(r.walk.path, remote.name), remote);
    }

    void file_pair(const side_state& l, const side_state& r, sync_entry* a, sync_entry* b)
    {
        if (a && b && time_decides() && (rule_ & overwrite))
            sharpen(r, *b);
        if (direction_ == both) {
            if (a && b) {
                relation t = compare_time(*a, *b, time_window(l, r, *a, *b));
                // Within the window a size difference still tells an edit:
                // the later copy, to the second, is the edited one.
                if (t == relation::same && compare_size(*a, *b) != relation::same)
                    t = a->modified > b->modified   ? relation::more
                        : a->modified < b->modified ? relation::less
                                                    : relation::same;
                if (t == relation::more)
                    both_files(true, l, r, *a, *b);
                else if (t == relation::less)
                    both_files(false, l, r, *b, *a);
                return;
            }
            const bool upload = a != nullptr;
            const sync_entry& src = a ? *a : *b;
            if ((rule_ & copy_missing) && passes(src))
                transfer(upload, l, r, src, std::string("missing on the ") + side_name(!upload) + " side");
            return;
        }
        const bool up = direction_ == sync_rule::upload;
        const sync_entry* src = up ? a : b;
        const sync_entry* tgt = up ? b : a;
        if (src && tgt)
            both_files(up, l, r, *src, *tgt);
        else if (src && (rule_ & copy_missing) && passes(*src))
            transfer(up, l, r, *src, std::string("missing on the ") + side_name(!up) + " side");
        else if (tgt && settings_.deletes_missing() && passes(*tgt) && may_delete(up ? l : r, *tgt))
            remove(up, l, r, *tgt);
    }

    // Deleting what the source folder lacks is safe only when its listing
    // left nothing out.
    bool may_delete(const side_state& source, const sync_entry& e)
    {
        if (source.listed.whole)
            return true;
        note("not deleted: " + sync_side::join(source.walk.path, e.name) + " (the " + side_name(source.local) +
             " listing of " + source.walk.path + " left lines out)");
        return false;
    }

    void folder_pair(side_state& l, side_state& r, const pair& p, const std::string& name, int depth)
    {
        if (!settings_.recursive)
            return;
        const sync_entry& any = p.local ? *p.local : *p.remote;
        if (!passes(any))
            return;
        if (depth + 1 > options_.depth_limit) {
            note("not entered: " + sync_side::join(l.walk.path, name) + " lies deeper than " +
                 std::to_string(options_.depth_limit) + " levels");
            return;
        }
        // Both ways, a folder only one side has is copied to the other.
        const bool local_source = direction_ == sync_rule::upload || (direction_ == both && p.local);
        const sync_entry* src = local_source ? p.local : p.remote;
        const sync_entry* tgt = local_source ? p.remote : p.local;
        if (!src) {
            if (settings_.deletes_missing() && may_delete(local_source ? l : r, *tgt))
                remove(local_source, l, r, *tgt);
            return;
        }
        if (!tgt) {
            if (!(rule_ & copy_missing))
                return;
            make_folder(local_source, l, r, name);
        }
        side_state cl{
            l.side, true, below(l.walk, name, p.local_real.empty() ? nullptr : &p.local_real), p.local != nullptr, {}};
        side_state cr{r.side,
                      false,
                      below(r.walk, name, p.remote_real.empty() ? nullptr : &p.remote_real),
                      p.remote != nullptr,
                      {}};
        folder(cl, cr, depth + 1);
    }

    const dir_sync_settings_ex& settings_;
    const sync_plan_options& options_;
    sync_plan& plan_;
    const int32_t rule_;
    const int32_t direction_;
};

}  // namespace

std::string sync_action::describe() const
{
    switch (kind) {
    case sync_action_kind::make_remote_folder: return "mkdir remote " + remote_path + ": " + reason;
    case sync_action_kind::make_local_folder: return "mkdir local " + local_path + ": " + reason;
    case sync_action_kind::upload: return "upload " + local_path + " -> " + remote_path + ": " + reason;
    case sync_action_kind::download: return "download " + remote_path + " -> " + local_path + ": " + reason;
    case sync_action_kind::delete_remote:
        return std::string("delete remote ") + (is_folder ? "folder " : "") + remote_path + ": " + reason;
    case sync_action_kind::delete_local:
        return std::string("delete local ") + (is_folder ? "folder " : "") + local_path + ": " + reason;
    }
    return reason;
}

void build_sync_plan(const dir_sync_settings_ex& settings, sync_side& local, sync_side& remote,
                     const sync_plan_options& options, sync_plan& plan)
{
    plan = sync_plan{};
    planner(settings, options, plan).run(local, remote);
}

}  // namespace qvtf
