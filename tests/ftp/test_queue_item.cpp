// The queue item's completion check with sizes past 4 GiB.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/qxfile_node.h"
#include "queue/ftp_queue_item.h"

namespace qvtf {
namespace {

constexpr int64_t five_gib = int64_t(5) << 30;

TEST(QueueItem, SizeCheckPastFourGiB)
{
    // The size a node lists reaches the item whole.
    qxfile_node node;
    node.set_size(uint64_t(five_gib));
    node.modified = 4102444800;  // 2100-01-01
    ftp_queue_item item;
    item.size = int64_t(node.size());
    item.modified_time = node.modified;
    EXPECT_EQ(item.size, five_gib);
    EXPECT_EQ(item.modified_time, 4102444800);

    struct check {
        int64_t size;
        int32_t tolerance;
        int64_t bytes;
        bool differs;
    };
    const check cases[] = {
        {five_gib, 0, five_gib, false},
        {five_gib, 0, five_gib - 1, true},
        {five_gib, 0, five_gib + 1, true},
        // A byte count that a 32-bit size would have matched after wrapping.
        {five_gib, 0, five_gib - (int64_t(1) << 32), true},
        {five_gib, 1, five_gib + 4096, false},
        {five_gib, 1, five_gib - 1, true},
        {five_gib, -1, five_gib - 1, false},
    };
    for (const check& c : cases) {
        item.size = c.size;
        item.size_tolerance = c.tolerance;
        EXPECT_EQ(item.size_differs(c.bytes), c.differs)
            << "size " << c.size << " tolerance " << c.tolerance << " bytes " << c.bytes;
    }
}

}  // namespace
}  // namespace qvtf
