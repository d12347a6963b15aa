#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"

using nKZAPALS100::tStatus;
using nKZAPALS100::tStatusExtended;

TEST(Status, KernelCodeTranslationTable) {
    struct Row {
        int32_t kernel;
        int64_t platform;
    };
    const Row rows[] = {
        {-51000, -52013}, {-51009, -52005}, {-51101, -52006}, {-51104, -52010}, {-51106, -52031},
        {-51150, -52003}, {-51152, -52018}, {-51202, -52008}, {-51256, -52002}, {-51300, -52020},
        {-51352, -52000}, {-51353, -52001}, {-51400, -52007}, {-51401, -52024}, {-51405, -52023},
        {-51409, -52019}, {-51001, -52008}, {-1, -52008},     {12345, -52008},
    };
    for (const Row& row : rows) {
        tStatus status;
        KZ_SET_KERNEL_CODE(status, row.kernel);
        EXPECT_EQ(status.code, row.platform) << "kernel code " << row.kernel;
    }
    tStatus untouched;
    KZ_SET_KERNEL_CODE(untouched, 0);
    EXPECT_EQ(untouched.code, 0);
}

TEST(Status, StoringRule) {
    struct Case {
        int64_t first, second, expected;
        bool secondStored;
    };
    const Case cases[] = {
        {0, 0, 0, false},          // 0 is never stored
        {5, 7, 5, false},          // a second warning is ignored
        {5, -3, -3, true},         // an error replaces a warning
        {-3, -4, -3, false},       // the first error wins
        {-3, 5, -3, false},        // a warning never replaces an error
        {0, KZ_DEVICE_CODE(0xBFFA4303), -1074117885, true},
    };
    for (const Case& c : cases) {
        tStatus status;
        KZ_SET_CODE(status, c.first);
        EXPECT_EQ(KZ_SET_CODE(status, c.second), c.secondStored) << c.first << " then " << c.second;
        EXPECT_EQ(status.code, c.expected);
    }
}

TEST(Status, ExtendedStatusKeepsLocationAndCutsLongPaths) {
    tStatusExtended status;
    const std::string path = std::string(60, 'a') + std::string(60, 'z');  // 120 characters
    ASSERT_TRUE(nKZAPALS100::setCode(status, -52005, "componentXYZ", path.c_str(), 77));
    EXPECT_STREQ(status.component, "component");
    EXPECT_EQ(std::string(status.file), std::string(49, 'a') + ".." + std::string(49, 'z'));
    EXPECT_EQ(status.line, 77u);
    EXPECT_EQ(status.stack[0], 0u);

    tStatusExtended destination;
    tStatus shortSource;
    KZ_SET_CODE(shortSource, -52007);
    ASSERT_TRUE(nKZAPALS100::merge(destination, shortSource));
    EXPECT_EQ(destination.code, -52007);
    EXPECT_STREQ(destination.component, "");
    EXPECT_STREQ(destination.file, "");
    EXPECT_EQ(destination.line, 0u);
}

TEST(Status, MergeCopiesStackWordsUpToTheFirstZero) {
    tStatusExtended source;
    nKZAPALS100::setCode(source, -1, "c", "f", 1);
    source.stack[0] = 0x11;
    source.stack[1] = 0x22;
    source.stack[2] = 0;
    source.stack[3] = 0x44;
    tStatusExtended destination;
    destination.stack[3] = 0x99;
    ASSERT_TRUE(nKZAPALS100::merge(destination, source));
    EXPECT_EQ(destination.stack[0], 0x11u);
    EXPECT_EQ(destination.stack[1], 0x22u);
    EXPECT_EQ(destination.stack[2], 0u);
    EXPECT_EQ(destination.stack[3], 0x99u);
}

TEST(Status, ToText) {
    char buffer[512];
    tStatus shortStatus;
    KZ_SET_CODE(shortStatus, -52000);
    const int n = nKZAPALS100::toText(shortStatus, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "\ntStatus contents:\n\tcode = -52000\n");
    EXPECT_EQ(n, static_cast<int>(std::strlen(buffer)));

    tStatusExtended extended;
    nKZAPALS100::setCode(extended, -7, "comp", "file.cpp", 12);
    extended.stack[0] = 0xAB;
    extended.stack[1] = 0;
    ASSERT_GT(nKZAPALS100::toText(extended, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer,
                 "\ntStatus contents:\n\tcode = -7\n\tcomponent name = comp\n\tfile name: file.cpp\n"
                 "\tline number = 12\n\tstack trace:\n\t\t0x00000000000000ab\n\t\t0x0000000000000000\n");

    tStatusExtended empty;
    nKZAPALS100::toText(empty, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "\ntStatus contents:\n\tcode = 0\n");
    EXPECT_EQ(nKZAPALS100::toText(extended, buffer, 40), -1);
}

TEST(Status, Clear) {
    tStatusExtended status;
    nKZAPALS100::setCode(status, -3, "c", "f", 9);
    status.clear();
    EXPECT_EQ(status.code, 0);
    EXPECT_STREQ(status.file, "");
    EXPECT_EQ(status.line, 0u);
}
