// The non-isolated FPGA map and its sub-maps on the board through the kernel layer: construction,
// the walks, shared offsets, typed accessors, strobes, formats and windows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fixture.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"

namespace {

using armtest::Access;
using armtest::R;
using armtest::W;
using kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using nKZAPALS100::tStatus;
namespace niso = kzvorn_regmaps::nTolvaneNisoFpgaRegMap;

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kOutside = nKZAPALS100::kStatusResourceNotFound;
constexpr int64_t kNoMemory = nKZAPALS100::kStatusMemoryFull;

// Offsets of the registers of a table the walks visit, in member order.
std::vector<uint32_t> walked(const std::vector<parts::Register>& part, uint32_t base, bool writable) {
    std::vector<uint32_t> out;
    for (const parts::Register& r : part)
        if (writable ? r.access != parts::RO : r.access != parts::WO) out.push_back(base + r.offset);
    return out;
}

// The whole map's walk: its own registers, measure units 0 to 3, then the two power monitors.
std::vector<uint32_t> wholeWalk(bool writable) {
    std::vector<uint32_t> out = walked(parts::kNisoFpga, 0, writable);
    for (uint32_t unit = 0; unit < 4; ++unit) {
        const std::vector<uint32_t> u = walked(parts::kMeasureUnit, 0x400 + 0x60 * unit, writable);
        out.insert(out.end(), u.begin(), u.end());
    }
    for (uint32_t window : {0x580u, 0x5A0u}) {
        const std::vector<uint32_t> w = walked(parts::kPowerMonitor, window, writable);
        out.insert(out.end(), w.begin(), w.end());
    }
    return out;
}

std::vector<uint32_t> addresses(const std::vector<Access>& accesses) {
    std::vector<uint32_t> out;
    for (const Access& a : accesses) out.push_back(a.address);
    return out;
}

struct Niso : kzmaps::NisoBoard {
    tTolvaneNisoFpgaRegMap map{&block, st, 0, 0, 0xFFFFFFFF};
    uint64_t get(uint32_t id) {
        uint64_t v = 0xDEAD;
        map.get(id, v, st, 0);
        return v;
    }
    uint64_t read(uint32_t id) {
        uint64_t v = 0xDEAD;
        map.read(id, v, st, 0);
        return v;
    }
    unsigned dirtyReadOnly() const {
        unsigned n = 0;
        for (size_t i = 0; i < parts::kNisoFpga.size(); ++i)
            n += parts::kNisoFpga[i].access == parts::RO && map.state(unsigned(i)).dirty;
        return n;
    }
};

TEST_F(Niso, ConstructionLaysEverythingOutAndTouchesNothing) {
    EXPECT_EQ(st.code, 0);
    for (unsigned i = 0; i < map.description().count; ++i) {
        EXPECT_TRUE(map.state(i).inWindow) << i;
        EXPECT_EQ(map.state(i).address, parts::kNisoFpga[i].offset) << i;
    }
    for (unsigned u = 0; u < 4; ++u) {
        ASSERT_NE(map.measureUnit(u), nullptr);
        EXPECT_EQ(map.measureUnit(u)->window().base, 0x400 + 0x60 * u);
        EXPECT_EQ(map.measureUnit(u)->window().count, 0x60u);
    }
    EXPECT_EQ(map.measureUnit(4), nullptr);
    EXPECT_EQ(map.backplanePowerMonitor().window().base, 0x580u);
    EXPECT_EQ(map.sinkingBoardPowerMonitor().window().base, 0x5A0u);
    EXPECT_EQ(map.sinkingBoardPowerMonitor().window().count, 0x18u);
    EXPECT_STREQ(map.getVersion(), "1.5.0f22090707");
    EXPECT_STREQ(map.getOldestCompatibleVersion(), "1.5.0f22090707");
    EXPECT_STREQ(map.measureUnit(3)->getVersion(), "1.5.0f22090707");
    EXPECT_STREQ(map.backplanePowerMonitor().getOldestCompatibleVersion(), "1.5.0f22090707");
    EXPECT_TRUE(seen().empty());
}

TEST_F(Niso, WalksVisitTheMapThenItsSubMapsInMemberOrder) {
    map.flushRegMap(true, st);
    EXPECT_EQ(st.code, 0);
    const std::vector<uint32_t> writes = wholeWalk(true);
    ASSERT_EQ(writes.size(), 94u);
    EXPECT_EQ(addresses(seen(true)), writes);
    for (const Access& a : seen()) EXPECT_EQ(a.value, 0u);
    board.log().clear();
    map.flushRegMap(false, st);
    EXPECT_TRUE(seen().empty());

    map.markDirtyRegMap();
    map.flushRegMap(false, st);
    EXPECT_EQ(addresses(seen(true)), writes);
    EXPECT_EQ(dirtyReadOnly(), 65u);
    EXPECT_TRUE(map.measureUnit(2)->MeasurePacketData1(2).isDirty());
    board.log().clear();
    map.refreshRegMap(st);
    EXPECT_EQ(st.code, 0);
    const std::vector<uint32_t> reads = wholeWalk(false);
    ASSERT_EQ(reads.size(), 155u);
    EXPECT_EQ(addresses(seen(false)), reads);
    EXPECT_EQ(seen(true).size(), 0u);
    EXPECT_EQ(dirtyReadOnly(), 0u);
    EXPECT_FALSE(map.measureUnit(2)->MeasurePacketData1(2).isDirty());
}

TEST_F(Niso, RegistersThatShareAnOffsetKeepTheirOwnWordsAndShadows) {
    fpga().present(0x010, 0x87000000);
    map.set(0x8071BD44, 0x1234, st, 0);
    EXPECT_EQ(read(0x807EF265), 0x87000000u);
    EXPECT_EQ(get(0x8071BD44), 0x1234u);  // the configuration shadow stays
    EXPECT_TRUE(map.NisoFpgaConfigReg().isDirty());

    map.write(0x80BDD9F6, 0x00050123, false, st, 0);  // through the mux status register
    EXPECT_EQ(fpga().written(0x070), 0x00050123u);
    EXPECT_EQ(map.OccurrenceMuxConfig0().getShadow(), 0u);

    map.write(0x201042E0, 1, false, st, 0);
    EXPECT_EQ(fpga().written(0x2BC), 0x00000002u);
    EXPECT_EQ(get(0x801042E0), 0u);
    fpga().present(0x2BC, 0x80000005);
    EXPECT_EQ(read(0x805B31E4), 0x80000005u);
    EXPECT_EQ(map.XfmrCtrlConfigReg().getShadow(), 0u);

    // Port 0's read-data word holds what its last read brought in.
    fpga().isolatedLink().registers().write(0x003, 0xCAFEF00D);
    fpga().write(0x204, 4, 0x00010003);
    EXPECT_EQ(read(0x8019AEC4), 0xCAFEF00Du);
    map.write(0x8066C411, 0x11223344, false, st, 0);
    EXPECT_EQ(map.IsoRegAccessReadData(0).getShadow(), 0xCAFEF00Du);
    EXPECT_EQ(map.IsoRegAccessWriteData(0).getShadow(), 0x11223344u);
    EXPECT_EQ(fpga().written(0x208), 0x11223344u);

    // The typed handles of 0x070 reach their own rows.
    EXPECT_EQ(map.OccurrenceMuxConfig0().index(), 15);
    EXPECT_EQ(map.OccurrenceMuxStatus0().index(), 16);
    fpga().raiseError(0x205);
    map.OccurrenceMuxConfig0().setOccurrenceMuxPosition(5, st).writeOccurrenceMuxAction(niso::kOccurrenceMuxEnable, st);
    EXPECT_TRUE(map.OccurrenceMuxStatus0().readOccurrenceInputLatched(st));
    EXPECT_EQ(map.OccurrenceMuxStatus0().getOccurrenceInputSourceEnum(st), 0x205u);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(seen(true).back(), W(0x070, 32, 0x10050000));
    EXPECT_EQ(map.OccurrenceMuxConfig0().getShadow(), 0u);
}

TEST_F(Niso, TypedAccessorsWriteTheirFieldAndKeepTheStrobeRule) {
    auto control = map.NisoTxCreditControl(1);
    control.writeStreamStopStb(true, st, false);
    control.writeStreamStopStb(true, st, false);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0x084, 32, 0x00020000), W(0x084, 32, 0x00020000)}));
    EXPECT_EQ(control.getShadow(), 0u);

    board.log().clear();
    auto address = map.IsoRegAccessAddr(0);
    address.writeIsoRegAddr(0x2345, st, false);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0x204, 32, 0x00000345)}));
    EXPECT_EQ(address.getShadow(), 0u);
    board.log().clear();
    address.writeIsoRegAccessType(false, st, false);
    EXPECT_TRUE(seen().empty());
    address.writeIsoRegAccessType(kzvorn_regmaps::nTolvaneDcBusConstants::kIsoRegAccessWrite, st, true);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0x204, 32, 0)}));

    board.log().clear();
    map.XfmrCtrlDriveSignalCnt0().setDriveCntOff(niso::XfmrCtrlDriveType(0x5678), st);
    map.XfmrCtrlDriveSignalCnt0().writeDriveCntOn(niso::XfmrCtrlDriveType(0x1234), st);
    map.XfmrCtrlRectSignalCnt(3).writeRectCntOn(niso::XfmrCtrlRectType(0xBEEF), st);
    map.NisoFpgaConfigReg().writeEnableNisoBoardErrorManagerStb(true, st);
    map.PxiTrigConfig(8).writeEnablePxiTrigOut(true, st).writePxiTrigOutPulseDuration(0x12345, st);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0x2A0, 32, 0x12345678), W(0x2B4, 32, 0xBEEF0000),
                                               W(0x010, 32, 0x00000001), W(0x0C0, 32, 0x80000000),
                                               W(0x0C0, 32, 0x80012345)}));
    EXPECT_EQ(map.NisoFpgaConfigReg().getShadow(), 0u);
    EXPECT_EQ(st.code, 0);

    // Readers read the hardware first; getters and a reader on an error answer from the shadow.
    fpga().present(0x080, 0x00020000);
    fpga().present(0x818, 0x8000);
    fpga().write(0x820, 4, 0x8000);
    fpga().commandIsoComm(0x00000102);
    auto status = map.NisoTxCreditStatus(0);
    EXPECT_TRUE(status.readStreamStopped(st));
    EXPECT_TRUE(map.VrefTemperatureRegType().readFilteredVrefValid(st));
    EXPECT_TRUE(map.NisoFpgaTemperatureReg().readFilteredNisoTemperatureValid(st));
    EXPECT_EQ(map.IsoCommStatusReg().readIsoCommStatus(st), 2u);
    EXPECT_TRUE(map.IsoCommStatusReg().readNisoDcBusStartupComplete(st));
    fpga().write(0x2D4, 4, 0x20000000);
    EXPECT_EQ(map.NisoBcPsDacStatusReg().readRegister(st), 0x20000000u);
    fpga().present(0x080, 0);
    board.log().clear();
    tStatus failed;
    KZ_SET_CODE(failed, -9);
    EXPECT_TRUE(status.readStreamStopped(failed));
    EXPECT_EQ(failed.code, -9);
    EXPECT_TRUE(seen().empty());
    fpga().write(0x204, 4, 0x00010000);  // a read through port 0: ready again, with its response
    map.IsoRegAccessStatus(0).refresh(st);
    EXPECT_TRUE(map.IsoRegAccessStatus(0).getIsoRegReadyForNewAccess(failed));
    EXPECT_TRUE(map.IsoRegAccessStatus(0).getNewIsoRegReadResponse(st));
    EXPECT_EQ(st.code, 0);
}

TEST_F(Niso, AnIndexPastAnArrayIsRefused) {
    tStatus a, b, c;
    map.NisoTxCreditControl(4).writeStreamStartStb(true, a);
    map.IsoRegAccessAddr(6).writeIsoRegAddr(1, b);
    map.SelfTestMeasurement(16).refresh(c);
    for (const tStatus* s : {&a, &b, &c}) EXPECT_EQ(s->code, kBadId);
    EXPECT_TRUE(seen().empty());
}

TEST_F(Niso, StrobesLeaveTheShadowAfterAGoodWrite) {
    kzvorn_regmaps::tTolvaneNisoMeasureUnitRegMap& unit = *map.measureUnit(0);
    unit.write(0x800BAEC7, 0xFFFFFFFF, false, st, 0);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0x400, 32, 0xFFFFFFFF)}));
    EXPECT_EQ(unit.NisoMeasureUnitConfig(0).getShadow(), 0xFFFFFE3Cu);
    board.log().clear();
    kzvorn_regmaps::tIna231PowerMonitorRegMap& monitor = map.sinkingBoardPowerMonitor();
    for (int i = 0; i < 2; ++i) monitor.write(0x1AEBA6EC, 1, false, st, 0);
    EXPECT_EQ(seen(true), (std::vector<Access>{W(0x5A4, 32, 0x00400000), W(0x5A4, 32, 0x00400000)}));
    uint64_t v = 7;
    monitor.get(0x1AEBA6EC, v, st, 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(st.code, 0);
}

TEST_F(Niso, RegisterFormatsRespectTheCapacity) {
    arm::FieldType types[8];
    uint64_t masks[8];
    std::memset(masks, 0x77, sizeof masks);
    uint32_t count = 3;
    map.getRegisterFormat(0x8071BD44, count, types, masks, st);
    EXPECT_EQ(st.code, nKZAPALS100::kStatusBufferTooSmall);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(masks[0], 0x7777777777777777u);
    tStatus ok;
    count = 7;
    map.getRegisterFormat(0x8071BD44, count, types, masks, ok);
    ASSERT_EQ(count, 7u);
    const uint64_t config[] = {0x1, 0x2, 0x4, 0x8, 0x20000000, 0x40000000, 0x80000000};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(types[i], arm::kFieldTypeBit);
        EXPECT_EQ(masks[i], config[i]);
    }
    EXPECT_EQ(masks[7], 0x7777777777777777u);  // nothing written beyond the capacity
    count = 8;
    map.backplanePowerMonitor().getRegisterFormat(0x80EA03EC, count, types, masks, ok);
    const uint64_t readResult[] = {0xFFFF, 0xF0000, 0x200000, 0x8000000, 0x10000000, 0x20000000, 0x40000000, 0x80000000};
    const arm::FieldType readTypes[] = {arm::kFieldTypeUpTo16Bits, arm::kFieldTypeUpTo8Bits, arm::kFieldTypeBit,
                                        arm::kFieldTypeBit,       arm::kFieldTypeBit,      arm::kFieldTypeBit,
                                        arm::kFieldTypeBit,       arm::kFieldTypeBit};
    ASSERT_EQ(count, 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(types[i], readTypes[i]);
        EXPECT_EQ(masks[i], readResult[i]);
    }
    EXPECT_EQ(ok.code, 0);
    tStatus none;
    map.backplanePowerMonitor().getRegisterFormat(0x40EA03EC, count, types, masks, none);
    EXPECT_EQ(none.code, nKZAPALS100::kStatusFeatureNotSupported);
    EXPECT_EQ(count, 0u);
}

TEST_F(Niso, RegistersOutsideTheWindowKeepTheirShadowsAndAreNeverTouched) {
    tStatus built;
    tTolvaneNisoFpgaRegMap small(&block, built, 0, 0, 0x200);
    EXPECT_EQ(built.code, 0);
    for (unsigned u = 0; u < 4; ++u) EXPECT_EQ(small.measureUnit(u)->window().count, 0u);
    EXPECT_EQ(small.backplanePowerMonitor().window().count, 0u);
    small.set(0x80F3C13C, 0x1234, st, 0);  // 0x2A0, outside
    small.write(0x00F3C13C, 0x99, false, st, 0);
    EXPECT_EQ(st.code, kOutside);
    EXPECT_EQ(small.XfmrCtrlDriveSignalCnt0().getShadow(), 0x0099u);
    EXPECT_TRUE(small.XfmrCtrlDriveSignalCnt0().isDirty());
    // Every register from 0x200 on: refused by its access, or -52006 with the old shadow.
    for (const parts::Register& reg : parts::kNisoFpga) {
        if (reg.offset < 0x200) continue;
        const uint32_t id = parts::wholeId(reg);
        tStatus r, f, w, v;
        uint64_t value = 0xAB;
        small.refresh(id, r, 0);
        small.flush(id, true, f, 0);
        small.write(id, 5, true, w, 0);
        small.read(id, value, v, 0);
        const bool readable = reg.access != parts::WO, writable = reg.access != parts::RO;
        EXPECT_EQ(r.code, readable ? kOutside : kBadId) << std::hex << id;
        EXPECT_EQ(v.code, readable ? kOutside : kBadId) << std::hex << id;
        EXPECT_EQ(f.code, writable ? kOutside : kBadId) << std::hex << id;
        EXPECT_EQ(w.code, writable ? kOutside : kBadId) << std::hex << id;
        EXPECT_EQ(value, writable && readable ? 5u : 0u) << std::hex << id;
    }
    tStatus fresh;
    small.set(0x801EFEA3, 0x0ABC0DEF, fresh, 0);
    tStatus r;
    EXPECT_EQ(small.SinkingBoardTemperatureHighLimitReg().readRegister(r), 0x0ABC0DEFu);  // the old shadow
    EXPECT_EQ(small.MeasureFifoStatus(2).readRegister(r), 0u);
    EXPECT_EQ(r.code, kOutside);
    EXPECT_TRUE(seen().empty());
    uint64_t v = 0;
    tStatus g;
    small.get(0x80F3C13C, v, g, 0);
    EXPECT_EQ(v, 5u);  // what the last refused write left
    EXPECT_EQ(g.code, 0);

    // A signature register outside the window answers its shadow, not all ones.
    tStatus e;
    tTolvaneNisoFpgaRegMap shifted(&block, e, 0, 4, 0x1000);
    EXPECT_EQ(shifted.SignatureReg().readRegister(e), 0u);
    EXPECT_EQ(e.code, kOutside);

    // The walks visit every register and end with the first error, also over a warning.
    tStatus walk;
    KZ_SET_CODE(walk, 3);
    small.markDirtyRegMap();
    small.flushRegMap(false, walk);
    EXPECT_EQ(walk.code, kOutside);
    std::vector<uint32_t> inside;
    for (uint32_t a : walked(parts::kNisoFpga, 0, true))
        if (a < 0x200) inside.push_back(a);
    EXPECT_EQ(addresses(seen(true)), inside);
    EXPECT_TRUE(small.XfmrCtrlDriveSignalCnt0().isDirty());
    EXPECT_TRUE(small.measureUnit(1)->CicFilterConfig(0).isDirty());
    board.log().clear();
    tStatus refreshed;
    small.refreshRegMap(refreshed);
    EXPECT_EQ(refreshed.code, kOutside);
    for (const Access& a : seen()) EXPECT_LT(a.address, 0x200u);

    // A power-monitor window that covers only its first three registers.
    kzvorn_regmaps::tIna231PowerMonitorRegMap monitor(&block, arm::Window{0x580, 0, 0x0C});
    board.log().clear();
    tStatus m;
    monitor.refreshRegMap(m);
    EXPECT_EQ(m.code, kOutside);
    EXPECT_EQ(seen(), (std::vector<Access>{R(0x588, 32, 0x10000000)}));  // the chip is ready
    for (uint32_t id : {0x80120697u, 0x8063250Du, 0x8062AC29u}) {
        tStatus s;
        monitor.refresh(id, s, 0);
        EXPECT_EQ(s.code, kOutside);
    }
}

// Failing the first, second, ... allocation: the status says so, the units before it exist, the map
// can be walked and reinitialised, and its destruction frees exactly what it allocated.
TEST_F(Niso, ConstructionFailuresLeaveAMapThatCanStillBeWalked) {
    for (unsigned failing = 1; failing <= 5; ++failing) {
        const int64_t live = kal::sim::liveAllocations();
        {
            tStatus s;
            auto* built = static_cast<tTolvaneNisoFpgaRegMap*>(::operator new(sizeof(tTolvaneNisoFpgaRegMap)));
            {
                kal::sim::FailAllocations fail(failing);
                new (built) tTolvaneNisoFpgaRegMap(&block, s, 0, 0, 0xFFFFFFFF);
            }
            EXPECT_EQ(s.code, failing <= 4 ? kNoMemory : 0) << failing;
            for (unsigned u = 0; u < 4; ++u) EXPECT_EQ(built->measureUnit(u) != nullptr, u + 1 < failing) << failing;
            board.log().clear();
            tStatus walk;
            built->markDirtyRegMap();
            built->reinitialize();
            built->flushRegMap(true, walk);
            built->refreshRegMap(walk);
            EXPECT_EQ(walk.code, 0);
            const size_t units = failing <= 4 ? failing - 1 : 4;
            EXPECT_EQ(seen(true).size(), 66 + 6 * units + 4) << failing;
            built->~tTolvaneNisoFpgaRegMap();
            ::operator delete(built);
        }
        EXPECT_EQ(kal::sim::liveAllocations(), live) << failing;
    }
    // An error brought in: no unit is allocated.
    const int64_t live = kal::sim::liveAllocations();
    tStatus brought;
    KZ_SET_CODE(brought, -7);
    tTolvaneNisoFpgaRegMap none(&block, brought, 0, 0, 0xFFFFFFFF);
    EXPECT_EQ(brought.code, -7);
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    EXPECT_EQ(none.measureUnit(0), nullptr);
    tStatus walk;
    none.flushRegMap(true, walk);
    EXPECT_EQ(walk.code, 0);
}

}  // namespace
