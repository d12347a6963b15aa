// kzvorn-sim's request scripts against the product device.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "level3/registeredNames.h"
#include "commandLine.h"
#include "script.h"
#include "tolvane/fixture.h"
#include "tolvane/scriptRun.h"
#include "tools/stowly/stowlyData.h"

namespace ioctltest {
namespace {

class SimScript : public tolvanetest::Tolvane {
protected:
    // Runs the script; the printed lines, and whether every line was understood and sent.
    std::string run(const std::string& script, bool* good = nullptr) {
        return tolvanetest::printedBy(kernel_, blocks_, script, good);
    }
};

TEST_F(SimScript, RequestsAndTheirResults) {
    plan_.fakeLevels(3, kzvorn_shared::SetupLevel::kHighest, kzvorn_driver::BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    bool good = false;
    EXPECT_EQ(run("level\n"
                  "# the session is opened anew after each reset\n"
                  "reset 23\n"
                  "reset 4   # a comment after the request\n"
                  "level\n"
                  "\n"
                  "cleanup\n"
                  "ioctl 0x00202B00 FFFFFFFF 8\n"
                  "ioctl 0x00202B00 00000000 9\n"
                  "ioctl 0x12345678 - 0\n"
                  "reset 22\n"
                  "level",
                  &good),
              "level: 22, status: 0\n"
              "reset 23: status: -52005\n"
              "reset 4: status: -52010\n"
              "level: 4, status: 0\n"
              "cleanup: status: 0\n"
              "transport: 0\n"
              "output: 04000000FFFFFFFF\n"
              "transport: -51009\n"
              "output: \n"
              "transport: -51256\n"
              "output: \n"
              "reset 22: status: 0\n"
              "level: 22, status: 0\n");
    EXPECT_TRUE(good);
}

// The named-access requests on the board brought up for real to level 3 (and on, to the levels
// built after it).
TEST_F(SimScript, NamedAccess) {
    ASSERT_EQ(add(), 0);
    ASSERT_EQ(tracker().reached, 22);
    board_.log().clear();  // level 14 reset the DMA channels
    bool good = false;
    std::string registerMaps, storageMaps;
    for (const std::string& name : level3names::kRegisterMapNames) registerMaps += "  " + name + "\n";
    for (const std::string& name : level3names::listed(level3names::kNonIsolatedRegisterMapNames))
        registerMaps += "  " + name + "\n";
    for (const std::string& name : level3names::kIsolatedRegisterMapNames) registerMaps += "  " + name + "\n";
    for (const std::string& name : level3names::storedRecordNames()) storageMaps += "  " + name + "\n";
    EXPECT_EQ(run("arm.names\n"
                  "arm.read Quolin_Ver23.3.0f121 0xC0000000\n"
                  "arm.read Quolin 0xC0000000\n"
                  "arm.write QuolinDMAChannel3_Ver23.3.0f121 0x58 1\n"
                  "arm.format QuolinDMAChannel3_Ver23.3.0f121 0x58\n"
                  "arm.format QuolinDMAChannel3_Ver23.3.0f121 0x5C\n"
                  "window.names\n"
                  "# the end of Posc and the start of Header, its checksum\n"
                  "window.get flashWindow 0x8FFC 8\n"
                  "window.get flashWindow_Ver1.0.0d0 0 4\n"
                  "# a write reaches the flash, and a read fetches it back\n"
                  "window.write flashWindow 0xFFF00 A1B2C3D4\n"
                  "window.read flashWindow 0xFFF00 4\n"
                  "storagemap.names\n"
                  "storagemap.raw Header_Ver1.0.0d0 0 0 1 4\n"
                  "storagemap.raw Header_Ver1.0.0d0 4 0 2 4\n"
                  "storagemap.raw Posc_Ver1.0.0d1 0 0 4 1\n"
                  "storagemap.raw Posc_Ver1.0.0d0 0 0 0x10000000000 1\n"
                  "storagemap.checksum Header_Ver1.0.0d0\n"
                  "storagemap.checksum Posc_Ver1.0.0d0\n",
                  &good),
              "arm.names: 41, status: 0\n" + registerMaps +
                  "arm.read Quolin_Ver23.3.0f121 0xC0000000: value: 0xC0107AD0, status: 0\n"
                  "arm.read Quolin 0xC0000000: value: 0x0, status: -240023\n"
                  "arm.write QuolinDMAChannel3_Ver23.3.0f121 0x58 1: status: 0\n"
                  "arm.format QuolinDMAChannel3_Ver23.3.0f121 0x58: fields: 6, status: 0\n"
                  "  type 0 mask 0x1\n"
                  "  type 0 mask 0x2\n"
                  "  type 0 mask 0x4\n"
                  "  type 0 mask 0x8\n"
                  "  type 0 mask 0x1000000\n"
                  "  type 0 mask 0x2000000\n"
                  "arm.format QuolinDMAChannel3_Ver23.3.0f121 0x5C: fields: 0, status: -52002\n"
                  "window.names: 3, status: 0\n"
                  "  flashWindow\n"
                  "  NisoFpgaWindow\n"
                  "  IsoFpgaWindow\n"
                  "window.get flashWindow 0x8FFC 8: status: 0\n"
                  "  bytes: 000000001AD3655A\n"
                  "window.get flashWindow_Ver1.0.0d0 0 4: status: -240022\n"
                  "window.write flashWindow 0xFFF00 A1B2C3D4: status: 0\n"
                  "window.read flashWindow 0xFFF00 4: status: 0\n"
                  "  bytes: A1B2C3D4\n"
                  "storagemap.names: 19, status: 0\n" +
                  storageMaps +
                  "storagemap.raw Header_Ver1.0.0d0 0 0 1 4: status: 0\n"
                  "  bytes: 1AD3655A\n"
                  "storagemap.raw Header_Ver1.0.0d0 4 0 2 4: status: -240015\n"
                  "storagemap.raw Posc_Ver1.0.0d1 0 0 4 1: status: 240000\n"
                  "  bytes: 030A1118\n"
                  "storagemap.raw Posc_Ver1.0.0d0 0 0 0x10000000000 1: status: -240015\n"
                  "storagemap.checksum Header_Ver1.0.0d0: valid: 1, status: 0\n"
                  "storagemap.checksum Posc_Ver1.0.0d0: valid: 0, status: -240044\n");
    EXPECT_TRUE(good);
    EXPECT_EQ(board_.log().writesTo(0x2000 + 3 * 0x200 + 0x58), std::vector<uint64_t>{1}) << "DMA channel 3";
}

// The real bring-up's DMA memory is the link memory of the eight streams' two lists, mapped for the
// device; nothing of the caller's is pinned.
TEST_F(SimScript, OnlyLinkMemoryAfterTheBringUp) {
    ASSERT_EQ(add(), 0);
    const std::string printed = run("kal.dma\n");
    EXPECT_EQ(printed.substr(0, printed.find('\n') + 1),
              "kal.dma: page lists: 16, pinned pages: 0, SG lists: 16, mappings: 16, DMA faults: 0\n");
}

// The register operations on a bridge map's register (0x450 of the bridge core): the shadow alone,
// then the hardware when flushed, forced or dirty.
TEST_F(SimScript, RegisterOperationsReachTheHardwareOnlyWhenTheyMust) {
    ASSERT_EQ(add(), 0);
    const uint64_t scratch = 0x450;
    board_.log().clear();
    bool good = false;
    EXPECT_EQ(run("arm.set Quolin_Ver23.3.0f121 0x80000450 0x1234\n"
                  "arm.get Quolin_Ver23.3.0f121 0x80000450\n",
                  &good),
              "arm.set Quolin_Ver23.3.0f121 0x80000450 0x1234: status: 0\n"
              "arm.get Quolin_Ver23.3.0f121 0x80000450: value: 0x1234, status: 0\n");
    EXPECT_TRUE(good);
    EXPECT_TRUE(board_.log().entries().empty());
    EXPECT_EQ(run("arm.flush Quolin_Ver23.3.0f121 0x80000450 force\n"
                  "arm.write Quolin_Ver23.3.0f121 0x80000450 0x1234\n"
                  "arm.write Quolin_Ver23.3.0f121 0x80000450 0x1234 force\n"
                  "arm.set Quolin_Ver23.3.0f121 0x80000450 0x55\n"
                  "arm.flushmap Quolin_Ver23.3.0f121\n"
                  "arm.flushmap QuolinDMAChannel3_Ver23.3.0f121 force\n"
                  "arm.refresh Quolin_Ver23.3.0f121 0x80000450\n"
                  "arm.refresh Quolin_Ver23.3.0f121 0x80000999\n",
                  &good),
              "arm.flush Quolin_Ver23.3.0f121 0x80000450 force: status: 0\n"
              "arm.write Quolin_Ver23.3.0f121 0x80000450 0x1234: status: 0\n"
              "arm.write Quolin_Ver23.3.0f121 0x80000450 0x1234 force: status: 0\n"
              "arm.set Quolin_Ver23.3.0f121 0x80000450 0x55: status: 0\n"
              "arm.flushmap Quolin_Ver23.3.0f121: status: 0\n"
              "arm.flushmap QuolinDMAChannel3_Ver23.3.0f121 force: status: 0\n"
              "arm.refresh Quolin_Ver23.3.0f121 0x80000450: status: 0\n"
              "arm.refresh Quolin_Ver23.3.0f121 0x80000999: status: -52005\n");
    EXPECT_TRUE(good);
    EXPECT_EQ(board_.log().writesTo(scratch), (std::vector<uint64_t>{0x1234, 0x1234, 0x55}));
    EXPECT_EQ(board_.log().readsOf(scratch), (std::vector<uint64_t>{0x55}));
    EXPECT_EQ(board_.log().entries().size(), 4u);
    EXPECT_EQ(run("arm.flush Quolin_Ver23.3.0f121 0x80000450 forced\n", &good),
              "error: the last word is not \"force\": arm.flush Quolin_Ver23.3.0f121 0x80000450 forced\n");
    EXPECT_FALSE(good);
}

// A reset with a replacement for the non-isolated FPGA's image, read from a file; an image the board
// refuses leaves the device at level 3.
TEST_F(SimScript, ResetWithAReplacementImage) {
    ASSERT_EQ(add(), 0);
    plan_.fake(kzvorn_driver::kStepNisoFirmware, kzvorn_driver::BringUpPlan::kReal);
    struct Case {
        const char* name;
        uint16_t target;
        bool badCrc;
        std::string printed;
    };
    const Case cases[] = {
        {"valid", 0, false,
         "reset 4: status: -52010\n"
         "level: 4, status: 0\n"
         "board.fpga:\n"
         "  non-isolated FPGA: configured, signature 0x0D15EA5E\n"
         "  isolated FPGA: configured, signature 0x7A1C0517\n"
         "  last load: port 2, size 2192012, 64-bit stores 274001, byte writes 4, status reads 9135, "
         "received 2192012, CRC-32 0x"},
        {"bad CRC", 0, true,
         "reset 4: status: 0xBFFA807F\n"
         "level: 3, status: 0\n"
         "board.fpga:\n"
         "  non-isolated FPGA: not configured\n"},
        {"for the isolated FPGA", 1, false,
         "reset 4: status: 0xBFFA807F\n"
         "level: 3, status: 0\n"
         "board.fpga:\n"
         "  non-isolated FPGA: not configured\n"},
    };
    const std::string file = ::testing::TempDir() + "kzvorn-sim-niso.bin";
    for (const Case& c : cases) {
        std::vector<uint8_t> image = stowly::buildFpgaImage(c.target, 0x0D15EA5E, stowly::kNisoFpgaImageSize);
        if (c.badCrc) image[1000] ^= 1;
        std::FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), out), image.size());
        std::fclose(out);
        bool good = false;
        const std::string printed = run("reset 4 niso=" + file + "\nlevel\nboard.fpga\n", &good);
        EXPECT_EQ(printed.substr(0, c.printed.size()), c.printed) << c.name;
        EXPECT_TRUE(good) << c.name;
    }
    std::remove(file.c_str());
    bool good = true;
    EXPECT_EQ(run("reset 4 niso=/nonexistent/image\nreset 4 isolated=x\n", &good),
              "error: cannot read the replacement file: reset 4 niso=/nonexistent/image\n"
              "error: not a replacement or a list: give niso=FILE, iso=FILE, errors=ID,... or package=FILE: reset 4 isolated=x\n");
    EXPECT_FALSE(good);
}

// Each script on its own: what it prints, and whether every line was understood and sent.
TEST_F(SimScript, LinesItCannotSend) {
    ASSERT_EQ(add(), 0);
    const std::string longest(size_t{1} << 20, ' ');
    struct Case {
        std::string script;
        std::string printed;
        bool good;
    };
    const Case cases[] = {
        {"level 3", "error: level takes no arguments: level 3\n", false},
        {"cleanup now # a comment", "error: cleanup takes no arguments: cleanup now\n", false},
        {"arm.names all", "error: arm.names takes no arguments: arm.names all\n", false},
        {"reset", "error: reset takes 1 to 5 arguments (N [niso=FILE] [iso=FILE] [errors=ID,...] [package=FILE]): reset\n", false},
        {"reset 4 niso=a iso=b errors=1 errors=2 package=c",
         "error: reset takes 1 to 5 arguments (N [niso=FILE] [iso=FILE] [errors=ID,...] [package=FILE]): "
         "reset 4 niso=a iso=b errors=1 errors=2 package=c\n",
         false},
        {"reset 4 errors=1,", "error: the errors are not 64-bit numbers apart by commas: reset 4 errors=1,\n", false},
        {"reset 4 errors=", "error: the errors are not 64-bit numbers apart by commas: reset 4 errors=\n", false},
        {"cooling.set", "error: cooling.set takes 1 argument (MODE): cooling.set\n", false},
        {"cooling.override x", "error: the mode is not a 32-bit number: cooling.override x\n", false},
        {"arm.flushmap", "error: arm.flushmap takes 1 or 2 arguments (MAP [force]): arm.flushmap\n", false},
        {"arm.write M 1 2 force now",
         "error: arm.write takes 3 or 4 arguments (MAP FIELD-ID VALUE [force]): arm.write M 1 2 force now\n", false},
        {"kal.dma all", "error: kal.dma takes no arguments: kal.dma all\n", false},
        {"board.fpga now", "error: unknown request: board.fpga now\n", false},
        {"arm.read Quolin", "error: arm.read takes 2 arguments (MAP FIELD-ID): arm.read Quolin\n", false},
        {"storagemap.raw Posc_Ver1.0.0d0 0 0 4",
         "error: storagemap.raw takes 5 arguments (NAME FIELD-ID FIRST COUNT ELEMENT-SIZE): "
         "storagemap.raw Posc_Ver1.0.0d0 0 0 4\n",
         false},
        {"fly", "error: unknown request: fly\n", false},
        // Numbers are decimal, or hexadecimal after 0x; nothing else.
        {"reset -1", "error: the level is not a 32-bit number: reset -1\n", false},
        {"reset +1", "error: the level is not a 32-bit number: reset +1\n", false},
        {"reset 0x100000000", "error: the level is not a 32-bit number: reset 0x100000000\n", false},
        {"reset 0x", "error: the level is not a 32-bit number: reset 0x\n", false},
        {"reset 1e3", "error: the level is not a 32-bit number: reset 1e3\n", false},
        {"reset 0b1", "error: the level is not a 32-bit number: reset 0b1\n", false},
        {"ioctl 0x00202B00 00000000 08", "transport: 0\noutput: 1600000000000000\n", true},
        {"ioctl 0x00202B00 00000000 010", "transport: -51009\noutput: \n", true},
        {"ioctl 0x00202B00 0 8", "error: the input is not hexadecimal bytes: ioctl 0x00202B00 0 8\n", false},
        {"ioctl 0x00202B00 zz 8", "error: the input is not hexadecimal bytes: ioctl 0x00202B00 zz 8\n", false},
        {"ioctl 0x00202B00 - 70000", "error: the output size is too large: ioctl 0x00202B00 - 70000\n", false},
        {"arm.read Quolin_Ver23.3.0f121 0x100000000",
         "error: the field identifier is not a 32-bit number: arm.read Quolin_Ver23.3.0f121 0x100000000\n", false},
        {"arm.write Quolin_Ver23.3.0f121 0 -1",
         "error: the value is not a 64-bit number: arm.write Quolin_Ver23.3.0f121 0 -1\n", false},
        {"window.get flashWindow x 4",
         "error: the offset or the count is not a 64-bit number: window.get flashWindow x 4\n", false},
        {"storagemap.raw Posc_Ver1.0.0d0 0 0 4 y",
         "error: the first element, count or element size is not a 64-bit number: "
         "storagemap.raw Posc_Ver1.0.0d0 0 0 4 y\n",
         false},
        // A line holds at most 1 MiB; a longer one stops the script there, so an endless line
        // cannot grow without bound.
        {longest + "\nlevel\n", "level: 22, status: 0\n", true},
        {longest + " \nlevel\n", "error: line 1 is longer than 1048576 bytes\n", false},
        {"level\n\n" + longest + "x", "level: 22, status: 0\nerror: line 3 is longer than 1048576 bytes\n", false},
    };
    for (const Case& c : cases) {
        bool good = !c.good;
        EXPECT_EQ(run(c.script, &good), c.printed) << c.script.substr(0, 80);
        EXPECT_EQ(good, c.good) << c.script.substr(0, 80);
    }
}

// A script that cannot be read stops kzvorn-sim before the driver loads.
TEST(SimCommandLine, ScriptsThatCannotBeRead) {
    const std::string directory = ::testing::TempDir();
    const std::string missing = directory + "/no-such-script.txt";
    const std::string file = directory + "/kzvorn-sim-script.txt";
    std::FILE* written = std::fopen(file.c_str(), "w");
    ASSERT_NE(written, nullptr);
    std::fputs("level\n", written);
    std::fclose(written);
    struct Case {
        std::string name;
        bool opens;
        std::string said;
    };
    const Case cases[] = {
        {missing, false, "kzvorn-sim: cannot read " + missing + ": No such file or directory\n"},
        {directory, false, "kzvorn-sim: " + directory + " is a directory, not a script\n"},
        {file, true, ""},
    };
    for (const Case& c : cases) {
        char* text = nullptr;
        size_t size = 0;
        std::FILE* err = open_memstream(&text, &size);
        std::FILE* script = kzvornsim::openScript(c.name.c_str(), err);
        std::fclose(err);
        EXPECT_EQ(script != nullptr, c.opens) << c.name;
        EXPECT_EQ(std::string(text, size), c.said) << c.name;
        std::free(text);
        if (script != nullptr) std::fclose(script);
    }
    std::remove(file.c_str());
}

// --help lists every request a script can hold with its arguments.
TEST(SimCommandLine, HelpListsTheRequests) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    kzvornsim::printUsage(out, true);
    std::fclose(out);
    const std::string help(text, size);
    std::free(text);
    EXPECT_EQ(help.rfind("usage: kzvorn-sim [--debug] [--help] [--msi] [--fault NAME[=VALUE]]... ", 0), 0u);
    for (const char* request :
         {"  level\n", "  reset N [niso=FILE] [iso=FILE] [errors=ID,...] [package=FILE]\n", "  cooling.override MODE\n", "  ioctl CODE INPUT-HEX OUTPUT-SIZE\n", "  arm.names\n",
          "  arm.write MAP FIELD-ID VALUE [force]\n", "  arm.flushmap MAP [force]\n",
          "  storagemap.raw NAME FIELD-ID FIRST COUNT ELEMENT-SIZE\n", "  storagemap.checksum NAME\n", "  kal.dma\n",
          "  board.fpga\n", "  board.pump STREAM BYTES\n", "  window.write NAME OFFSET HEX\n", "  --msi",
          "  --fault NAME[=VALUE]", "  fpga-ready-delay=US", "  --kal-fail NAME[:NTH[:COUNT]]", "  --kal-fail-allocation N",
          "  --sgl-split page|runs|random", "  --fake-from N[-M]", "  --raise BLOCK:ID", "  sinking-reading=N"})
        EXPECT_NE(help.find(request), std::string::npos) << request;
}

}  // namespace
}  // namespace ioctltest

namespace ioctltest {
namespace {

// The error requests and board commands: raised sources show on the board, and the record's
// request answers its gate's status below the level that builds the controller.
TEST_F(SimScript, ErrorsOnTheBoardAndTheRecordRequest) {
    plan_.fakeLevels(3, kzvorn_shared::SetupLevel::kHighest, kzvorn_driver::BringUpPlan::kSucceed);
    ASSERT_EQ(add(), 0);
    bool good = false;
    EXPECT_EQ(run("board.raise ch2 0x904\n"
                  "board.raise niso 0x227\n"
                  "board.drop ch2 0x904\n"
                  "board.errors\n"
                  "hw.errors\n"
                  "board.raise ch4 1\n",
                  &good),
              "board.raise: ch2 0x904\n"
              "board.raise: niso 0x227\n"
              "board.drop: ch2 0x904\n"
              "board.errors:\n"
              "  niso: manager disabled, latched id 0x0, error mux latched: 0x227\n"
              "  iso: manager disabled, latched id 0x0, error mux latched: none\n"
              "  ch0: manager disabled, latched id 0x0, error mux latched: none\n"
              "  ch1: manager disabled, latched id 0x0, error mux latched: none\n"
              "  ch2: manager disabled, latched id 0x0, error mux latched: 0x904\n"
              "  ch3: manager disabled, latched id 0x0, error mux latched: none\n"
              "hw.errors: status: -52002\n"
              "error: unknown request: board.raise ch4 1\n");
    EXPECT_FALSE(good);
}

}  // namespace
}  // namespace ioctltest
