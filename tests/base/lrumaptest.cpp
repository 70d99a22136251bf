#include "base/lrumap.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

// Against a plain reference: a list of keys ordered by last use, trimmed from the old end.
TEST(LruMap, AgreesWithAPlainReference) {
    std::mt19937 random(7);
    LruMap<int, int> map(5);
    std::vector<int> order; // least recently used first
    std::map<int, int> values;
    for (int step = 0; step < 5000; ++step) {
        int key = static_cast<int>(random() % 12);
        auto used = std::find(order.begin(), order.end(), key);
        const auto operation = random() % 5;
        if (operation == 0) {
            map.erase(key);
            if (used != order.end()) {
                values.erase(key);
                order.erase(used);
            }
        } else if (operation < 3) {
            int* found = map.find(key);
            ASSERT_EQ(found != nullptr, used != order.end());
            if (found != nullptr) {
                EXPECT_EQ(*found, values[key]);
                order.erase(used);
                order.push_back(key);
            }
        } else {
            map.insert(key, step);
            if (used != order.end()) {
                order.erase(used);
            } else if (order.size() == 5) {
                values.erase(order.front());
                order.erase(order.begin());
            }
            order.push_back(key);
            values[key] = step;
        }
        ASSERT_EQ(map.size(), order.size());
        for (int k = 0; k < 12; ++k) {
            ASSERT_EQ(map.contains(k), std::find(order.begin(), order.end(), k) != order.end());
        }
    }
}

} // namespace
} // namespace korvane
