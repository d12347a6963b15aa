// The isolated channel map's typed members: each of the 76 field writers does what `write` of its
// field identifier does; the typed reads of the status registers, the unshadowed registers and the
// pending-strobe registers; handles of registers that do not exist; and no operation allocates.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "fakeFrontEnd.h"
#include "isoChannelParts.h"
#include "kal/sim/faults.h"
#include "kzapal/protons/statusCodes.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"

namespace {

using armtest::Access;
using Map = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using nKZAPALS100::tStatus;
namespace e = kzvorn_regmaps::nTolvaneIsoChannelRegMap;

constexpr int64_t kBadId = nKZAPALS100::kStatusBadParameter;
constexpr int64_t kOutside = nKZAPALS100::kStatusResourceNotFound;
constexpr int64_t kPortNotReady = kzmaps::kPortNotReady;
constexpr uint32_t kBase = 0x1000;

Access W(uint32_t offset, uint32_t value) { return armtest::W(kBase + offset, 32, value); }
Access R(uint32_t offset, uint32_t value) { return armtest::R(kBase + offset, 32, value); }

// The field writers with the value types their fields give them: type, an offset of a register of
// the type, field, the field's lowest bit, value type.
// clang-format off
#define KZ_ISO_CHANNEL_WRITERS(X) \
    X(tIsoChannelConfigReg, 0x000, EnableIsoChannelErrorManagerStb, 0, bool) \
    X(tIsoChannelConfigReg, 0x000, DisableIsoChannelErrorManagerStb, 1, bool) \
    X(tControlModeRegType, 0x001, ControlMode, 0, e::ControlModeType) \
    X(tGangingModeRegType, 0x009, GangingMode, 0, uint8_t) \
    X(tOutputSenseRegType, 0x00A, VoltageOutputSense, 0, uint8_t) \
    X(tCurrentRangeRegType, 0x00C, CurrentRange, 0, uint8_t) \
    X(tVoltageRangeRegType, 0x00D, VoltageRange, 0, uint8_t) \
    X(tTransientResponseRegType, 0x00E, TransientResponseMode, 0, uint8_t) \
    X(tOccurrenceMuxConfigRegType, 0x020, OccurrenceMuxMaskIndex, 0, e::OccurrenceMuxMaskIndexType) \
    X(tOccurrenceMuxConfigRegType, 0x020, OccurrenceMuxClearAllLatchStb, 10, bool) \
    X(tOccurrenceMuxConfigRegType, 0x020, OccurrenceMuxClearLatchStb, 11, bool) \
    X(tOccurrenceMuxConfigRegType, 0x020, OccurrenceArmMuxStb, 12, bool) \
    X(tOccurrenceMuxConfigRegType, 0x020, OccurrenceDisarmMuxStb, 13, bool) \
    X(tOccurrenceMuxConfigRegType, 0x035, OccurrenceMuxPosition, 16, uint8_t) \
    X(tOccurrenceMuxConfigRegType, 0x020, OccurrenceMuxAction, 28, e::OccurrenceMuxActionType) \
    X(tOccurrenceMuxStatusRegType, 0x020, OccurrenceInputSourceEnum, 0, uint16_t) \
    X(tOccurrenceMuxStatusRegType, 0x020, OccurrenceMuxArmed, 12, bool) \
    X(tOccurrenceMuxStatusRegType, 0x020, OccurrenceMuxLatchEnabled, 13, bool) \
    X(tOccurrenceMuxStatusRegType, 0x020, OccurrenceInputLatched, 14, bool) \
    X(tOccurrenceMuxStatusRegType, 0x020, OccurrenceInputLive, 15, bool) \
    X(tOccurrenceMuxStatusRegType, 0x031, OccurrenceMuxPosition, 16, uint8_t) \
    X(tOccurrenceMuxStatusRegType, 0x020, OccurrenceInputAllowed, 24, uint8_t) \
    X(tOccurrenceRegType, 0x047, OccurrenceEnum, 0, uint16_t) \
    X(tChargeBalanceOffsetRegT, 0x058, ChargeBalanceOffset, 0, uint16_t) \
    X(tVoltageRangeOutputSensePtrRegType, 0x061, VoltageRangeAndOutputSense, 0, uint8_t) \
    X(tCalibratedDataRegType, 0x07C, DebugCalibratedSample, 0, uint16_t) \
    X(tCalibratedDataRegType, 0x07F, DebugCalibratedSampleSat, 16, e::SaturationType) \
    X(tResistanceGainRegType, 0x0A0, ResistanceGain, 0, uint32_t) \
    X(tCurrentRangeResponsePtrRegType, 0x0B3, CurrentRangeAndResponseMode, 0, uint8_t) \
    X(tDacOverrideControlRegType, 0x117, EnableDacOverride, 31, bool) \
    X(tDacOverrideThresholdRegType, 0x119, DacOverrideThreshold, 0, uint16_t) \
    X(tCicFilterConfigRegType, 0x130, DownsampleRate, 0, uint32_t) \
    X(tCicFilterConfigRegType, 0x130, FilterOrder, 24, uint8_t) \
    X(tCicFilterConfigRegType, 0x130, WindowLsb, 28, uint8_t) \
    X(tCicFilterConfigRegType, 0x132, PointCompressible, 31, bool) \
    X(tMuCtrlRegType, 0x133, AbortMeasure, 1, bool) \
    X(tMuCtrlRegType, 0x133, RestartMeasure, 2, bool) \
    X(tMuCtrlRegType, 0x134, MuPacketGenEnable, 4, bool) \
    X(tMuCtrlRegType, 0x134, MuPacketGenDisable, 5, bool) \
    X(tMuCtrlRegType, 0x135, MuRangedMeasureEnable, 8, bool) \
    X(tMuCtrlRegType, 0x135, MuFixedMeasureEnable, 9, bool) \
    X(tMuRecordConfigRegType, 0x136, PointsPerRecord, 0, uint32_t) \
    X(tMuRecordConfigRegType, 0x136, MeasureContinuous, 28, bool) \
    X(tOcpConfigRegType, 0x150, OcpCountMax, 0, e::OcpCountMaxDefaultType) \
    X(tOcpConfigRegType, 0x150, OcpISatCountAdd, 16, e::OcpISatCountAddDefaultType) \
    X(tOcpConfigRegType, 0x151, OcpIVSatCountAdd, 24, e::OcpIVSatCountAddDefaultType) \
    X(tOvpConfigRegType, 0x152, OvpCountMax, 0, e::OvpCountMaxDefaultType) \
    X(tOvpConfigRegType, 0x153, OvpCountAdd, 16, e::OvpCountAddDefaultType) \
    X(tUserAlmThresholdRegType, 0x15E, UserAlmThresholdValue, 0, uint16_t) \
    X(tSenseLeadDropAlmThresholdRegType, 0x160, SenseLeadDropAlmThresholdValue, 0, uint16_t) \
    X(tSequencerDataRamAddressRegType, 0x171, SequencerDataRamAddress, 0, uint16_t) \
    X(tGangBalancerVLimitRegType, 0x180, GangBalancerLimit, 0, uint16_t) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeEnabled, 0, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeEnabledUpdateStb, 1, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeType, 2, e::AutorangeTypeT) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeTypeUpdateStb, 3, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeSourceMu, 11, uint8_t) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeSourceMuUpdateStb, 13, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeLowEnabled, 14, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeLowEnabledUpdateStb, 15, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeHighEnabled, 16, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeHighEnabledUpdateStb, 17, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeDownThresholdMinMaxEnabled, 18, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeDownThresholdMinMaxEnableStb, 19, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeLowFlagClearStb, 24, bool) \
    X(tAutorangeControlStatusReg, 0x190, AutorangeHighFlagClearStb, 25, bool) \
    X(tAutorangeThresholdRegType, 0x191, AutorangeThreshold, 0, uint32_t) \
    X(tAutorangeThresholdRegType, 0x192, IsCurrentThreshold, 31, bool) \
    X(tAutorangeDownThresholdMinMaxFilterConfigStatus, 0x194, AutorangeDownThresholdMinMaxFilterEnableStb, 0, bool) \
    X(tAutorangeDownThresholdMinMaxFilterConfigStatus, 0x196, AutorangeDownThresholdMinMaxFilterDisableStb, 1, bool) \
    X(tAutorangeDownThresholdSampleRegType, 0x198, AutorangeDownThresholdSample, 0, uint32_t) \
    X(tProtectionConfigurationRegType, 0x199, ProtectionConfigApplyToI, 30, bool) \
    X(tProtectionConfigurationRegType, 0x19A, ProtectionConfigApplyToV, 31, bool) \
    X(tMuHoldoffControlRegType, 0x1A0, HoldoffReleaseCountdown, 0, uint32_t) \
    X(tMuHoldoffControlRegType, 0x1A1, HoldoffReleaseStb, 24, bool) \
    X(tMuHoldoffControlRegType, 0x1A2, HoldoffCaptureStb, 31, bool)
// clang-format on

// Each writer takes its value type and the status and force, and returns its register.
#define KZ_CHECK_WRITER(type, offset, field, low, tValue)                                                       \
    static_assert(std::is_same<decltype(&Map::type::write##field), Map::type& (Map::type::*)(tValue, tStatus&, bool)>::value, \
                  #type "::write" #field);
KZ_ISO_CHANNEL_WRITERS(KZ_CHECK_WRITER)
#undef KZ_CHECK_WRITER

// A 64-bit value as a writer's caller passes it: converted to the value type (an enumeration through
// its underlying type).
template <class tValue>
tValue as(uint64_t v) {
    if constexpr (std::is_enum<tValue>::value) {
        return static_cast<tValue>(static_cast<std::underlying_type_t<tValue>>(v));
    } else {
        return static_cast<tValue>(v);
    }
}

struct Writer {
    const char* type;
    uint32_t offset;
    const char* field;
    unsigned low;
    std::function<void(Map&, uint64_t, tStatus&, bool)> write;
};

#define KZ_WRITER(type, offset, field, low, tValue)                                              \
    Writer{#type, offset, #field, low, [](Map& m, uint64_t v, tStatus& s, bool force) {          \
               m.at<Map::type>(offset).write##field(as<tValue>(v), s, force);                    \
           }},
const std::vector<Writer> kWriters = {KZ_ISO_CHANNEL_WRITERS(KZ_WRITER)};
#undef KZ_WRITER

// Two maps over two ports: one written through the typed members, the other by identifier.
struct Twins {
    kzmaps::FakeFrontEnd typedPort, idPort;
    Map typed{&typedPort, kBase, 0, 0x200};
    Map byId{&idPort, kBase, 0, 0x200};
};

TEST(IsoChannelTyped, EachFieldWriterDoesWhatWriteOfItsIdentifierDoes) {
    ASSERT_EQ(kWriters.size(), 76u);
    const uint64_t values[] = {0, 1, 2, 3, 0x10, 0xFF, 0x1FF, 0x100000000ull, 0xFFFFFFFF, 0x5A5A5A5A5Aull};
    for (const Writer& w : kWriters) {
        const isoparts::Row& row = isoparts::rowAt(w.type, w.offset);
        const uint32_t id = isoparts::keyOf(row) | isoparts::lowestBitCode(w.low);
        const unsigned index = row.number - 1;
        Twins t;
        t.typedPort.fail(kBase + 0x1A2);  // the capture strobe's register fails: its writes stay dirty
        t.idPort.fail(kBase + 0x1A2);
        int step = 0;
        const auto both = [&](uint64_t value, bool force) {
            SCOPED_TRACE(std::string(w.type) + "::write" + w.field + " step " + std::to_string(step++));
            tStatus s1, s2;
            w.write(t.typed, value, s1, force);
            t.byId.write(id, value, force, s2);
            EXPECT_EQ(s1.code, s2.code);
            EXPECT_EQ(t.typed.state(index).shadow, t.byId.state(index).shadow);
            EXPECT_EQ(t.typed.state(index).pending, t.byId.state(index).pending);
            EXPECT_EQ(t.typed.state(index).dirty, t.byId.state(index).dirty);
            EXPECT_EQ(t.typedPort.log, t.idPort.log);
        };
        for (bool force : {false, true})
            for (uint64_t v : values) both(v, force);
        // From a marked, then from a read register whose every bit is set.
        t.typed.markDirtyRegMap();
        t.byId.markDirtyRegMap();
        both(0, false);
        t.typedPort.words[kBase + w.offset] = t.idPort.words[kBase + w.offset] = 0xFFFFFFFF;
        tStatus s1, s2;
        t.typed.refresh(row.whole, s1);
        t.byId.refresh(row.whole, s2);
        for (uint64_t v : values) both(v, false);
        EXPECT_FALSE(t.typedPort.log.empty());
    }
}

TEST(IsoChannelTyped, TheStatusRegistersReadWithTheirShadowAsTheAnswerToAFailure) {
    kzmaps::FakeFrontEnd port;
    Map map(&port, kBase, 0, 0x200);
    port.words[kBase + 0x000] = 0x01000001;
    map.markDirtyRegMap();
    tStatus st;
    EXPECT_EQ(map.IsoChannelStatusReg().readRegister(st), 0x01000001u);
    EXPECT_FALSE(map.IsoChannelStatusReg().isDirty());
    tStatus error;
    KZ_SET_CODE(error, -7);
    port.words[kBase + 0x000] = 0;
    EXPECT_EQ(map.IsoChannelStatusReg().readRegister(error), 0x01000001u);  // no access
    port.fail(kBase + 0x05C);
    port.words[kBase + 0x05C] = 0x6;
    tStatus failed;
    EXPECT_EQ(map.ChargeBalancerStatusRegT().readRegister(failed), 0u);  // the old shadow
    EXPECT_EQ(failed.code, kPortNotReady);
    EXPECT_EQ(port.log, (std::vector<Access>{R(0x000, 0x01000001), R(0x05C, 0x6)}));

    // A window without 0x05C: the typed read answers -52006 and the shadow; get and set still work.
    kzmaps::FakeFrontEnd other;
    Map narrow(&other, kBase + 0x060, 0x060, 0x1A0);
    tStatus outside, shadowOps;
    EXPECT_EQ(narrow.ChargeBalancerStatusRegT().readRegister(outside), 0u);
    EXPECT_EQ(outside.code, kOutside);
    uint64_t v = 9;
    narrow.get(0x804509BB, v, shadowOps);
    narrow.set(0x0013A1D2, 1, shadowOps);
    EXPECT_EQ(shadowOps.code, 0);
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(narrow.ChargeBalancerControlRegT().isDirty());
    EXPECT_TRUE(other.log.empty());
}

TEST(IsoChannelTyped, UnshadowedRegistersReadAndWriteTheHardwareOnly) {
    kzmaps::FakeFrontEnd port;
    Map map(&port, kBase, 0, 0x200);
    tStatus st;
    // writeRegister sends all 32 bits, every call, and returns the register.
    map.at<Map::tCalGainRegType>(0x078).writeRegister(0xFFFFFFFF, st).writeRegister(0, st);
    map.at<Map::tCalOffsetRegType>(0x07A).writeRegister(0x80000000, st);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(map.at<Map::tCalGainRegType>(0x078).readRegister(st), 0u);
    port.fail(kBase + 0x07A);
    tStatus failed;
    EXPECT_EQ(map.at<Map::tCalOffsetRegType>(0x07A).readRegister(failed), port.failedRead);
    EXPECT_EQ(failed.code, kPortNotReady);
    tStatus error;
    KZ_SET_CODE(error, -7);
    EXPECT_EQ(map.at<Map::tCalGainRegType>(0x078).readRegister(error), 0xFFFFFFFFu);
    map.at<Map::tCalGainRegType>(0x078).writeRegister(5, error);
    EXPECT_EQ(port.log, (std::vector<Access>{W(0x078, 0xFFFFFFFF), W(0x078, 0), W(0x07A, 0x80000000), R(0x078, 0),
                                             R(0x07A, 0x80000000)}));
    Map narrow(&port, kBase + 0x100, 0x100, 0x100);
    tStatus outside;
    EXPECT_EQ(narrow.at<Map::tCalGainRegType>(0x078).readRegister(outside), 0xFFFFFFFFu);
    EXPECT_EQ(outside.code, kOutside);
    tStatus outsideWrite;
    narrow.at<Map::tCalGainRegType>(0x078).writeRegister(1, outsideWrite);
    EXPECT_EQ(outsideWrite.code, kOutside);
    EXPECT_EQ(port.log.size(), 5u);
}

TEST(IsoChannelTyped, PendingStrobeRegistersWriteWholeWordsAndFlushAndRefresh) {
    kzmaps::FakeFrontEnd port;
    Map map(&port, kBase, 0, 0x200);
    tStatus st;
    auto autorange = map.AutorangeControlStatusReg();
    autorange.writeRegister(0x030AA00F, st);  // every strobe and bits 0 and 2
    autorange.writeRegister(0x5, st);         // unchanged kept bits, no strobe, clean: nothing
    autorange.writeRegister(0x5, st, true);
    auto filter = map.at<Map::tAutorangeDownThresholdMinMaxFilterConfigStatus>(0x196);
    filter.setAutorangeDownThresholdMinMaxFilterEnableStb(true, st).flush(st);
    port.words[kBase + 0x196] = 3;
    filter.refresh(st);
    EXPECT_EQ(filter.getShadow(), 3u);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(port.log, (std::vector<Access>{W(0x190, 0x030AA00F), W(0x190, 0x5), W(0x196, 1), R(0x196, 3)}));
}

TEST(IsoChannelTyped, AHandleOfNoRegisterRefusesEveryOperation) {
    kzmaps::FakeFrontEnd port;
    Map map(&port, kBase, 0, 0x200);
    auto none = map.at<Map::tCurrentRangeRegType>(0x001);  // a control mode register lies there
    auto second = map.at<Map::tOccurrenceMuxConfigRegType>(0x035, 1);
    auto third = map.at<Map::tOccurrenceMuxConfigRegType>(0x035, 2);
    EXPECT_LT(none.index(), 0);
    EXPECT_LT(third.index(), 0);
    EXPECT_EQ(isoparts::kRows[size_t(second.index())].whole, 0x803EA104u);
    tStatus a, b, c, d, g;
    none.writeCurrentRange(1, a, true);
    none.flush(b, true);
    none.refresh(c);
    third.writeRegister(1, d, true);
    none.readRegister(g);
    for (const tStatus* s : {&a, &b, &c, &d, &g}) EXPECT_EQ(s->code, kBadId);
    EXPECT_TRUE(port.log.empty());
}

}  // namespace

// The occurrence services run over either map's occurrence registers by the same names.
namespace occurrenceServices {
using nKZAPALS100::tStatus;
template <class tConfig, class tStatusReg, class tOccurrence, class tAction>
uint64_t selectAndRead(tConfig config, tStatusReg status, tOccurrence occurrence, tStatus& st) {
    config.writeOccurrenceMuxPosition(3, st, false).writeOccurrenceMuxAction(tAction(1), st, true);
    config.writeOccurrenceMuxClearAllLatchStb(true, st, false);
    return status.readOccurrenceInputLatched(st) + status.readOccurrenceInputSourceEnum(st) +
           occurrence.readOccurrenceEnum(st);
}
using Map = kzvorn_regmaps::tTolvaneIsoChannelRegMap;
using Niso = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
namespace e = kzvorn_regmaps::nTolvaneIsoChannelRegMap;
template uint64_t selectAndRead<Niso::tOccurrenceMuxConfigRegType, Niso::tOccurrenceMuxStatusRegType,
                                Niso::tOccurrenceRegType, kzvorn_regmaps::nTolvaneNisoFpgaRegMap::OccurrenceMuxActionType>(
    Niso::tOccurrenceMuxConfigRegType, Niso::tOccurrenceMuxStatusRegType, Niso::tOccurrenceRegType, tStatus&);
template uint64_t selectAndRead<Map::tOccurrenceMuxConfigRegType, Map::tOccurrenceMuxStatusRegType,
                                Map::tOccurrenceRegType, e::OccurrenceMuxActionType>(
    Map::tOccurrenceMuxConfigRegType, Map::tOccurrenceMuxStatusRegType, Map::tOccurrenceRegType, tStatus&);
}  // namespace occurrenceServices

namespace {

static_assert(e::kOccurrenceMuxEnable == 1 && e::kOccurrenceMuxDisable == 2, "the mux actions");

TEST(IsoChannelTyped, NoOperationAllocates) {
    kzmaps::FakeFrontEnd port;
    for (uint32_t k = 0; k < 0x200; ++k) port.words[kBase + k] = k;
    port.fail(kBase + 0x003);
    port.log.reserve(100000);
    std::vector<uint32_t> ids;
    for (const auto& entry : isoparts::model().ids) ids.push_back(entry.first);
    const int64_t live = kal::sim::liveAllocations();
    {
        kal::sim::FailAllocations none(1, true);
        Map map(&port, kBase, 0, 0x200);
        arm::FieldType types[32];
        uint64_t masks[32];
        for (uint32_t id : ids) {
            tStatus st;
            uint64_t v = 0;
            uint32_t count = 32;
            map.get(id, v, st, 0);
            map.set(id, v + 1, st, 0);
            map.read(id, v, st, 0);
            map.write(id, v, true, st, 0);
            map.flush(id, true, st, 0);
            map.refresh(id, st, 0);
            map.getRegisterFormat(id, count, types, masks, st);
        }
        tStatus st;
        map.markDirtyRegMap();
        map.flushRegMap(false, st);
        map.refreshRegMap(st);
        map.reinitialize();
        map.IsoChannelStatusReg().readRegister(st);
        map.at<Map::tControlModeRegType>(0x110).writeControlMode(e::ControlModeType(2), st, true);
        map.at<Map::tCalGainRegType>(0x060).writeRegister(1, st);
        EXPECT_FALSE(none.triggered());
    }
    EXPECT_EQ(kal::sim::liveAllocations(), live);
    EXPECT_GT(port.log.size(), 1000u);
}

}  // namespace
