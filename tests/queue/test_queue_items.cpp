// Items made from pane entries, without a server: paths, link sizes,
// automatic types, refused names, duplicates, kills of waiting items, and
// what the queue does when it becomes empty.
#include <gtest/gtest.h>

#include "ftp/auto_transfer_resolver.h"
#include "queue_test_support.h"
#include "settings/global_ftp_settings.h"
#include "support/process.h"

namespace qvtf::test {
namespace {

qxfile_node* entry(qxfile_tree& tree, qxfile_node* parent, const char* name, uint64_t size, bool folder = false,
                   const char* link = nullptr)
{
    auto* node = new qxfile_node;
    node->name.set_string(name);
    node->set_extension_from_name();
    node->set_size(size);
    node->is_folder = folder ? 1 : 0;
    node->modified = 1700000000;
    if (link) {
        node->attributes |= ATTR_LINK;
        node->link_target.set_string(link);
    }
    tree.append_child(node, parent);
    return node;
}

struct expected_item {
    const char* name;
    const char* local_path;
    const char* remote_path;
    int64_t size;
    int32_t is_folder;
    int32_t is_link;
    int32_t type;
};

struct direction_case {
    const char* name;
    int32_t from_remote;
    std::vector<expected_item> items;
};

const direction_case cases[] = {
    {"Download",
     1,
     {{"a.txt", "/tmp/dl/a.txt", "/r/a.txt", 10, 0, 0, 1},
      {"l", "/tmp/dl/l", "/r/l", 10, 0, 1, 0},
      {"dead", "/tmp/dl/dead", "/r/dead", -1, 0, 1, 0},
      {"sub", "/tmp/dl/sub", "/r/sub", 0, 1, 0, 2},
      {"Makefile", "/tmp/dl/Makefile", "/r/Makefile", 3, 0, 0, 1}}},
    // The same entries seen as local ones: links keep their own size.
    {"Upload",
     0,
     {{"a.txt", "/r/a.txt", "/tmp/dl/a.txt", 10, 0, 0, 1},
      {"l", "/r/l", "/tmp/dl/l", 4, 0, 0, 0},
      {"dead", "/r/dead", "/tmp/dl/dead", 4, 0, 0, 0},
      {"sub", "/r/sub", "/tmp/dl/sub", 0, 1, 0, 2},
      {"Makefile", "/r/Makefile", "/tmp/dl/Makefile", 3, 0, 0, 1}}},
};

class QueueItems : public ::testing::TestWithParam<direction_case> {};

TEST_P(QueueItems, FromPaneEntries)
{
    const direction_case& c = GetParam();
    temp_folder folder("qvtf-queue-items");
    ASSERT_TRUE(folder.write("ext.txt",
                             "<ext><extensions><_0 name=\".txt\" transfer=\"ascii\" chmod=\"644\"/></extensions>"
                             "<names><_0 name=\"Makefile\" transfer=\"ascii\"/></names></ext>"));
    auto_transfer_resolver resolver;
    ASSERT_EQ(resolver.load(qxval(folder.file("ext.txt"))), 0);

    ftp_control browser;
    browser.set_current_path(qxval("/r"), true);
    qxfile_tree& tree = browser.folder_tree();
    qxfile_node* r = browser.current_folder();
    std::vector<qxfile_node*> nodes{entry(tree, r, "a.txt", 10),
                                    entry(tree, r, "l", 4, false, "a.txt"),
                                    entry(tree, r, "dead", 4, false, "missing"),
                                    entry(tree, r, "x/y", 1),
                                    entry(tree, r, "sub", 0, true),
                                    entry(tree, r, "Makefile", 3)};
    qxfile_node destination;

    recording_panes panes;
    panes.session = &browser;
    // Both folders come with doubled separators; items get exactly one.
    panes.paths[r] = "/r//";
    panes.paths[&destination] = "/tmp/dl//";
    recording_view view;
    global_ftp_settings settings;
    settings.sounds = sound_transfer;
    ftp_queue_process_manager q;
    q.panes = &panes;
    q.view = &view;
    q.resolver = &resolver;
    q.settings = &settings;
    q.language = &test_phrases();
    q.default_transfer_type = 2;
    std::vector<queue_item_result> results;
    when_finished(q, [&](const queue_item_result& result) { results.push_back(result); });
    ASSERT_EQ(q.open(), 0);

    PUT_NODES_QUEUE_STRUCT request;
    request.from_remote = c.from_remote;
    request.nodes = nodes;
    request.destination = &destination;
    // Queued twice: two sets of items, nothing merged.
    ASSERT_EQ(q.add_nodes(request), 0);
    ASSERT_EQ(q.add_nodes(request), 0);
    EXPECT_EQ(q.item_count(), 2 * static_cast<int32_t>(c.items.size()));
    EXPECT_EQ(view.updates_open, 0);

    std::vector<view_call> added;
    for (const auto& call : view.calls())
        if (call.what == "add")
            added.push_back(call);
    ASSERT_EQ(added.size(), 2 * c.items.size());
    for (size_t i = 0; i < added.size(); ++i) {
        const expected_item& e = c.items[i % c.items.size()];
        EXPECT_EQ(added[i].name, e.name);
        EXPECT_EQ(added[i].local_path, e.local_path) << e.name;
        EXPECT_EQ(added[i].remote_path, e.remote_path) << e.name;
        EXPECT_EQ(added[i].size, e.size) << e.name;
        EXPECT_EQ(added[i].is_folder, e.is_folder) << e.name;
        EXPECT_EQ(added[i].is_link, e.is_link) << e.name;
        EXPECT_EQ(added[i].transfer_type, e.type) << e.name;
        EXPECT_EQ(added[i].tries, 1);
        EXPECT_EQ(added[i].state, item_waiting);
    }
    // The records themselves, through a kill of every waiting item: each
    // leaves at once, and the last one sounds and re-lists the remote pane.
    auto items_before = q.item_count();
    q.kill_all(4);  // stop: they stay, stopped
    EXPECT_EQ(q.item_count(), items_before);
    EXPECT_EQ(panes.sounds, 0);
    q.kill_all(8);
    EXPECT_EQ(q.item_count(), 0);
    EXPECT_EQ(panes.sounds, 1);
    EXPECT_EQ(panes.relists, 1);
    ASSERT_EQ(results.size(), 2 * c.items.size());
    for (size_t i = 0; i < c.items.size(); ++i) {
        const expected_item& e = c.items[i];
        EXPECT_EQ(results[i].local_path.str(), e.local_path);
        EXPECT_EQ(results[i].remote_path.str(), e.remote_path);
        EXPECT_EQ(results[i].is_folder, e.is_folder);
        EXPECT_EQ(results[i].result_code, status_stopped);
    }
    // Two sources with one target: the second is refused, not queued to
    // overwrite the first's copy; once the first has left, the name is free.
    ASSERT_EQ(q.add_node(*nodes[0], qxval("/tmp/dl/"), qxval("/r/"), c.from_remote, 0, 0), 0);
    EXPECT_EQ(q.add_node(*nodes[0], qxval("/tmp/dl/"), qxval("/r/"), c.from_remote, 0, 0), 0)
        << "the same file twice is no collision";
    const qxval other_source_folder(c.from_remote ? "/elsewhere/" : "/tmp/elsewhere/");
    const qxval target_folder(c.from_remote ? "/tmp/dl/" : "/r/");
    EXPECT_EQ(c.from_remote ? q.add_node(*nodes[0], target_folder, other_source_folder, 1, 0, 0)
                            : q.add_node(*nodes[0], other_source_folder, target_folder, 0, 0, 0),
              ftp_queue_process_manager::target_taken);
    EXPECT_EQ(q.item_count(), 2);
    // From a pane the refusal is not silent: the run's box names both
    // sources and the target.
    qxfile_node* elsewhere = entry(tree, r->parent, "elsewhere", 0, true);
    panes.paths[elsewhere] = other_source_folder.str();
    qxfile_node* twin = entry(tree, elsewhere, "a.txt", 10);
    qxfile_node destination_again;
    panes.paths[&destination_again] = target_folder.str();
    PUT_NODES_QUEUE_STRUCT clash;
    clash.from_remote = c.from_remote;
    clash.nodes = {twin};
    clash.destination = &destination_again;
    ASSERT_EQ(q.add_nodes(clash), 0);
    EXPECT_EQ(q.item_count(), 2);
    EXPECT_TRUE(view.errors().empty()) << "shown when the run ends";
    q.kill_all(8);
    ASSERT_EQ(view.errors().size(), 1u);
    const std::string source_a = c.from_remote ? "/r/a.txt" : "/tmp/dl/a.txt";
    const auto words = [](int n) { return std::string(test_phrases().text(n)); };
    EXPECT_EQ(view.errors()[0], "12 " + other_source_folder.str() + "a.txt" + words(970) + source_a + words(971) +
                                    target_folder.str() + "a.txt");
    EXPECT_EQ(c.from_remote ? q.add_node(*nodes[0], target_folder, other_source_folder, 1, 0, 0)
                            : q.add_node(*nodes[0], other_source_folder, target_folder, 0, 0, 0),
              0);
    q.kill_all(8);

    // A shut-down queue takes nothing.
    q.close();
    EXPECT_EQ(q.add_node(*nodes[0], qxval("/tmp/"), qxval("/r/"), 1, 0, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Directions, QueueItems, ::testing::ValuesIn(cases),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace qvtf::test
