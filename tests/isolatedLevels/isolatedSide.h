// The isolated levels' tests: the product board added through the kernel, kzvorn-sim request
// scripts run on the test's kernel, the isolation link's log, and resets that carry a replacement
// image or package in their record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/isolatedSequencers.h"
#include "tolvane/fixture.h"
#include "tolvane/scriptRun.h"
#include "tools/stowly/stowlyData.h"

namespace isolatedtest {

// What the replacement isolated images report once configured.
constexpr uint32_t kOtherIsoSignature = 0x15015006;

// The isolated word address of a channel block's word.
inline uint32_t channelWord(unsigned channel, uint32_t offset) {
    return board::IsolatedSequencers::kChannelBlocks + channel * board::IsolatedSequencers::kChannelBlockWords + offset;
}

class IsolatedSide : public tolvanetest::Tolvane {
protected:
    std::string run(const std::string& script) { return tolvanetest::printedByEveryLine(kernel_, blocks_, script); }
    board::IsolatedLink& link() { return blocks_.nonIsolatedFpga.isolatedLink(); }
    // `reset TARGET KIND=FILE` with the bytes in a file for the time of the request.
    std::string resetWithFile(unsigned target, const std::string& kind, const std::vector<uint8_t>& bytes) {
        const std::string file = ::testing::TempDir() + "kzvorn-" + kind + ".bin";
        std::FILE* out = std::fopen(file.c_str(), "wb");
        EXPECT_NE(out, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        const std::string printed = run("reset " + std::to_string(target) + " " + kind + "=" + file + "\n");
        std::remove(file.c_str());
        return printed;
    }
    // A reset with the built-in subroutine package less the subroutine `id`.
    std::string resetWithoutSubroutine(unsigned target, uint32_t id) {
        stowly::SubroutinePackageData package = stowly::builtInSubroutinePackage();
        const auto at = std::find(package.ids.begin(), package.ids.end(), id);
        EXPECT_NE(at, package.ids.end()) << std::hex << id;
        if (at == package.ids.end()) return {};
        package.startAddresses.erase(package.startAddresses.begin() + (at - package.ids.begin()));
        package.ids.erase(at);
        return resetWithFile(target, "package", stowly::packageFile(package));
    }
    // A reset with a replacement isolated image of `size` bytes.
    std::string resetWithIsoImage(unsigned target, size_t size) {
        return resetWithFile(target, "iso", stowly::buildFpgaImage(1, kOtherIsoSignature, size));
    }
};

}  // namespace isolatedtest
