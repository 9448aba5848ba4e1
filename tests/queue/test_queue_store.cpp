// The queue file: what is written reads back the same, escapes included,
// and records that would write outside their folder or cannot be read are
// dropped without losing the others.
#include <gtest/gtest.h>

#include "queue/queue_store.h"

namespace {

TEST(QueueStore, RoundTripAndDamagedRecords)
{
    qvtf::saved_queue q;
    q.site_path = "Group/Site\twith tab";
    q.host = "::1";
    q.port = 2121;
    q.user = "back\\slash";
    qvtf::saved_item a;
    a.is_download = 1;
    a.name = "line\nbreak.txt";
    a.local_folder = "/tmp/in/";
    a.remote_folder = "/pub/";
    a.size = 5'000'000'000;
    a.modified_time = 1700000000;
    a.trail = {"/pub/", "/pub/x/"};
    qvtf::saved_item b = a;
    b.is_folder = 1;
    b.name = "sub";
    b.trail.clear();
    q.items = {a, b};

    qvtf::saved_queue back;
    ASSERT_TRUE(qvtf::parse_queue_text(qvtf::queue_text(q), back));
    EXPECT_EQ(back, q);

    const std::string head = "qvtf queue 1\nsite\t\th\t21\tu\n";
    const struct {
        const char* record;
        size_t items;
    } rows[] = {
        {"item\t1\t0\t0\tok\t/l/\t/r/\t0\t0\t3\t0\t0\t0\t0\n", 1},
        {"item\t1\t0\t0\t../up\t/l/\t/r/\t0\t0\t3\t0\t0\t0\t0\n", 0},
        {"item\t1\t0\t0\t..\t/l/\t/r/\t0\t0\t3\t0\t0\t0\t0\n", 0},
        {"item\t1\t0\t0\tok\t/l/\t/r/\t0\t0\tbig\t0\t0\t0\t0\n", 0},
        {"item\t1\t0\t0\tok\t/l/\t/r/\t0\t0\t3\t0\t0\t0\t2\t/a/\n", 0},  // the trail is short
        {"item\t1\t0\t0\tok\n", 0},
        {"future\tfields\n", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.record);
        int bad = -1;
        ASSERT_TRUE(qvtf::parse_queue_text(head + row.record + "item\t0\t0\t0\tkept\t/l/\t/r/\t0\t0\t1\t0\t0\t0\t0\n",
                                           back, &bad));
        EXPECT_EQ(back.items.size(), row.items + 1);
        EXPECT_EQ(bad, row.items ? 0 : 1);
        EXPECT_EQ(back.items.back().name, "kept");
    }
    EXPECT_FALSE(qvtf::parse_queue_text("site\t\th\t21\tu\n", back));
}

}  // namespace
