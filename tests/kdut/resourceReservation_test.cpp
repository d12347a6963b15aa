#include <gtest/gtest.h>

#include "kal/sim/faults.h"
#include "kdut/resourceReservation.h"

using nKZAPALS100::tStatus;

namespace {

constexpr int64_t kAlreadyReserved = KZ_DEVICE_CODE(0xBFFA4319);
constexpr int64_t kNotReserved = KZ_DEVICE_CODE(0xBFFA431A);
constexpr int64_t kInvalidResource = KZ_DEVICE_CODE(0xBFFA4303);

// A session's parts as the device builds them: its cleanup set and its reservation.
struct Session {
    explicit Session(kdut::ResourceReservationManager& manager)
        : cleanup(80, status), reservation(0xBFFA431A, &manager, status) {}
    int64_t reserve(uint64_t mask) {
        tStatus s;
        reservation.reserve(&cleanup, mask, s);
        return s.code;
    }
    int64_t require(uint64_t mask) {
        tStatus s;
        reservation.require(mask, s);
        return s.code;
    }
    void close() {
        tStatus s;
        cleanup.cleanup(s);
        EXPECT_EQ(s.code, 0);
    }
    tStatus status;
    kdut::CleanupOperationComposite cleanup;
    kdut::ResourceReservation reservation;
};

struct Reservations : ::testing::Test {
    tStatus status;
    kdut::ResourceReservationManager manager = kdut::ResourceReservationManager(0xBFFA4319, 0xBFFA431A, 0xBFFA4303, 0xF, status);
    Session a{manager}, b{manager};
};

}  // namespace

TEST_F(Reservations, SessionsShareTheChannelsAndCloseReturnsThem) {
    EXPECT_EQ(a.reserve(0x3), 0);
    EXPECT_EQ(b.reserve(0x2), kAlreadyReserved);
    EXPECT_EQ(b.reservation.getHeldMask(), 0u) << "a failed reservation holds nothing";
    EXPECT_EQ(b.cleanup.size(), 0u) << "and registers nothing";
    EXPECT_EQ(a.require(0x1), 0);
    EXPECT_EQ(a.require(0x4), kNotReserved);
    EXPECT_EQ(b.require(0x1), kNotReserved);

    a.close();
    EXPECT_EQ(manager.getReservedMask(), 0u);
    EXPECT_EQ(b.reserve(0x2), 0);
    EXPECT_EQ(a.require(0x1), kNotReserved);
}

TEST_F(Reservations, InvalidAndEmptyMasks) {
    EXPECT_EQ(a.reserve(0x10), kInvalidResource);
    EXPECT_EQ(a.reserve(0x11), kInvalidResource) << "a valid bit beside an invalid one changes nothing";
    EXPECT_EQ(manager.getReservedMask(), 0u);
    EXPECT_EQ(a.cleanup.size(), 0u);
    EXPECT_EQ(a.reserve(0), 0);
    EXPECT_EQ(a.reservation.getHeldMask(), 0u);
    EXPECT_TRUE(a.cleanup.contains(&a.reservation)) << "mask 0 still registers the cleanup";
}

// A second reservation keeps both masks, its cleanup is registered once and returns every bit.
TEST_F(Reservations, ASecondReservationAddsToTheFirst) {
    EXPECT_EQ(a.reserve(0x1), 0);
    EXPECT_EQ(a.reserve(0x4), 0);
    EXPECT_EQ(a.reserve(0x1), kAlreadyReserved) << "a bit the session already holds conflicts";
    EXPECT_EQ(a.reservation.getHeldMask(), 0x5u);
    EXPECT_EQ(a.cleanup.size(), 1u);
    EXPECT_EQ(a.require(0x5), 0);
    a.close();
    EXPECT_EQ(manager.getReservedMask(), 0u);
    EXPECT_EQ(b.reserve(0xF), 0);
}

TEST_F(Reservations, ReleaseReturnsTheBitsAndTheCleanupOperation) {
    EXPECT_EQ(a.reserve(0x6), 0);
    tStatus s;
    a.reservation.release(&a.cleanup, s);
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(manager.getReservedMask(), 0u);
    EXPECT_FALSE(a.cleanup.contains(&a.reservation));
    a.reservation.release(&a.cleanup, s);
    EXPECT_EQ(s.code, -52006) << "its cleanup operation is no longer registered";

    tStatus m;
    manager.release(0x1, m);
    EXPECT_EQ(m.code, kNotReserved);
}

TEST_F(Reservations, ACleanupOperationThatCannotBeRegisteredGivesTheBitsBack) {
    tStatus s;
    kdut::CleanupOperationComposite full(0, s);
    {
        kal::sim::FailAllocations fail(1);
        a.reservation.reserve(&full, 0x3, s);
    }
    EXPECT_EQ(s.code, -52000);
    EXPECT_EQ(manager.getReservedMask(), 0u);
    EXPECT_EQ(a.reservation.getHeldMask(), 0u);
}
