#include <gtest/gtest.h>

#include <random>
#include <string>

#include "failures.h"
#include "kzhtl/string.h"

namespace {

using kzhtl::String;
using kzhtl_test::failing;
using kzhtl_test::sweepAllocationFailures;
using nKZAPALS100::kStatusMemoryFull;
using nKZAPALS100::tStatus;

std::string text(const String& s) { return std::string(s.c_str(), s.size()); }

TEST(String, EmptyStringIsTerminatedWithoutMemory) {
    String s;
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.size(), 0u);
    tStatus status;
    EXPECT_TRUE(s.assign("", status));
    s.clear();
    EXPECT_TRUE(s.resize(0, 'x', status));
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.capacity(), 0u);
}

// Random edits against std::string, with sources that point into the string itself.
TEST(String, MatchesStdStringUnderRandomEdits) {
    std::mt19937 random(77);
    tStatus status;
    String s;
    std::string reference;
    const char* words[] = {"alpha", "", "b", "quolin", "0123456789abcdef0123456789"};
    for (int step = 0; step < 4000; ++step) {
        size_t index = random() % (reference.size() + 1);
        const char* word = words[random() % 5];
        switch (random() % 7) {
            case 0:
                s.append(word, status);
                reference.append(word);
                break;
            case 1:
                s.insert(index, word, status);
                reference.insert(index, word);
                break;
            case 2: {
                size_t from = random() % (reference.size() + 1);
                size_t count = std::min<size_t>(random() % 12, reference.size() - from);
                std::string own = reference.substr(from, count);
                s.insert(index, s.c_str() + from, count, status);
                reference.insert(index, own);
                break;
            }
            case 3: {
                size_t count = random() % 8;
                s.erase(index, count);
                reference.erase(std::min(index, reference.size()), count);
                break;
            }
            case 4:
                if (reference.size() > 200) {
                    size_t from = random() % reference.size();
                    s.assign(s.c_str() + from, reference.size() - from, status);
                    reference = reference.substr(from);
                }
                break;
            case 5:
                s.push_back(static_cast<char>('A' + step % 26), status);
                reference.push_back(static_cast<char>('A' + step % 26));
                break;
            case 6: {
                size_t length = random() % 300;
                s.resize(length, '.', status);
                reference.resize(length, '.');
                break;
            }
        }
        ASSERT_TRUE(status.isSuccess());
        ASSERT_EQ(text(s), reference) << "step " << step;
        ASSERT_EQ(s.c_str()[s.size()], '\0');
    }
}

TEST(String, FindsComparesAndCuts) {
    tStatus status;
    String s("arm.read arm.names", status);
    EXPECT_EQ(s.find('.'), 3u);
    EXPECT_EQ(s.find('.', 4), 12u);
    EXPECT_EQ(s.rfind('.'), 12u);
    EXPECT_EQ(s.find('z'), String::npos);
    EXPECT_EQ(s.find("arm"), 0u);
    EXPECT_EQ(s.find("arm", 1), 9u);
    EXPECT_EQ(s.find("names"), 13u);
    EXPECT_EQ(s.find("namesX"), String::npos);
    EXPECT_EQ(s.find("a much longer needle than the text"), String::npos);

    String part;
    ASSERT_TRUE(s.substr(9, String::npos, part, status));
    EXPECT_EQ(part, "arm.names");
    ASSERT_TRUE(s.substr(100, 3, part, status));
    EXPECT_EQ(part, "");

    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {{"", "", 0}, {"a", "", 1}, {"", "a", -1}, {"abc", "abd", -1},
                          {"abc", "ab", 1}, {"abc", "abc", 0}, {"\x80", "a", 1}};
    for (const Case& c : cases) {
        String a(c.a, status), b(c.b, status);
        int result = a.compare(b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(a == b, c.sign == 0);
        EXPECT_EQ(a < b, c.sign < 0);
    }
    EXPECT_TRUE(status.isSuccess());
}

TEST(String, FailedGrowthLeavesTheTextUnchanged) {
    using Operation = bool (*)(String&, tStatus&);
    const Operation operations[] = {
        [](String& s, tStatus& st) { return s.append(" and a tail long enough to grow", st); },
        [](String& s, tStatus& st) { return s.insert(2, s.c_str(), s.size(), st); },
        [](String& s, tStatus& st) { return s.assign("a replacement longer than the old text", st); },
        [](String& s, tStatus& st) { return s.resize(100, '-', st); },
        [](String& s, tStatus& st) { return s.reserve(1000, st); },
    };
    for (Operation op : operations) {
        int failures = sweepAllocationFailures([&](uint64_t failAt) {
            tStatus status;
            String s("original text", status);
            size_t capacity = s.capacity();
            bool result = false;
            bool failed = failing(failAt, status, [&](tStatus& st) { result = op(s, st); });
            if (failed) {
                EXPECT_FALSE(result);
                EXPECT_EQ(status.getCode(), kStatusMemoryFull);
                EXPECT_EQ(text(s), "original text");
                EXPECT_EQ(s.capacity(), capacity);
            } else {
                EXPECT_TRUE(result);
                EXPECT_TRUE(status.isSuccess());
                EXPECT_GT(s.capacity(), capacity);
            }
            return failed;
        });
        EXPECT_EQ(failures, 1);
    }

    // A copy that cannot get memory is empty.
    tStatus source;
    String original("copied", source);
    tStatus status;
    failing(1, status, [&](tStatus& st) {
        String copy(original, st);
        EXPECT_TRUE(copy.empty());
        EXPECT_STREQ(copy.c_str(), "");
    });
    EXPECT_EQ(status.getCode(), kStatusMemoryFull);
}

TEST(String, MovesAndSwapsWithoutCopying) {
    tStatus status;
    String a("first", status), b("second", status);
    const char* data = a.c_str();
    String c(std::move(a));
    EXPECT_EQ(c.c_str(), data);
    EXPECT_STREQ(a.c_str(), "");
    c.swap(b);
    EXPECT_EQ(c, "second");
    EXPECT_EQ(b.c_str(), data);
    b = std::move(c);
    EXPECT_EQ(b, "second");
}

}  // namespace
