#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "failures.h"
#include "kzhtl/map.h"
#include "kzhtl/string.h"

namespace {

using kzhtl::Map;
using kzhtl::String;
using kzhtl_test::failing;
using kzhtl_test::sweepAllocationFailures;
using nKZAPALS100::kStatusMemoryFull;
using nKZAPALS100::tStatus;

template <class M, class R>
void expectSameEntries(const M& map, const R& reference) {
    using Entries = std::vector<std::pair<uint32_t, uint32_t>>;
    ASSERT_EQ(map.size(), reference.size());
    Entries expected(reference.begin(), reference.end());
    Entries forward, backward;
    for (const auto& entry : map) forward.emplace_back(entry.first, entry.second);
    EXPECT_EQ(forward, expected);
    if (map.empty()) {
        EXPECT_TRUE(map.begin() == map.end());
        return;
    }
    auto it = map.end();
    do {
        --it;
        backward.emplace_back(it->first, it->second);
    } while (it != map.begin());
    EXPECT_EQ(backward, Entries(expected.rbegin(), expected.rend()));
}

// Random inserts, lookups and erases against std::map, with the red-black rules checked as the
// tree changes.
TEST(Map, MatchesStdMapAndStaysBalanced) {
    std::mt19937 random(4242);
    tStatus status;
    Map<uint32_t, uint32_t> map;
    std::map<uint32_t, uint32_t> reference;
    for (int step = 0; step < 20000; ++step) {
        uint32_t key = random() % 600;
        uint32_t value = random();
        switch (random() % 5) {
            case 0:
            case 1: {
                auto result = map.insert(key, value, status);
                auto expected = reference.insert({key, value});
                ASSERT_EQ(result.second, expected.second);
                ASSERT_EQ(result.first->first, key);
                ASSERT_EQ(result.first->second, expected.first->second);  // an existing value stays
                break;
            }
            case 2:
                ASSERT_EQ(map.erase(key), reference.erase(key));
                break;
            case 3: {
                auto it = map.lower_bound(key);
                auto expected = reference.lower_bound(key);
                if (expected == reference.end()) {
                    ASSERT_TRUE(it == map.end());
                    break;
                }
                ASSERT_EQ(it->first, expected->first);
                auto next = map.erase(it);
                auto expectedNext = reference.erase(expected);
                ASSERT_EQ(next == map.end(), expectedNext == reference.end());
                if (expectedNext != reference.end()) {
                    ASSERT_EQ(next->first, expectedNext->first);
                }
                break;
            }
            case 4:
                ASSERT_EQ(map.contains(key), reference.count(key) == 1);
                ASSERT_EQ(map.find(key) == map.end(), reference.find(key) == reference.end());
                break;
        }
        ASSERT_EQ(map.size(), reference.size());
        ASSERT_TRUE(map.isValidTree()) << "step " << step;
        if (step % 97 == 0) expectSameEntries(map, reference);
    }
    EXPECT_TRUE(status.isSuccess());
    expectSameEntries(map, reference);
}

// Keys in rising and falling order would make an unbalanced tree a list.
TEST(Map, SortedInsertionAndDrainingKeepTheRules) {
    tStatus status;
    Map<uint32_t, uint32_t> map;
    std::map<uint32_t, uint32_t> reference;
    for (uint32_t i = 0; i < 2000; ++i) {
        uint32_t key = i % 2 == 0 ? i : 100000 - i;
        map.insert(key, i, status);
        reference[key] = i;
    }
    ASSERT_TRUE(map.isValidTree());
    expectSameEntries(map, reference);
    // erasing while walking: erase returns the next entry
    for (auto it = map.begin(); it != map.end();) {
        if (it->first % 3 == 0) {
            it = map.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = reference.begin(); it != reference.end();) {
        it = it->first % 3 == 0 ? reference.erase(it) : std::next(it);
    }
    ASSERT_TRUE(map.isValidTree());
    expectSameEntries(map, reference);
    while (!map.empty()) {
        map.erase(map.begin());
        ASSERT_TRUE(map.isValidTree()) << map.size() << " left";
    }
    EXPECT_TRUE(status.isSuccess());
}

TEST(Map, HoldsValuesThatOwnMemory) {
    tStatus status;
    Map<uint16_t, String> names;
    String first("first", status);
    names.insert(uint16_t(7), first, status);
    names.insert(uint16_t(3), String("moved", status), status);
    auto again = names.insert(uint16_t(7), String("ignored", status), status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_FALSE(again.second);
    EXPECT_EQ(again.first->second, "first");
    EXPECT_EQ(first, "first");  // inserting an lvalue copies it

    Map<uint16_t, String> copy(names, status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_EQ(copy.find(3)->second, "moved");
    EXPECT_NE(copy.find(3)->second.c_str(), names.find(3)->second.c_str());
    Map<uint16_t, String> moved(std::move(copy));
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(moved.size(), 2u);
}

TEST(Map, FailedInsertLeavesTheMapUnchanged) {
    int failures = sweepAllocationFailures([](uint64_t failAt) {
        tStatus status;
        Map<uint32_t, String> map;
        for (uint32_t key : {10u, 20u, 30u}) map.insert(key, String("v", status), status);
        String value("new value", status);
        bool failed = failing(failAt, status, [&](tStatus& st) {
            auto result = map.insert(15u, value, st);  // allocates the value's copy and the node
            EXPECT_EQ(result.second, st.isSuccess());
        });
        EXPECT_EQ(status.getCode(), failed ? kStatusMemoryFull : 0);
        EXPECT_EQ(map.size(), failed ? 3u : 4u);
        EXPECT_EQ(map.contains(15), !failed);
        EXPECT_TRUE(map.isValidTree());
        return failed;
    });
    EXPECT_EQ(failures, 2);

    failures = sweepAllocationFailures([](uint64_t failAt) {
        tStatus status;
        Map<uint32_t, uint32_t> source, target;
        for (uint32_t key = 0; key < 5; ++key) source.insert(key, key * 10, status);
        target.insert(99u, 1u, status);
        bool failed = failing(failAt, status, [&](tStatus& st) { target.assign(source, st); });
        EXPECT_EQ(target.size(), failed ? 1u : 5u);
        EXPECT_EQ(target.contains(99), failed);
        return failed;
    });
    EXPECT_EQ(failures, 5);

    Map<uint32_t, uint32_t> map;
    tStatus status;
    status.code = -50001;
    EXPECT_FALSE(map.insert(1u, 1u, status).second);
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(status.getCode(), -50001);
}

}  // namespace
