// kzvorn-sim's request scripts against the product device.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "script.h"
#include "tolvane/fixture.h"

namespace ioctltest {
namespace {

class SimScript : public tolvanetest::Tolvane {
protected:
    // Runs the script; the printed lines, and whether every line was understood and sent.
    std::string run(const std::string& script, bool* good = nullptr) {
        std::FILE* in = fmemopen(const_cast<char*>(script.data()), script.size(), "r");
        char* text = nullptr;
        size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        const bool ok = kzvornsim::runScript(kernel_, in, out);
        std::fclose(in);
        std::fclose(out);
        std::string printed(text, size);
        std::free(text);
        if (good != nullptr) *good = ok;
        return printed;
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

TEST_F(SimScript, LinesItCannotSend) {
    ASSERT_EQ(add(), 0);
    bool good = true;
    EXPECT_EQ(run("level 3\nreset\nreset -1\nreset 0x100000000\nioctl 0x00202B00 0 8\n"
                  "ioctl 0x00202B00 zz 8\nioctl 0x00202B00 - 70000\nfly\n",
                  &good),
              "error: unknown request: level 3\n"
              "error: unknown request: reset\n"
              "error: the level is not a 32-bit number: reset -1\n"
              "error: the level is not a 32-bit number: reset 0x100000000\n"
              "error: the input is not hexadecimal bytes: ioctl 0x00202B00 0 8\n"
              "error: the input is not hexadecimal bytes: ioctl 0x00202B00 zz 8\n"
              "error: the output size is too large: ioctl 0x00202B00 - 70000\n"
              "error: unknown request: fly\n");
    EXPECT_FALSE(good);
}

}  // namespace
}  // namespace ioctltest
