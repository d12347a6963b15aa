#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "failures.h"
#include "kzhtl/kzhtl.h"

namespace {

using kzhtl::String;
using kzhtl::Vector;
using kzhtl_test::failing;
using kzhtl_test::sweepAllocationFailures;
using nKZAPALS100::kStatusMemoryFull;
using nKZAPALS100::tStatus;

std::vector<std::string> contents(const Vector<String>& v) {
    std::vector<std::string> out;
    for (const String& s : v) out.emplace_back(s.c_str(), s.size());
    return out;
}

Vector<String> makeStrings(std::initializer_list<const char*> texts) {
    tStatus status;
    Vector<String> v;
    for (const char* text : texts) v.push_back(String(text, status), status);
    EXPECT_TRUE(status.isSuccess());
    return v;
}

TEST(Vector, GrowsGeometricallyAndKeepsItsElements) {
    tStatus status;
    Vector<uint32_t> v;
    EXPECT_EQ(v.data(), nullptr);  // an empty vector owns no memory
    int reallocations = 0;
    for (uint32_t i = 0; i < 5000; ++i) {
        const uint32_t* before = v.data();
        ASSERT_TRUE(v.push_back(i * 3, status));
        if (v.data() != before) ++reallocations;
    }
    EXPECT_TRUE(status.isSuccess());
    ASSERT_EQ(v.size(), 5000u);
    EXPECT_LE(reallocations, 13);
    for (uint32_t i = 0; i < 5000; ++i) ASSERT_EQ(v[i], i * 3);

    ASSERT_TRUE(v.resize(10, status));
    EXPECT_EQ(v.size(), 10u);
    EXPECT_EQ(v.back(), 27u);
    ASSERT_TRUE(v.resize(12, status));
    EXPECT_EQ(v[10], 0u);  // new elements are zero
    ASSERT_TRUE(v.resize(14, 7u, status));
    EXPECT_EQ(v[13], 7u);
}

// Random inserts and erases of non-trivial elements against std::vector: relocation, shifting
// and the iterators returned.
TEST(Vector, MatchesStdVectorUnderRandomEdits) {
    std::mt19937 random(1234);
    tStatus status;
    Vector<String> v;
    std::vector<std::string> reference;
    for (int step = 0; step < 3000; ++step) {
        std::string text = "s" + std::to_string(step);
        size_t index = reference.empty() ? 0 : random() % (reference.size() + 1);
        int op = random() % 6;
        switch (op) {
            case 0:
            case 1: {
                String value(text.c_str(), status);
                auto it = v.insert(v.begin() + index, value, status);
                ASSERT_EQ(it, v.begin() + index);
                reference.insert(reference.begin() + index, text);
                break;
            }
            case 2:
                v.push_back(String(text.c_str(), status), status);
                reference.push_back(text);
                break;
            case 3:
                if (index < reference.size()) {
                    auto it = v.erase(v.begin() + index);
                    ASSERT_EQ(it, v.begin() + index);
                    reference.erase(reference.begin() + index);
                }
                break;
            case 4: {
                size_t count = std::min<size_t>(random() % 4, reference.size() - index);
                auto it = v.erase(v.begin() + index, v.begin() + index + count);
                ASSERT_EQ(it, v.begin() + index);
                reference.erase(reference.begin() + index, reference.begin() + index + count);
                break;
            }
            case 5:
                if (!reference.empty()) {
                    // a copy of a range of its own elements
                    size_t from = random() % reference.size();
                    size_t count = std::min<size_t>(random() % 5, reference.size() - from);
                    v.insert(v.begin() + index, v.begin() + from, v.begin() + from + count, status);
                    std::vector<std::string> range(reference.begin() + from, reference.begin() + from + count);
                    reference.insert(reference.begin() + index, range.begin(), range.end());
                }
                break;
        }
        ASSERT_TRUE(status.isSuccess());
        ASSERT_EQ(contents(v), reference) << "step " << step << " op " << op << " index " << index;
    }
}

// An argument that is one of the vector's own elements survives the move of the elements.
TEST(Vector, InsertsItsOwnElements) {
    tStatus status;
    Vector<String> v = makeStrings({"a", "b", "c", "d"});
    ASSERT_EQ(v.size(), v.capacity());
    v.push_back(v[0], status);  // reallocates
    v.insert(v.begin(), v[v.size() - 1], status);
    v.reserve(20, status);
    v.insert(v.begin() + 1, v[3], status);  // shifts in place
    v.emplace_back(v[2], status);
    v.push_back(std::move(v[1]), status);
    EXPECT_TRUE(status.isSuccess());
    EXPECT_EQ(contents(v), (std::vector<std::string>{"a", "", "a", "b", "c", "d", "a", "a", "c"}));
    // the element's own status-taking constructor
    ASSERT_TRUE(v.emplace_back("text", status));
    EXPECT_EQ(v.back(), "text");
}

TEST(Vector, MovesWithoutCopying) {
    tStatus status;
    Vector<String> a = makeStrings({"x", "y"});
    const String* data = a.data();
    Vector<String> b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(b.data(), data);
    Vector<String> c = makeStrings({"z"});
    c = std::move(b);
    EXPECT_EQ(contents(c), (std::vector<std::string>{"x", "y"}));

    Vector<String> copy(c, status);
    ASSERT_TRUE(status.isSuccess());
    EXPECT_NE(copy[0].c_str(), c[0].c_str());  // a deep copy
    EXPECT_EQ(contents(copy), contents(c));
}

// Each growing operation, with every allocation it makes failing in turn: -52000, and the
// vector's elements, size, capacity and storage as they were.
TEST(Vector, FailedGrowthLeavesTheVectorUnchanged) {
    using Operation = bool (*)(Vector<String>&, Vector<String>& other, tStatus&);
    struct Case {
        const char* name;
        Operation op;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"push_back copy", [](Vector<String>& v, Vector<String>&, tStatus& s) { return v.push_back(v[1], s); },
         {"a", "b", "c", "d", "b"}},
        {"insert front", [](Vector<String>& v, Vector<String>&, tStatus& s) { return v.insert(v.begin(), v[3], s) != nullptr; },
         {"d", "a", "b", "c", "d"}},
        {"insert range", [](Vector<String>& v, Vector<String>&, tStatus& s) {
             return v.insert(v.begin() + 1, v.begin(), v.end(), s) != nullptr;
         },
         {"a", "a", "b", "c", "d", "b", "c", "d"}},
        {"resize with value", [](Vector<String>& v, Vector<String>&, tStatus& s) { return v.resize(6, v[0], s); },
         {"a", "b", "c", "d", "a", "a"}},
        {"assign", [](Vector<String>& v, Vector<String>& other, tStatus& s) {
             return v.assign(other, s);
         },
         {"p", "q"}},
        {"reserve", [](Vector<String>& v, Vector<String>&, tStatus& s) { return v.reserve(100, s); }, {"a", "b", "c", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int failures = sweepAllocationFailures([&](uint64_t failAt) {
            Vector<String> v = makeStrings({"a", "b", "c", "d"});
            Vector<String> other = makeStrings({"p", "q"});
            const String* data = v.data();
            size_t capacity = v.capacity();
            tStatus status;
            bool result = false;
            bool failed = failing(failAt, status, [&](tStatus& s) { result = c.op(v, other, s); });
            if (failed) {
                EXPECT_FALSE(result);
                EXPECT_EQ(status.getCode(), kStatusMemoryFull);
                EXPECT_EQ(contents(v), (std::vector<std::string>{"a", "b", "c", "d"}));
                EXPECT_EQ(v.data(), data);
                EXPECT_EQ(v.capacity(), capacity);
            } else {
                EXPECT_TRUE(result);
                EXPECT_TRUE(status.isSuccess());
                EXPECT_EQ(contents(v), c.after);
            }
            return failed;
        });
        EXPECT_GE(failures, 1);
    }
}

// A buffer sized for a decompressor or a copy to fill: the elements already there stay, the
// size is what was asked, and a failed allocation changes nothing.
TEST(Vector, ResizeForOverwriteKeepsTheElementsAndRefusesWhatItCannotHold) {
    tStatus status;
    Vector<uint8_t> v;
    for (uint8_t b : {7, 8, 9}) ASSERT_TRUE(v.push_back(b, status));
    ASSERT_TRUE(v.resizeForOverwrite(4096, status));
    ASSERT_EQ(v.size(), 4096u);
    EXPECT_EQ(v[0], 7u);
    EXPECT_EQ(v[2], 9u);
    v[4095] = 1;  // the new elements are the caller's to write
    ASSERT_TRUE(v.resizeForOverwrite(2, status));
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1], 8u);

    const uint8_t* data = v.data();
    const bool failed = failing(1, status, [&](tStatus& s) { EXPECT_FALSE(v.resizeForOverwrite(1 << 20, s)); });
    EXPECT_TRUE(failed);
    EXPECT_EQ(status.getCode(), kStatusMemoryFull);
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(v.data(), data);
}

TEST(Vector, DoesNothingAfterAnEarlierError) {
    Vector<uint16_t> v;
    tStatus status;
    status.code = -50001;
    int64_t live = kal::sim::liveAllocations();
    EXPECT_FALSE(v.push_back(1, status));
    EXPECT_FALSE(v.reserve(10, status));
    EXPECT_FALSE(v.resize(3, status));
    EXPECT_FALSE(v.resizeForOverwrite(3, status));
    EXPECT_EQ(v.insert(v.end(), uint16_t(2), status), nullptr);
    EXPECT_FALSE(v.emplace_back(uint16_t(3), status));
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    EXPECT_EQ(status.getCode(), -50001);
}

// A byte size that does not fit is refused before the allocator is asked.
TEST(Vector, RefusesAByteSizeThatOverflows) {
    Vector<uint64_t> v;
    tStatus status;
    EXPECT_FALSE(v.reserve(SIZE_MAX / 4, status));
    EXPECT_EQ(status.getCode(), kStatusMemoryFull);
    EXPECT_EQ(v.capacity(), 0u);
}

}  // namespace
