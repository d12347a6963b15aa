#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kal/sim/clock.h"
#include "kal/sim/debug.h"
#include "kal/sim/faults.h"
#include "kzapal/quarks/trace.h"
#include "kzkal/kzkal.h"

using namespace kzvorn_driver::nKZAPAL000;

namespace {

struct CaptureDestination : tTraceDestination {
    std::vector<std::string> chunks;
    bool accept = true;
    int deactivations = 0;
    const char* name = "capture";

    void writeText(const char* text) override { chunks.emplace_back(text); }
    void writeTextN(const char* text, size_t length) override { chunks.emplace_back(text, length); }
    void flush() override {}
    void getCommandLine(char* buffer, size_t size, size_t& length) override { length = 0; }
    bool activate() override { return accept; }
    void deactivate() override { ++deactivations; }
    const char* getName() override { return name; }

    std::string all() const {
        std::string text;
        for (const std::string& chunk : chunks) text += chunk;
        return text;
    }
};

// "[" pieces "--" ... padded with '-' to 49 characters, then "] ".
std::string prefix(const std::string& pieces) { return pieces + std::string(49 - pieces.size(), '-') + "] "; }

class Trace : public ::testing::Test {
protected:
    CaptureDestination destination;
    tTrace trace{&destination};

    void line(const char* text, tTraceNesting nesting = kTraceNestingNone) {
        trace.beginLine("kzvorn_driver", 0x01234567, 7, "driver/kzapal/quarks/trace.cpp", -3, nesting);
        trace << text;
        trace.endLine();
    }
};

}  // namespace

TEST_F(Trace, DefaultPrefix) {
    line("hello");
    ASSERT_EQ(destination.chunks.size(), 1u);
    EXPECT_EQ(destination.chunks[0], prefix("[kzvorn_driver--7--trace.cpp") + "hello\n");
}

TEST_F(Trace, PrefixPiecesInOrderCutAtTheWidth) {
    for (tTraceFlag flag : {kTraceShowVersion, kTraceShowSecondNumber, kTraceFullPath}) trace.setFlag(flag);
    line("x");
    // Version 0x01234567: 1.2.3, phase 1 (a), build 0x567.
    const std::string pieces = "[kzvorn_driver--1.2.3a1383--7--driver/kzapal/quarks/trace.cpp--";
    EXPECT_EQ(destination.chunks.back(), pieces.substr(0, 49) + "] x\n");

    trace.clearFlag(kTraceLimitPrefix);
    line("y");
    EXPECT_EQ(destination.chunks.back(), pieces + "-3] y\n");

    for (tTraceFlag flag : {kTraceShowComponent, kTraceShowVersion, kTraceShowFirstNumber, kTraceShowFile,
                            kTraceShowSecondNumber}) {
        trace.clearFlag(flag);
    }
    trace.setFlag(kTraceLimitPrefix);
    line("z");
    EXPECT_EQ(destination.chunks.back(), std::string(49, ' ') + "  z\n") << "no piece: blanks";

    trace.setPrefixWidth(0);
    line("w");
    EXPECT_EQ(destination.chunks.back(), "w\n") << "width 0 with the limit: no prefix at all";
}

TEST_F(Trace, ThreadAndTimePieces) {
    for (tTraceFlag flag : {kTraceShowComponent, kTraceShowFirstNumber, kTraceShowFile}) trace.clearFlag(flag);
    trace.setFlag(kTraceShowThread);
    trace.setFlag(kTraceShowTime);
    // At the start of a tick, the few reads below stay inside it.
    kal::sim::clock().advanceNs(1000000 - kal::sim::clock().nowNs() % 1000000);
    char expected[64];
    std::snprintf(expected, sizeof expected, "[0x%llX--%llu", static_cast<unsigned long long>(nKZKAL100_getThreadID()),
                  static_cast<unsigned long long>(nKZKAL110_getTimerCount()));
    line("t");
    EXPECT_EQ(destination.chunks.back(), prefix(expected) + "t\n");
}

TEST_F(Trace, NestingIndentsTwoBlanksPerLevel) {
    const std::string p = prefix("[kzvorn_driver--7--trace.cpp");
    line("enter", kTraceNestingEnter);
    line("inside");
    line("leave", kTraceNestingLeave);
    line("leave again", kTraceNestingLeave);
    line("after");
    EXPECT_EQ(destination.chunks, (std::vector<std::string>{p + "enter\n", p + "  inside\n", p + "leave\n",
                                                            p + "leave again\n", p + "after\n"}));
    EXPECT_EQ(trace.getNestingDepth(), 0);
}

TEST_F(Trace, LongTextIsDeliveredInChunksOf253) {
    const std::string text(600, 'c');
    trace << text.c_str();
    ASSERT_EQ(destination.chunks.size(), 2u);
    EXPECT_EQ(destination.chunks[0], std::string(253, 'c'));
    EXPECT_EQ(destination.chunks[1], std::string(253, 'c'));
    trace.endLine();
    ASSERT_EQ(destination.chunks.size(), 3u);
    EXPECT_EQ(destination.chunks[2], std::string(94, 'c') + "\n");
}

TEST_F(Trace, Writers) {
    struct Case {
        std::function<void(tTrace&)> write;
        std::string expected;
    };
    const Case cases[] = {
        {[](tTrace& t) { t << true; }, "true(1)"},
        {[](tTrace& t) { t << false; }, "false(0)"},
        {[](tTrace& t) { t << 'q'; }, "q"},
        {[](tTrace& t) { t.write("abcdef", 3); }, "abc"},
        {[](tTrace& t) { t << L"w\u0141"; }, "L\"wA\""},
        {[](tTrace& t) { t.writeWide(L"wide", 2); }, "L\"wi\""},
        {[](tTrace& t) { t.writeUnsigned(255, 16); }, "0xFF"},
        {[](tTrace& t) { t.writeUnsigned(uint16_t{65535}, 10); }, "65535"},
        {[](tTrace& t) { t.writeUnsigned(5, 2); }, "2#101"},
        {[](tTrace& t) { t.writeSigned(-42, 10); }, "-42"},
        {[](tTrace& t) { t.writeSigned(INT64_MIN, 10); }, "-9223372036854775808"},
        {[](tTrace& t) { t.writeFormatted("%s=%03d", "n", 7); }, "n=007"},
    };
    for (const Case& c : cases) {
        destination.chunks.clear();
        c.write(trace);
        trace << "\n";
        EXPECT_EQ(destination.all(), c.expected + "\n");
    }
}

TEST_F(Trace, StatusAndOverlongFormat) {
    nKZAPALS100::tStatus status;
    status.code = -52000;
    char expected[256];
    nKZAPALS100::toText(status, expected, sizeof expected);
    trace << status << "\n";
    EXPECT_EQ(destination.all(), std::string(expected) + "\n");

    destination.chunks.clear();
    trace.writeFormatted("%300s", "x");
    trace.endLine();
    const std::string marker = "!!Formatted string exceeds kMaxTraceLine characters!!";
    EXPECT_EQ(destination.all(), marker + std::string(255, ' ') + "\n");
}

TEST_F(Trace, HexDump) {
    const unsigned char bytes[20] = {0x01, 0x02, 0x03, 0x04, 'A', 'b', 0x7F, ' ', 9,  10,
                                     11,   12,   13,   14,   15,  16,  17,   18,  19, 20};
    auto address = [&](size_t offset) {
        char text[9];
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(bytes + offset)));
        return std::string(text);
    };
    trace.hexDump(bytes, 5, 4);
    EXPECT_EQ(destination.all(), address(0) + ": 04030201 41XXXXXX XXXXXXXX XXXXXXXX : ....A\n");

    destination.chunks.clear();
    trace.hexDump(bytes + 4, 4, 2);
    EXPECT_EQ(destination.all(), address(4) + ": 6241 207F XXXX XXXX XXXX XXXX XXXX XXXX : Ab. \n");

    destination.chunks.clear();
    trace.hexDump(bytes, 20, 16);
    EXPECT_EQ(destination.all(), address(0) + ": 0102030441627F20090A0B0C0D0E0F10 : ....Ab. ........\n" + address(16) +
                                     ": 11121314" + std::string(24, 'X') + " : ....\n");

    destination.chunks.clear();
    trace.hexDump(bytes, 3, 0);
    EXPECT_EQ(destination.all(), address(0) + ": 01 02 03 XX XX XX XX XX XX XX XX XX XX XX XX XX : ...\n")
        << "width 0 dumps byte by byte";
    destination.chunks.clear();
    trace.hexDump(nullptr, 4, 4);
    trace.hexDump(bytes, 0, 4);
    EXPECT_TRUE(destination.chunks.empty());
}

TEST_F(Trace, DisabledAndSuppressedWriteNothing) {
    trace.clearFlag(kTraceEnabled);
    line("off");
    EXPECT_TRUE(destination.chunks.empty());
    trace.setFlag(kTraceEnabled);

    trace.setFlag(kTraceLineSuppressed);
    line("suppressed");
    EXPECT_TRUE(destination.chunks.empty());
    EXPECT_FALSE(trace.getFlag(kTraceLineSuppressed)) << "ending the line clears it";
    line("back");
    EXPECT_EQ(destination.chunks.size(), 1u);
}

TEST_F(Trace, SwitchDestination) {
    CaptureDestination refusing;
    refusing.accept = false;
    refusing.name = "refusing";
    EXPECT_EQ(trace.switchDestination(&refusing), &destination);
    EXPECT_EQ(trace.getDestination(), &destination);
    EXPECT_EQ(destination.chunks.back(), "Switching trace destination to refusing\n");

    CaptureDestination next;
    next.name = "next";
    EXPECT_EQ(trace.switchDestination(&next), &destination);
    EXPECT_EQ(trace.getDestination(), &next);
    EXPECT_EQ(destination.chunks.back(), "Switching trace destination to next\n") << "announced on the old one";
    EXPECT_EQ(destination.deactivations, 1);
    line("now");
    EXPECT_EQ(next.chunks.size(), 1u);
}

TEST_F(Trace, FunctionTraceOpensAndClosesANestingLevel) {
    const std::string p = prefix("[kzvorn_driver--7--trace.cpp");
    nKZAPALS100::tStatus status;
    const int object = 0;
    char self[32];
    std::snprintf(self, sizeof self, "0x%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&object)));
    {
        tFunctionTrace scope("kzvorn_driver", 0, 7, "a/trace.cpp", 0, "start", &object, &status, trace);
        line("body");
        status.code = -52000;
    }
    EXPECT_EQ(destination.chunks, (std::vector<std::string>{
                                      p + "start; this=" + self + "; tStatus code=0 {\n",
                                      p + "  body\n",
                                      p + "} tStatus code=-52000; start\n",
                                  }));
}

TEST_F(Trace, LockingSerialisesWholeLines) {
    {
        kal::sim::FailKernelCall fail("createMutex");
        trace.enableLocking();
        EXPECT_FALSE(trace.isLocking()) << "a failed mutex leaves locking off";
    }
    trace.enableLocking();
    ASSERT_TRUE(trace.isLocking());
    auto writer = [&](const char* text) {
        for (int i = 0; i < 200; ++i) line(text);
    };
    std::thread a(writer, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
    std::thread b(writer, "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb");
    a.join();
    b.join();
    ASSERT_EQ(destination.chunks.size(), 400u);
    const std::string p = prefix("[kzvorn_driver--7--trace.cpp");
    for (const std::string& chunk : destination.chunks) {
        EXPECT_TRUE(chunk == p + std::string(50, 'a') + "\n" || chunk == p + std::string(50, 'b') + "\n") << chunk;
    }
    trace.disableLocking();
    EXPECT_FALSE(trace.isLocking());
}

TEST(TraceGlobal, ConsoleDestinationAndAssertionReports) {
    kal::sim::clearDebugLines();
    EXPECT_EQ(tTrace::getTrace(), nullptr);
    constructConsoleTraceDestination();
    constructGlobalTrace();
    tTrace* trace = tTrace::getTrace();
    ASSERT_NE(trace, nullptr);
    tTraceDestination* console = trace->getDestination();
    ASSERT_NE(console, nullptr);
    EXPECT_STREQ(console->getName(), "kzsdbg_printf");
    char commandLine[8];
    size_t length = 0;
    console->getCommandLine(commandLine, sizeof commandLine, length);
    EXPECT_STREQ(commandLine, " --dest");
    EXPECT_EQ(length, 20u);

    reportAssertion("default", "kzvorn_driver", 0, 3, "x/y.cpp", "broken");
    reportAssertion("warning", "kzvorn_driver", 0, 3, "x/y.cpp", "odd");
    reportAssertion("fatal", "kzvorn_driver", 0, 3, "x/y.cpp", "very");
    console->writeTextN("abcdef", 2);
    const std::string p = prefix("[kzvorn_driver--3--y.cpp");
    EXPECT_EQ(kal::sim::debugLines(),
              (std::vector<std::string>{p + "ASSERTION FAILED: broken\n", p + "ASSERTION WARNING: odd\n",
                                        p + "ASSERTION FAILED (fatal): very\n", "ab"}));
    assertionBreak("warning");

    destroyGlobalTrace();
    destroyConsoleTraceDestination();
    EXPECT_EQ(tTrace::getTrace(), nullptr);
    reportAssertion("default", "kzvorn_driver", 0, 3, "x/y.cpp", "nobody listens");
    EXPECT_EQ(kal::sim::debugLines().size(), 4u);
    kal::sim::clearDebugLines();
}

TEST(TraceGlobalDeathTest, AssertionBreakHalts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(assertionBreak("default"), "halt: \\[kzvorn_driver\\|kzsdbg/kzsdbg.cpp\\|341\\] APAL debug break");
}

TEST(TraceGlobal, TheReportersSwitchesAreOn) {
    for (int32_t (*isOn)() : {assertionsEnabled, assertionReportsEnabled, assertionBreaksEnabled, warningsEnabled,
                              warningReportsEnabled, debugPrintEnabled})
        EXPECT_EQ(isOn(), 1);
}
