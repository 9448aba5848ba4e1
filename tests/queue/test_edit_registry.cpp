// Files edited in place: one copy per site and remote path in a private
// folder, saves found however the editor writes (in place, or a new file
// renamed over the old one, even with the same size and time), a save
// during an upload not taken for uploaded, and names that stay in their
// folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "queue/edit_registry.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using qvtf::edit_state;

void write(const std::string& path, const std::string& text, std::ios::openmode mode = std::ios::trunc)
{
    std::ofstream(path, std::ios::binary | std::ios::out | mode) << text;
}

TEST(EditRegistry, SafeNames)
{
    const std::pair<std::string, std::string> rows[] = {
        {"index.html", "index.html"},
        {".htaccess", ".htaccess"},
        {"a/b.php", "a_b.php"},
        {"..", "_.."},
        {".", "_."},
        {"", "_"},
        {std::string("x\0y", 3), "x_y"},
    };
    for (const auto& [remote, local] : rows)
        EXPECT_EQ(qvtf::edit_registry::safe_name(remote), local) << remote;
}

TEST(EditRegistry, SharingSavesAndUploads)
{
    qvtf::test::temp_folder base("qvtf-edit-base");
    std::string session;
    {
        qvtf::edit_registry r(base.path());
        bool created = false;
        std::string error;
        qvtf::edit_entry* e = r.open("h:21 u", "/www/index.html", created, error);
        ASSERT_NE(e, nullptr) << error;
        EXPECT_TRUE(created);
        const int id = e->id;
        const std::string copy = e->local_path;
        session = r.folder();
        EXPECT_EQ(fs::path(copy).filename(), "index.html");
        EXPECT_EQ(e->remote_folder(), "/www/");
        struct stat st {};
        ASSERT_EQ(::stat(session.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(::stat(fs::path(session).parent_path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);

        // The same remote file shares the copy; another folder or site does not.
        EXPECT_EQ(r.open("h:21 u", "/www/index.html", created, error)->id, id);
        EXPECT_FALSE(created);
        EXPECT_NE(r.open("h:21 u", "/old/index.html", created, error)->local_path, copy);
        EXPECT_NE(r.open("other:21 u", "/www/index.html", created, error)->id, id);
        EXPECT_EQ(r.entries().size(), 3u);

        write(copy, "<p>one</p>\n");
        r.downloaded(id);
        EXPECT_TRUE(r.check_changes().empty());

        struct step {
            const char* what;
            std::function<void()> act;
            std::vector<int> changed;
            edit_state state;
            bool unsaved;
        };
        const step steps[] = {
            {"saved in place", [&] { write(copy, "<p>two</p>\n", std::ios::app); }, {id}, edit_state::changed, true},
            {"reported once", [] {}, {}, edit_state::changed, true},
            {"upload ends well",
             [&] {
                 r.uploading(id);
                 EXPECT_TRUE(r.uploaded(id));
             },
             {},
             edit_state::uploaded,
             false},
            {"renamed over, same size and time",
             [&] {
                 const auto old_time = fs::last_write_time(copy);
                 const std::string temp = copy + ".tmp";
                 write(temp, std::string(fs::file_size(copy), 'x'));
                 fs::last_write_time(temp, old_time);
                 fs::rename(temp, copy);
             },
             {id},
             edit_state::changed,
             true},
            {"mid-rename: no file is no save",
             [&] {
                 r.uploading(id);
                 EXPECT_TRUE(r.uploaded(id));
                 fs::rename(copy, copy + ".bak");
             },
             {},
             edit_state::uploaded,
             false},
            {"saved during an upload",
             [&] {
                 fs::rename(copy + ".bak", copy);
                 r.uploading(id);
                 write(copy, "more\n", std::ios::app);
                 EXPECT_FALSE(r.uploaded(id));
             },
             {},
             edit_state::changed,
             true},
            {"upload fails",
             [&] {
                 r.uploading(id);
                 r.failed(id, "550 denied");
             },
             {},
             edit_state::failed,
             true},
            {"saved again after the failure",
             [&] { write(copy, "again\n", std::ios::app); },
             {id},
             edit_state::changed,
             true},
        };
        for (const step& s : steps) {
            s.act();
            EXPECT_EQ(r.check_changes(), s.changed) << s.what;
            EXPECT_EQ(r.find(id)->state, s.state) << s.what;
            EXPECT_EQ(r.find(id)->unsaved, s.unsaved) << s.what;
        }
        EXPECT_EQ(r.find(id)->reason, "550 denied") << "kept until the next upload";
        EXPECT_TRUE(r.has_unsaved());
        EXPECT_EQ(r.find_local(copy), r.find(id));
    }
    // Unsaved work outlives the run; the copy stays where it was.
    EXPECT_TRUE(fs::exists(session));

    {
        qvtf::edit_registry r(base.path());
        bool created = false;
        std::string error;
        qvtf::edit_entry* e = r.open("h:21 u", "/a.txt", created, error);
        ASSERT_NE(e, nullptr) << error;
        const int id = e->id;
        write(e->local_path, "x");
        r.downloaded(id);
        const std::string folder = e->local_folder();
        session = r.folder();
        r.forget(id);
        EXPECT_FALSE(fs::exists(folder));
        EXPECT_EQ(r.find(id), nullptr);
    }
    // Nothing unsaved: the session folder goes with the run.
    EXPECT_FALSE(fs::exists(session));
}

}  // namespace
