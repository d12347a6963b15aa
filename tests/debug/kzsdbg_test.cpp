#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kal/sim/debug.h"
#include "kzsdbg/kzsdbg.h"

namespace {

class DebugPrint : public ::testing::Test {
protected:
    void SetUp() override { kal::sim::clearDebugLines(); }
    void TearDown() override { kal::sim::clearDebugLines(); }

    static std::vector<std::string> lines() { return kal::sim::debugLines(); }
};

// The component field keeps the last ten characters of "kzvorn_driver".
const std::string kComponentField = "[orn_driver|";

}  // namespace

TEST_F(DebugPrint, PlainPrintHasNoPrefixAndLevelFilters) {
    kzsdbg_printf("plain %d\n", 1);
    kzsdbg_printLevel(0xFFF, "dropped\n");
    kzsdbg_printLevel(0x1000, "kept %s\n", "too");
    EXPECT_EQ(lines(), (std::vector<std::string>{"plain 1\n", "kept too\n"}));

    const kzsdbg_LineRecord record = {"a.cpp", 1, "\n"};
    kzsdbg_varLinePrintLevel(0xFFF, record, "dropped");
    kzsdbg_varLinePrintLevel(0x1000, record, "kept");
    ASSERT_EQ(lines().size(), 3u);
    EXPECT_EQ(lines()[2].substr(lines()[2].size() - 5), "kept\n");
}

TEST_F(DebugPrint, PrefixedLineByteForByte) {
    const kzsdbg_LineRecord record = {"src/io.cpp", 7, "\n"};
    kzsdbg_varLinePrintf(record, "hello %d", 42);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0], kComponentField + std::string(22, ' ') + "src/io.cpp|0007] hello 42\n");
}

TEST_F(DebugPrint, FixedWidthFields) {
    struct Case {
        const char* file;
        int32_t line;
        std::string prefix;
    };
    const std::string longPath = "driver/quolinTools/portAccessor/PavoPortAccessor.cpp";
    const Case cases[] = {
        {"x.cpp", 0, kComponentField + std::string(27, ' ') + "x.cpp|0000] "},
        {"x.cpp", 12345, kComponentField + std::string(27, ' ') + "x.cpp|2345] "},
        {"x.cpp", 456, kComponentField + std::string(27, ' ') + "x.cpp|0456] "},
        {longPath.c_str(), 99, kComponentField + longPath.substr(longPath.size() - 32) + "|0099] "},
    };
    for (const Case& c : cases) {
        kal::sim::clearDebugLines();
        const kzsdbg_LineRecord record = {c.file, c.line, ""};
        kzsdbg_varLinePrintf(record, "m");
        ASSERT_EQ(lines().size(), 1u);
        EXPECT_EQ(lines()[0], c.prefix + "m") << c.file << ":" << c.line;
    }
}

TEST_F(DebugPrint, LongMessageIsCutSoThatTheSuffixSurvives) {
    const std::string message(300, 'm');
    for (const std::string suffix : {"\n", " <end>\n", ""}) {
        kal::sim::clearDebugLines();
        const kzsdbg_LineRecord record = {"f.cpp", 1, suffix.c_str()};
        kzsdbg_varLinePrintf(record, "%s", message.c_str());
        ASSERT_EQ(lines().size(), 1u);
        const std::string line = lines()[0];
        EXPECT_EQ(line.size(), 255u);
        EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);
        EXPECT_EQ(line[line.size() - suffix.size() - 1], 'm');
    }
}

TEST_F(DebugPrint, NoIndentationUnlessTheHooksAreCalled) {
    const kzsdbg_LineRecord record = {"f.cpp", 1, "\n"};
    const std::string plain = kComponentField + std::string(27, ' ') + "f.cpp|0001] ";
    kzsdbg_varLinePrintf(record, "a");
    kzsdbg_IndentEntry* entry = kzsdbg_enterIndent();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(kzsdbg_enterIndent(), entry) << "one entry per thread";
    kzsdbg_varLinePrintf(record, "b");
    std::thread other([&] { kzsdbg_varLinePrintf(record, "c"); });
    other.join();
    kzsdbg_leaveIndent(entry);
    kzsdbg_leaveIndent(entry);
    kzsdbg_leaveIndent(nullptr);
    kzsdbg_varLinePrintf(record, "d");
    EXPECT_EQ(lines(), (std::vector<std::string>{plain + "a\n", plain + "  b\n", plain + "c\n", plain + "d\n"}));
    EXPECT_EQ(kzsdbg_findIndent(entry->threadId), nullptr) << "released at depth 0";
}

TEST_F(DebugPrint, LineObjects) {
    const kzsdbg_LineRecord record = {"irq.cpp", 12, "\n"};
    kzsdbg_VarLine line(record, "<", ">");
    line.printf("%s%d%s", line.getLead(), 5, line.getTail());
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0], kComponentField + std::string(25, ' ') + "irq.cpp|0012] <5>\n");

    char buffer[8];
    kzsdbg_VarLineToBuffer toBuffer(record, "", "", buffer, sizeof buffer);
    toBuffer.printf("%s", "longer than eight");
    EXPECT_STREQ(buffer, "longer ");
    EXPECT_EQ(lines().size(), 1u) << "a buffer line prints nothing";
}

TEST(DebugText, Helpers) {
    char buffer[8];
    EXPECT_EQ(kzsdbg_copyText(buffer, "abc", sizeof buffer), buffer + 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(kzsdbg_copyText(buffer, "abcdefghij", sizeof buffer), buffer + 7);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(kzsdbg_concat(buffer, sizeof buffer, 3, "ab", "cd", "e"), 6u);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(kzsdbg_concat(buffer, sizeof buffer, 2, "abcd", "efgh"), 8u);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(kzsdbg_strlen(nullptr), 0u);
}

namespace {

// Calls through its own vtable while the base is still being built: a pure virtual slot.
class HalfBuilt {
public:
    HalfBuilt() { callHook(); }
    virtual ~HalfBuilt() {}
    virtual void hook() = 0;
    void callHook() { hook(); }
};

class Built : public HalfBuilt {
public:
    void hook() override {}
};

}  // namespace

TEST(DebugPrintDeathTest, HaltHookAssertionAndPureVirtualTrapHalt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(kzsdbg_haltHook(nullptr, nullptr), "halt: \\[kzvorn_driver\\|kzsdbg/kzsdbg.cpp\\|341\\] halt");
    const kzsdbg_Location location = {"here.cpp", 9};
    EXPECT_DEATH(kzsdbg_haltHook(&location, "why"), "halt: \\[kzvorn_driver\\|here.cpp\\|9\\] why");

    EXPECT_DEATH(
        {
            kal::sim::setDebugEcho(true);
            kzsdbg_assertionFailed("kzapal/protons/array.h", 456, "ASSERT(_size+n <= kMaxSize)");
        },
        "\\[kzvorn_driver\\|kzapal/protons/array.h\\|456\\] !!ASSERT!!\n"
        "\\[orn_driver\\| +kzapal/protons/array.h\\|0456\\] ASSERT\\(_size\\+n <= kMaxSize\\)\n"
        "\\[orn_driver\\| +kzapal/protons/array.h\\|0456\\]  \n"
        "halt: \\[kzvorn_driver\\|kzapal/protons/array.h\\|456\\] ASSERT\\(_size\\+n <= kMaxSize\\)");

    EXPECT_DEATH(
        {
            kal::sim::setDebugEcho(true);
            Built built;
        },
        "\\[kzvorn_driver\\|kzsdbg/pureVirtualTrap.cpp\\|348\\] !!ASSERT!!\n"
        "BUG: A call to a pure virtual function was made!\n"
        "halt: \\[kzvorn_driver\\|kzsdbg/pureVirtualTrap.cpp\\|348\\] ASSERT");
}
