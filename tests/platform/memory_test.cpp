#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "kal/sim/faults.h"
#include "kzkal/memory.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/runtime.h"
#include "kzapal/protons/statusCodes.h"
#include "kztypes/fixedPoint128.h"

using nKZAPALS100::tStatus;

TEST(Allocation, StatusReportingNewRecordsOutOfMemoryUnderInjectedFailure) {
    const int64_t live = kal::sim::liveAllocations();
    tStatus status;
    {
        kal::sim::FailAllocations fail(1);
        int* p = new (status) int(5);
        EXPECT_EQ(p, nullptr);
        EXPECT_TRUE(fail.triggered());
    }
    EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
    EXPECT_EQ(kal::sim::liveAllocations(), live);
}

TEST(Allocation, ErrorInStatusSkipsTheAllocator) {
    tStatus status;
    KZ_SET_CODE(status, -1);
    kal::sim::FailAllocations fail(1);
    EXPECT_EQ(new (status) int(1), nullptr);
    EXPECT_FALSE(fail.triggered());  // the allocator was never reached
    EXPECT_EQ(status.code, -1);
}

TEST(Allocation, WarningAllocatesAndHeaderHoldsSizeAndFlag) {
    tStatus status;
    KZ_SET_CODE(status, 3);
    auto* block = static_cast<uint8_t*>(::operator new(40, status, true));
    ASSERT_NE(block, nullptr);
    uint64_t header[2];
    std::memcpy(header, block - 16, sizeof header);
    EXPECT_EQ(header[0], 56u);
    EXPECT_EQ(header[1], 1u);
    ::operator delete(block, status, true);
    EXPECT_EQ(status.code, 3);
}

TEST(Allocation, SizeOverflowRecordsOutOfMemoryEvenWithAnError) {
    tStatus status;
    EXPECT_EQ(::operator new(SIZE_MAX - 15, status), nullptr);
    EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
    tStatus warned;
    KZ_SET_CODE(warned, 9);
    EXPECT_EQ(::operator new(SIZE_MAX, warned), nullptr);
    EXPECT_EQ(warned.code, nKZAPALS100::kStatusMemoryFull);
    ::operator delete(static_cast<void*>(nullptr));  // deleting null does nothing
}

// The tagged forms give the plain header over the kernel layer's allocator, and the matching
// deletes release the block: the driver's own, and the C++ library's, which the stand-in sends
// through the driver's plain forms. A failure injected on this thread reaches the driver's as a
// null result; the library's go through plain forms declared never to return null, so none is
// injected there.
template <class tTag>
void expectPlainTaggedForms(const tTag& tag, bool injectFailure) {
    const int64_t live = kal::sim::liveAllocations();
    for (bool array : {false, true}) {
        auto* block = static_cast<uint8_t*>(array ? ::operator new[](24, tag) : ::operator new(24, tag));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(kal::sim::liveAllocations(), live + 1);
        uint64_t header[2];
        std::memcpy(header, block - 16, sizeof header);
        EXPECT_EQ(header[0], 40u);
        EXPECT_EQ(header[1], 1u);
        if (array)
            ::operator delete[](block, tag);
        else
            ::operator delete(block, tag);
        EXPECT_EQ(kal::sim::liveAllocations(), live);

        if (!injectFailure) continue;
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(array ? ::operator new[](8, tag) : ::operator new(8, tag), nullptr);
        EXPECT_TRUE(fail.triggered());
    }
    ::operator delete(nullptr, tag);
    ::operator delete[](nullptr, tag);
}

TEST(Allocation, TaggedFormsAllocateAsThePlainOnes) {
    expectPlainTaggedForms(kzvorn_driver::nKZAPAL000::kNullOnFailure, true);
    expectPlainTaggedForms(std::nothrow, false);
}

// A request the machine cannot satisfy reaches the stand-in as null instead of stopping in the
// sanitizer's allocator, as it would without one.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char* __tsan_default_options() { return "allocator_may_return_null=1"; }

// The driver's operator new serves the C++ library too, which must never be handed null: real
// exhaustion stops the process with a message; only injected failures give null.
TEST(AllocationDeathTest, RealExhaustionStopsTheProcessWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* message = "out of memory: [0-9]+ bytes could not be allocated \\(not an injected failure\\)";
    EXPECT_DEATH(static_cast<void>(::operator new(SIZE_MAX / 2)), message);
    EXPECT_DEATH(static_cast<void>(nKZKAL100_malloc(SIZE_MAX / 2)), message);
    kal::sim::FailAllocations fail(1);
    EXPECT_EQ(nKZKAL100_malloc(16), nullptr);
}

TEST(RuntimeText, NumberToText) {
    struct Case {
        const char* expected;
        uint64_t value;
        uint32_t base;
        int width;  // -1: no width; -2: with base prefix
    };
    const Case cases[] = {
        {"0x0", 0, 16, -2},   {"255", 255, 10, -2}, {"8#10", 8, 8, -2}, {"2#101", 5, 2, -2},
        {"2345", 0x12345, 16, 4}, {"0007", 7, 10, 4}, {"0", 0, 10, -1},  {"FF", 255, 16, -1},
    };
    for (const Case& c : cases) {
        char buffer[80];
        char* end = c.width == -2   ? unsignedToTextWithBase(buffer, c.value, c.base)
                    : c.width == -1 ? unsignedToText(buffer, c.value, c.base)
                                    : unsignedToTextWidth(buffer, c.value, static_cast<uint32_t>(c.width), c.base);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_EQ(*end, '\0');
        EXPECT_EQ(end - buffer, static_cast<long>(std::strlen(c.expected)));
    }
}

TEST(RuntimeText, TextToNumber) {
    using kzvorn_driver::nKZAPAL000::parseUnsignedInBase;
    EXPECT_EQ(parseUnsignedInBase(" 0x1F", 16), 31u);
    EXPECT_EQ(parseUnsignedInBase("0x10", 10), 10u);
    EXPECT_EQ(parseUnsignedInBase("12ab", 10), 12u);
    EXPECT_EQ(parseUnsignedInBase(nullptr, 10), 0u);
    EXPECT_EQ(parseNumber("\t 0Xff"), 255);
    EXPECT_EQ(parseNumber("2#101"), 5);
    EXPECT_EQ(parseNumber("16#fF"), 255);
    EXPECT_EQ(parseNumber("42abc"), 42);
}

TEST(RuntimeText, CopyTailAndArguments) {
    char out[16];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(copyTail(out, "abcdef", 3), out + 3);
    EXPECT_STREQ(out, "def");
    std::memset(out, 'x', sizeof out);
    copyTail(out, "ab", 4);
    EXPECT_EQ(std::memcmp(out, "ab\0\0\0", 5), 0);

    char text[] = "  one \"two three\"\tfour";
    ASSERT_EQ(countArguments(text), 3u);
    char* arguments[3] = {};
    splitArguments(3, text, arguments);
    EXPECT_STREQ(arguments[0], "one");
    EXPECT_STREQ(arguments[1], "two three");
    EXPECT_STREQ(arguments[2], "four");
    EXPECT_EQ(countArguments(nullptr), 0u);
}

TEST(FixedPoint, RightShift) {
    using Fixed = kztypes::FixedPoint128<>;
    Fixed minusOneAndHalf{0x8000000000000000ull, ~0ull};  // -1.5
    Fixed value = minusOneAndHalf;
    Fixed::RightShift(value, 1, true);
    EXPECT_EQ(value.high, ~0ull);  // -0.75
    EXPECT_EQ(value.low, 0xC000000000000000ull);
    value = minusOneAndHalf;
    Fixed::RightShift(value, 1, false);
    EXPECT_EQ(value.high, 0x7FFFFFFFFFFFFFFFull);
    value = Fixed{0x1234, 0x5678};
    Fixed::RightShift(value, -64, true);
    EXPECT_EQ(value.high, 0x1234u);
    EXPECT_EQ(value.low, 0u);
    value = Fixed{1, 0};
    Fixed::RightShift(value, -127, false);
    EXPECT_EQ(value.high, 0x8000000000000000ull);
    value = minusOneAndHalf;
    Fixed::RightShift(value, 200, true);
    EXPECT_EQ(value.low, ~0ull);
    EXPECT_EQ(value.high, ~0ull);
    Fixed::RightShift(value, -128, true);
    EXPECT_EQ(value.low | value.high, 0u);
    value = Fixed{0, 0x100};
    Fixed::RightShift(value, 72, false);
    EXPECT_EQ(value.low, 1u);
    EXPECT_EQ(value.high, 0u);
}
