// A side of a synchronisation held in memory, described by lines:
//   "a.txt 10 1000"   file, size, time
//   "sub/"            folder
//   "ln -> target"    link (target relative to the link's folder, or absolute)
// Paths are relative to the side's top folder, which is given.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sync/sync_plan.h"

namespace qvtf::test {

class memory_side : public sync_side {
public:
    // local: links come back already resolved, as the file system reports them.
    memory_side(const std::string& top, const std::vector<const char*>& lines, bool local) : local_(local)
    {
        nodes_[top] = {true, false, "", 0, 0};
        for (const char* l : lines) {
            std::string line = l;
            node n;
            std::string path;
            const size_t arrow = line.find(" -> ");
            if (arrow != std::string::npos) {
                path = line.substr(0, arrow);
                n.link = true;
                n.target = line.substr(arrow + 4);
            } else if (line.back() == '/') {
                path = line.substr(0, line.size() - 1);
                n.folder = true;
            } else {
                std::istringstream in(line);
                in >> path >> n.size >> n.time;
            }
            nodes_[top + "/" + path] = n;
        }
    }

    // What every listing of this side vouches for.
    sync_listing_quality quality;
    sync_listing_quality last_listing() const override { return quality; }

    int list(const std::string& path, std::vector<sync_entry>& out) override
    {
        out.clear();
        ++lists;
        const std::string real = resolve(path);
        const auto it = nodes_.find(real);
        if (it == nodes_.end() || !it->second.folder)
            return 550;
        const std::string prefix = real + "/";
        for (const auto& [p, n] : nodes_) {
            if (p.compare(0, prefix.size(), prefix) != 0 || p.find('/', prefix.size()) != std::string::npos)
                continue;
            sync_entry e;
            e.name = p.substr(prefix.size());
            e.is_folder = n.folder;
            e.size = n.size;
            e.modified = n.time;
            e.is_link = n.link;
            e.link_target = n.target;
            if (n.link) {
                e.kind_known = e.size_known = e.time_known = false;
                if (local_)
                    resolve_link(p, e);
            }
            out.push_back(e);
        }
        return lists > 1000 ? 9999 : 0;  // a runaway walk fails instead of hanging
    }

    void resolve_link(const std::string& path, sync_entry& e) override
    {
        const auto it = nodes_.find(resolve(path));
        if (it == nodes_.end())
            return;
        e.kind_known = e.size_known = e.time_known = true;
        e.is_folder = it->second.folder;
        e.size = it->second.size;
        e.modified = it->second.time;
    }

    // Times to the second that exact_time gives where the listing's do not
    // (the server's MDTM), by path.
    std::map<std::string, int64_t> exact;
    std::vector<std::string> asked;
    void exact_time(const std::string& path, sync_entry& e) override
    {
        asked.push_back(path);
        if (const auto it = exact.find(path); it != exact.end()) {
            e.modified = it->second;
            e.time_exact = true;
        }
    }

    int lists = 0;

private:
    struct node {
        bool folder = false;
        bool link = false;
        std::string target;
        uint64_t size = 0;
        int64_t time = 0;
    };

    // The path with every link on the way replaced by its target.
    std::string resolve(const std::string& path) const
    {
        std::string done;
        std::istringstream parts(path.substr(1));
        std::string part;
        int hops = 0;
        while (std::getline(parts, part, '/')) {
            done = normal_path(done + "/" + part);
            for (auto it = nodes_.find(done); it != nodes_.end() && it->second.link && hops < 40; ++hops) {
                const std::string& t = it->second.target;
                const std::string parent = done.substr(0, done.rfind('/'));
                done = normal_path(t[0] == '/' ? t : parent + "/" + t);
                it = nodes_.find(done);
            }
        }
        return done;
    }

    bool local_;
    std::map<std::string, node> nodes_;
};

}  // namespace qvtf::test
