// Runs a kzvorn-sim request script on a test's kernel and board (the test program links the
// script library): what it printed, and whether every line was understood and sent.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/product.h"
#include "kal/sim/harness.h"
#include "script.h"

namespace tolvanetest {

inline std::string printedBy(kal::sim::Kernel& kernel, board::ProductBlocks& blocks, const std::string& script,
                             bool* good = nullptr) {
    std::FILE* in = fmemopen(const_cast<char*>(script.data()), script.size(), "r");
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    const bool ok = kzvornsim::runScript(kernel, in, out, &blocks);
    std::fclose(in);
    std::fclose(out);
    std::string printed(text, size);
    std::free(text);
    if (good != nullptr) *good = ok;
    return printed;
}

// As printedBy; a line it could not understand or send fails the calling test.
inline std::string printedByEveryLine(kal::sim::Kernel& kernel, board::ProductBlocks& blocks,
                                      const std::string& script) {
    bool good = false;
    std::string printed = printedBy(kernel, blocks, script, &good);
    EXPECT_TRUE(good) << script;
    return printed;
}

}  // namespace tolvanetest
