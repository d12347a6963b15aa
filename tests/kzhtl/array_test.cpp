#include <gtest/gtest.h>

#include <vector>

#include "kzapal/quarks/array.h"

namespace {

using kzvorn_driver::nKZAPAL000::tArray;

template <class A>
std::vector<uint8_t> items(const A& a) {
    return std::vector<uint8_t>(a.begin(), a.end());
}

// A full array refuses further insertions and stays as it was.
TEST(Array, RefusesInsertionsBeyondItsCapacity) {
    tArray<uint8_t, 256> hops;
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(hops.append(static_cast<uint8_t>(i)));
    EXPECT_TRUE(hops.full());
    EXPECT_FALSE(hops.append(1));
    EXPECT_FALSE(hops.insert(0, 1));
    EXPECT_EQ(hops.size(), 256u);
    EXPECT_EQ(hops[0], 0);
    EXPECT_EQ(hops[255], 255);

    tArray<uint8_t, 64> small;
    const uint8_t values[3] = {7, 8, 9};
    for (int i = 0; i < 21; ++i) ASSERT_TRUE(small.append(values, 3));
    EXPECT_FALSE(small.append(values, 3));  // all or nothing: 63 + 3 > 64
    EXPECT_EQ(small.size(), 63u);
    EXPECT_FALSE(small.append(values, SIZE_MAX));  // a count that would wrap the size
    EXPECT_TRUE(small.append(values, 1));
    EXPECT_TRUE(small.full());
}

TEST(Array, InsertsAndErasesInPlace) {
    tArray<uint8_t, 64> a;
    const uint8_t values[2] = {1, 2};
    a.append(values, 2);
    EXPECT_TRUE(a.insert(1, 9));
    EXPECT_TRUE(a.insert(3, values, 2));
    EXPECT_FALSE(a.insert(6, 4));  // past the end
    EXPECT_EQ(items(a), (std::vector<uint8_t>{1, 9, 2, 1, 2}));
    a.erase(0);
    a.erase(10);
    EXPECT_EQ(items(a), (std::vector<uint8_t>{9, 2, 1, 2}));
    a.clear();
    EXPECT_TRUE(a.empty());
}

}  // namespace
