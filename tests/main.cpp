// The main of every test program. Beside running the tests, it makes an access to a BAR offset
// that no block of the simulated board models fail the test, so a driver register at a wrong
// offset cannot pass against plain memory. The board reports such an access while the driver runs
// (perhaps with allocations failing on purpose), so it is only noted then, and the test fails when
// it ends.
#include <gtest/gtest.h>

#include <atomic>

#include "board/board.h"

namespace {

constexpr unsigned kNoted = 8;
std::atomic<unsigned> count{0};
board::Access noted[kNoted];

void note(const board::Access& access) {
    const unsigned n = count.fetch_add(1);
    if (n < kNoted) noted[n] = access;
}

class FailOnUnmodelledAccess : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { count = 0; }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const unsigned n = count.exchange(0);
        for (unsigned i = 0; i < n && i < kNoted; ++i)
            ADD_FAILURE() << "unmodelled " << (noted[i].direction == board::Direction::Write ? "write" : "read")
                          << " of BAR " << noted[i].bar << " offset 0x" << std::hex << noted[i].offset << std::dec
                          << ", " << noted[i].width << " bytes" << (i + 1 == kNoted && n > kNoted ? " and more" : "");
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    board::setUnmodelledAccessHandler(note);
    // Test ends reach the listeners last appended first: this one before the result printer, so
    // that the test is printed as failed.
    ::testing::UnitTest::GetInstance()->listeners().Append(new FailOnUnmodelledAccess);
    return RUN_ALL_TESTS();
}
