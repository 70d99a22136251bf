#include "base/smallvector.h"

#include <gtest/gtest.h>
#include <utility>

namespace korvane {
namespace {

struct Pair {
    int a = 0;
    int b = 0;
    bool operator==(const Pair&) const = default;
};

using Vector = SmallVector<Pair, 2>;

Vector counting(int count) {
    Vector values;
    for (int i = 0; i < count; ++i) {
        values.push_back({i, -i});
    }
    return values;
}

TEST(SmallVectorTest, KeepsEveryValueAcrossTheMoveToTheHeap) {
    for (int count = 0; count <= 9; ++count) {
        SCOPED_TRACE(count);
        const Vector values = counting(count);
        ASSERT_EQ(values.size(), static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(values[static_cast<std::size_t>(i)], (Pair{i, -i}));
        }
        EXPECT_EQ(values.capacity() == 2, count <= 2);
    }
}

TEST(SmallVectorTest, CopiesAndMovesLeaveIndependentValues) {
    for (const int count : {1, 2, 5}) {
        SCOPED_TRACE(count);
        Vector original = counting(count);
        Vector copy = original;
        copy.push_back({99, 99});
        EXPECT_EQ(original, counting(count));

        Vector moved = std::move(original);
        EXPECT_EQ(moved, counting(count));
        EXPECT_TRUE(original.empty()); // NOLINT(bugprone-use-after-move): a moved-from vector is empty
        original.push_back({7, 7});    // and usable again
        EXPECT_EQ(original, (Vector{{7, 7}}));

        copy = moved;
        EXPECT_EQ(copy, moved);
        moved = Vector{{1, 1}};
        EXPECT_EQ(copy, counting(count));
    }
}

TEST(SmallVectorTest, PushingItsOwnElementWhileGrowingCopiesItFirst) {
    Vector values = counting(2);
    values.push_back(values.front());
    values.push_back(values.back());
    values.push_back(values[3]);
    EXPECT_EQ(values, (Vector{{0, 0}, {1, -1}, {0, 0}, {0, 0}, {0, 0}}));
}

} // namespace
} // namespace korvane
