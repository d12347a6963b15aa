#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board/board.h"
#include "board/boundedLog.h"
#include "board/plainMemory.h"

namespace {

using boardtest::PlainMemoryAllowed;

// A status register whose read counts up and whose write stores the inverse: enough to see
// that reads and writes reach the region and what lands in the BAR's memory.
class CountingRegion : public board::Region {
public:
    uint64_t read(uint64_t offset, unsigned width) override { return ++reads + offset; }
    void write(uint64_t offset, unsigned width, uint64_t value) override { setMemory(offset, width, ~value); }
    uint64_t reads = 0;
};

TEST(Board, PlainMemoryWhereNoRegionIsMapped) {
    PlainMemoryAllowed plain;
    board::Board b;
    b.write(0, 0x100, 4, 0x12345678);
    EXPECT_EQ(b.read(0, 0x100, 4), 0x12345678u);
    EXPECT_EQ(b.read(0, 0x101, 1), 0x56u);
    EXPECT_EQ(b.read(0, 0x102, 2), 0x1234u);
    b.write(0, 0x200, 8, 0x1122334455667788ull);
    EXPECT_EQ(b.read(0, 0x204, 4), 0x11223344u);
    // The BAR's memory is the store itself, little-endian.
    EXPECT_EQ(b.bar(0).memory()[0x100], 0x78);
}

TEST(Board, RegionsReceiveOffsetsRelativeToTheirStartAndKeepMemoryCurrent) {
    PlainMemoryAllowed plain;
    board::Board b;
    auto& region = b.addRegion<CountingRegion>(0, 0x4000, 0x100);
    EXPECT_EQ(b.read(0, 0x4010, 4), 0x11u);
    EXPECT_EQ(b.read(0, 0x4010, 4), 0x12u);
    EXPECT_EQ(region.reads, 2u);
    EXPECT_EQ(b.bar(0).load(0x4010, 4), 0x12u);  // last value read
    b.write(0, 0x4020, 2, 0x00FF);
    EXPECT_EQ(b.bar(0).load(0x4020, 2), 0xFF00u);
    // Just outside the region is plain memory again.
    b.write(0, 0x4100, 4, 7);
    EXPECT_EQ(b.read(0, 0x4100, 4), 7u);
    EXPECT_EQ(region.reads, 2u);
}

TEST(Board, AccessLogRecordsEveryAccessInOrder) {
    PlainMemoryAllowed plain;
    board::Board b;
    b.write(0, 0xC0, 4, 0x400C);
    b.write(0, 0xE0, 4, 0x1000);
    b.read(0, 0xC0, 4);
    b.write(0, 0xC0, 4, 0x408C);
    b.configRead(0x06, 2);
    EXPECT_EQ(b.log().writesTo(0xC0), (std::vector<uint64_t>{0x400C, 0x408C}));
    EXPECT_EQ(b.log().countReads(0xC0), 1u);
    EXPECT_EQ(b.log().countReads(0x06, board::kConfigSpace), 1u);
    auto entries = b.log().entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1].offset, 0xE0u);
    EXPECT_EQ(entries[1].width, 4u);
    EXPECT_EQ(entries[1].direction, board::Direction::Write);
    b.log().clear();
    b.log().setEnabled(false);
    b.write(0, 0xC0, 4, 1);
    EXPECT_TRUE(b.log().entries().empty());
}

// A long run keeps only the latest accesses, in order, and still answers queries over them.
TEST(Board, AccessLogKeepsTheLatestAccesses) {
    board::AccessLog log;
    const uint64_t total = board::AccessLog::kCapacity + 3;
    for (uint64_t i = 0; i < total; ++i) log.record({0, i % 2 == 0 ? 0x10u : 0x20u, 4, i, board::Direction::Write});
    const auto entries = log.entries();
    ASSERT_EQ(entries.size(), board::AccessLog::kCapacity);
    EXPECT_EQ(entries.front().value, 3u);
    EXPECT_EQ(entries.back().value, total - 1);
    const auto writes = log.writesTo(0x20);
    ASSERT_EQ(writes.size(), board::AccessLog::kCapacity / 2);
    EXPECT_EQ(writes.front(), 3u);
    EXPECT_EQ(writes.back(), total - 2);
    log.clear();
    log.record({0, 0x10, 4, 7, board::Direction::Write});
    EXPECT_EQ(log.writesTo(0x10), std::vector<uint64_t>{7});
}

// Entries across several of the log's chunks, past its capacity and round again: always the
// latest, oldest first, whichever way they are read; entries that own memory are released once.
TEST(BoundedLog, KeepsTheLatestEntriesAcrossItsChunks) {
    constexpr size_t kCapacity = 20000;  // three chunks of 64-bit entries, the last one in part
    board::BoundedLog<uint64_t> log(kCapacity);
    for (uint64_t i = 0; i < 9000; ++i) log.push(i);
    EXPECT_EQ(log.size(), 9000u);
    EXPECT_EQ(log.newest(), 8999u);
    for (uint64_t i = 9000; i < 2 * kCapacity + 7; ++i) log.push(i);
    ASSERT_EQ(log.size(), kCapacity);
    const std::vector<uint64_t> entries = log.entries();
    for (size_t i = 0; i < kCapacity; ++i) ASSERT_EQ(entries[i], kCapacity + 7 + i) << i;
    EXPECT_EQ(log.fromOldest(0), kCapacity + 7);
    EXPECT_EQ(log.fromOldest(kCapacity - 1), 2 * kCapacity + 6);
    EXPECT_EQ(log.newest(), 2 * kCapacity + 6);
    log.clear();
    EXPECT_TRUE(log.empty());
    log.push(5);
    EXPECT_EQ(log.entries(), std::vector<uint64_t>{5});

    board::BoundedLog<std::string> texts(3);
    for (int i = 0; i < 5; ++i) texts.push(std::string(100, char('a' + i)));
    board::BoundedLog<std::string> moved(std::move(texts));
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(moved.entries(), (std::vector<std::string>{std::string(100, 'c'), std::string(100, 'd'),
                                                         std::string(100, 'e')}));
}

// The board's lock: taken again by its holder, refused to another thread while held, and a
// counter two threads raise under it ends exact.
TEST(BoardLock, RecursiveForItsHolderAndExclusiveBetweenThreads) {
    board::BoardLock lock;
    lock.lock();
    EXPECT_TRUE(lock.try_lock());
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = lock.try_lock(); }).join();
    EXPECT_FALSE(otherGotIt);
    lock.unlock();
    lock.unlock();
    std::thread([&] {
        otherGotIt = lock.try_lock();
        if (otherGotIt) lock.unlock();
    }).join();
    EXPECT_TRUE(otherGotIt);

    uint64_t counter = 0;
    const auto raise = [&] {
        for (int i = 0; i < 100000; ++i) {
            std::lock_guard<board::BoardLock> outer(lock);
            std::lock_guard<board::BoardLock> inner(lock);
            ++counter;
        }
    };
    std::thread first(raise), second(raise);
    first.join();
    second.join();
    EXPECT_EQ(counter, 200000u);
}

// An access no region models is marked in the log and handed to the handler; one a region
// models is not.
std::vector<board::Access> reported;
void report(const board::Access& access) { reported.push_back(access); }

TEST(Board, UnmodelledAccessesAreMarkedAndReported) {
    const board::UnmodelledAccessHandler previous = board::setUnmodelledAccessHandler(report);
    reported.clear();
    board::Board b;
    b.addRegion<CountingRegion>(0, 0x4000, 0x100);
    b.read(0, 0x4010, 4);
    b.write(0, 0x40FC, 4, 1);
    b.write(0, 0x4100, 2, 7);
    b.read(0, 0x3FFC, 4);
    board::setUnmodelledAccessHandler(previous);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0].offset, 0x4100u);
    EXPECT_EQ(reported[0].direction, board::Direction::Write);
    EXPECT_EQ(reported[1].offset, 0x3FFCu);
    std::vector<bool> marks;
    for (const board::Access& a : b.log().entries()) marks.push_back(a.unmodelled);
    EXPECT_EQ(marks, (std::vector<bool>{false, false, true, true}));
}

TEST(Board, ConfigurationSpaceKeepsItsReadOnlyHeader) {
    board::Identity id;
    id.vendorId = 0x1A2B;
    id.deviceId = 0x7C01;
    id.subsystemVendorId = 0x1A2B;
    id.subsystemId = 0x7E42;
    id.revision = 3;
    board::Board b(id);
    EXPECT_EQ(b.configRead(0x00, 4), 0x7C011A2Bu);
    EXPECT_EQ(b.configRead(0x2C, 4), 0x7E421A2Bu);
    EXPECT_EQ(b.configRead(0x08, 1), 3u);
    b.configWrite(0x00, 2, 0x5A5A);
    b.configWrite(0x04, 2, 0x0006);
    EXPECT_EQ(b.configRead(0x00, 2), 0x1A2Bu);
    EXPECT_EQ(b.configRead(0x04, 2), 0x0006u);
    EXPECT_EQ(b.log().writesTo(0x00, board::kConfigSpace), (std::vector<uint64_t>{0x5A5A}));
}

TEST(BoardDeath, AccessesOutsideTheBoardAbort) {
    board::Board b({}, {0x1000});
    EXPECT_DEATH(b.read(0, 0xFFE, 4), "outside the BAR");
    EXPECT_DEATH(b.write(1, 0, 4, 0), "no such BAR");
    EXPECT_DEATH(b.addRegion<CountingRegion>(0, 0x800, 0x1000), "outside the BAR");
    b.addRegion<CountingRegion>(0, 0x100, 0x100);
    EXPECT_DEATH(b.addRegion<CountingRegion>(0, 0x1F0, 0x20), "overlapping");
}

}  // namespace
