// The four maps' declarations against their tables: register, access and identifier counts, each
// register's place, key, access, keep mask and fields in member order, and the literal identifiers
// of the descriptions.
#include <gtest/gtest.h>

#include <set>
#include <type_traits>

#include "armgen/bench.h"
#include "maps.h"

namespace {

using parts::RO;
using parts::RW;
using parts::WO;

arm::Kind kindOf(parts::Access a) {
    return a == RW ? arm::Kind::kReadWrite : a == WO ? arm::Kind::kWriteOnly : arm::Kind::kReadOnly;
}

struct Census {
    const char* name;
    unsigned registers, below0x200, writeOnly, readWrite, readOnly, fields, fieldsBelow0x200;
};

TEST(Tables, CountsMatchTheDescriptions) {
    const Census census[] = {
        {"TolvaneNisoFpgaRegMap", 131, 62, 44, 22, 65, 431, 236},
        {"TolvaneNisoMeasureUnitRegMap", 18, 18, 3, 3, 12, 63, 63},
        {"Ina231PowerMonitorRegMap", 6, 6, 2, 0, 4, 26, 26},
        {"Ina231RegMap", 8, 8, 0, 4, 4, 22, 22},
    };
    for (size_t m = 0; m < std::size(kzmaps::kMaps); ++m) {
        const kzmaps::MapUnderTest& map = kzmaps::kMaps[m];
        const Census& c = census[m];
        // The description's own totals hold for the table typed from it ...
        unsigned below = 0, access[3] = {}, fields = 0, fieldsBelow = 0;
        std::set<uint32_t> keys;
        for (const parts::Register& r : *map.part) {
            const unsigned n = unsigned(parts::fieldsOf(r).size());
            below += r.offset < 0x200;
            ++access[r.access];
            fields += n;
            fieldsBelow += r.offset < 0x200 ? n : 0;
            keys.insert(r.key);
        }
        EXPECT_EQ(map.part->size(), c.registers) << c.name;
        EXPECT_EQ(below, c.below0x200) << c.name;
        EXPECT_EQ(access[WO], c.writeOnly) << c.name;
        EXPECT_EQ(access[RW], c.readWrite) << c.name;
        EXPECT_EQ(access[RO], c.readOnly) << c.name;
        EXPECT_EQ(fields, c.fields) << c.name;
        EXPECT_EQ(fieldsBelow, c.fieldsBelow0x200) << c.name;
        EXPECT_EQ(keys.size(), c.registers) << c.name << ": keys are unique";
        // ... and for the declaration.
        EXPECT_EQ(map.desc->count, c.registers) << c.name;
        unsigned declaredFields = 0;
        for (unsigned i = 0; i < map.desc->count; ++i) declaredFields += map.desc->registers[i].fields.count;
        EXPECT_EQ(declaredFields, c.fields) << c.name;
        EXPECT_STREQ(map.desc->version, "1.5.0f22090707") << c.name;
    }
}

TEST(Tables, EveryRegisterIsDeclaredAsItsRowGivesIt) {
    for (const kzmaps::MapUnderTest& map : kzmaps::kMaps) {
        ASSERT_EQ(map.desc->count, map.part->size()) << map.name;
        for (size_t i = 0; i < map.part->size(); ++i) {
            const parts::Register& p = (*map.part)[i];
            const arm::RegisterDesc& d = map.desc->registers[i];
            const std::string where = std::string(map.name) + " row " + std::to_string(i);
            EXPECT_EQ(d.address, p.offset) << where;
            EXPECT_EQ(d.key, p.key) << where;
            EXPECT_EQ(d.kind, kindOf(p.access)) << where;
            EXPECT_EQ(d.keep, p.keep) << where;
            EXPECT_EQ(d.width, 32u) << where;
            EXPECT_EQ(d.initial, 0u) << where;
            const std::vector<parts::Field> fields = parts::fieldsOf(p);
            ASSERT_EQ(d.fields.count, fields.size()) << where;
            for (size_t f = 0; f < fields.size(); ++f) {
                EXPECT_EQ(d.fields.field[f].low, fields[f].low) << where << " field " << f;
                EXPECT_EQ(d.fields.field[f].width, fields[f].width) << where << " field " << f;
            }
        }
    }
}

// Identifiers the descriptions spell out, with the bits each names (0: none, as a value identifier).
TEST(Tables, LiteralIdentifiersNameTheirFields) {
    struct Case {
        const arm::MapDesc* map;
        uint32_t id;
        uint64_t mask;
    };
    const arm::MapDesc* niso = &kzvorn_regmaps::kTolvaneNisoFpgaMap;
    const arm::MapDesc* unit = &kzvorn_regmaps::kTolvaneNisoMeasureUnitMap;
    const arm::MapDesc* monitor = &kzvorn_regmaps::kIna231PowerMonitorMap;
    const arm::MapDesc* chip = &kzvorn_regmaps::kIna231Map;
    const Case cases[] = {
        {niso, 0x220053A4, 1u << 17},   {niso, 0x4A6A80F5, 0x700000},   {niso, 0x7CCABC26, 1u << 15},
        {niso, 0x201042E0, 1u << 1},    {niso, 0x801042E0, 0xFFFFFFFF}, {niso, 0x805B31E4, 0xFFFFFFFF},
        {niso, 0x0E50D2CB, 1u << 28},   {niso, 0x0050D2CB, 0xFFFFF},    {niso, 0x026B4476, 1u << 16},
        {niso, 0x006B4476, 0x1FFF},     {niso, 0x806B4476, 0xFFFFFFFF}, {niso, 0x00F3C13C, 0xFFFF},
        {niso, 0x6E79E0D8, 1u << 29},   {niso, 0x2E79E0D8, 0},          {niso, 0x8071BD44, 0xFFFFFFFF},
        {niso, 0x0071BD44, 1},          {niso, 0x807EF265, 0xFFFFFFFF}, {niso, 0x8019AEC4, 0xFFFFFFFF},
        {niso, 0x8066C411, 0xFFFFFFFF}, {niso, 0x80BDD9F6, 0xFFFFFFFF}, {niso, 0x809DAF0B, 0xFFFFFFFF},
        {niso, 0x409DAF0B, 0xFFFFFFFF}, {niso, 0x009DAF0B, 0},          {niso, 0xC09DAF0B, 0},
        {niso, 0x802E4163, 0xFFFFFFFF}, {niso, 0x002E4163, 0xFFFFFF},   {niso, 0x80CABC26, 0xFFFFFFFF},
        {unit, 0x380BAEC7, 1u << 7},    {unit, 0x800BAEC7, 0xFFFFFFFF}, {unit, 0x40B6DABB, 0xFFFFFFFF},
        {unit, 0x80B6DABB, 0xFFFFFFFF}, {unit, 0x006681B5, 0x3FFFFF},   {unit, 0x066681B5, 0x3000000},
        {monitor, 0x1AEBA6EC, 1u << 22}, {monitor, 0x02EBA6EC, 0x70000}, {monitor, 0x8032D2B7, 0xFFFFFFFF},
        {monitor, 0x80EA03EC, 0xFFFFFFFF}, {monitor, 0x40EA03EC, 0xFFFF},
        {chip, 0x40E2E837, 0xFFFF},     {chip, 0x80E2E837, 0xFFFFFFFF}, {chip, 0x30BB1955, 0x38},
        {chip, 0x80BB1955, 0xFFFFFFFF},
    };
    for (const Case& c : cases) EXPECT_EQ(armtest::maskOf(*c.map, c.id), c.mask) << c.map->source << std::hex << " 0x" << c.id;
}

}  // namespace

namespace names {
using Niso = kzvorn_regmaps::tTolvaneNisoFpgaRegMap;
using Monitor = kzvorn_regmaps::tIna231PowerMonitorRegMap;
using Unit = kzvorn_regmaps::tTolvaneNisoMeasureUnitRegMap;
using Chip = kzvorn_regmaps::tIna231RegMap;
using nKZAPALS100::tStatus;

// The names the controllers, the shared services and the bring-up bind to; a rename stops the build.
#define KZ_BOUND(member) static_assert(std::is_member_function_pointer<decltype(&member)>::value, #member);
KZ_BOUND(Niso::tNisoTxCreditStatusRegType::readStreamStopped)
KZ_BOUND(Niso::tVrefTemperatureRegType::readFilteredVrefValid)
KZ_BOUND(Niso::tNisoFpgaTemperatureReg::readFilteredNisoTemperatureValid)
KZ_BOUND(Niso::tIsoCommStatusReg::readIsoCommStatus)
KZ_BOUND(Niso::tIsoCommStatusReg::readNisoDcBusStartupComplete)
KZ_BOUND(Niso::tXfmrCtrlStatusReg::readRegister)
KZ_BOUND(Niso::tNisoBcPsDacStatusReg::readRegister)
KZ_BOUND(Niso::tMeasureFifoStatusRegType::readRegister)
KZ_BOUND(Niso::tIsoRegAccessStatusRegType::getNewIsoRegReadResponse)
KZ_BOUND(Niso::tIsoRegAccessStatusRegType::getIsoRegReadyForNewAccess)
KZ_BOUND(Niso::tIsoRegAccessStatusRegType::readRegister)
KZ_BOUND(Niso::tIsoRegAccessReadDataRegType::readRegister)
KZ_BOUND(Niso::tIsoRegAccessAddrRegType::writeRegister)
KZ_BOUND(Niso::tIsoRegAccessWriteDataRegType::writeRegister)
KZ_BOUND(Niso::tNisoTxCreditControlRegType::writeStreamStartStb)
KZ_BOUND(Niso::tNisoTxCreditControlRegType::writeStreamStopStb)
KZ_BOUND(Niso::tNisoTxCreditControlRegType::writeStreamResetEnableStb)
KZ_BOUND(Niso::tNisoTxCreditControlRegType::writeStreamResetDisableStb)
KZ_BOUND(Niso::tPxiTrigConfigRegType::writePxiTrigOutPulseDuration)
KZ_BOUND(Niso::tPxiTrigConfigRegType::writeInvertPxiTrigInPolarity)
KZ_BOUND(Niso::tPxiTrigConfigRegType::writeInvertPxiTrigOutPolarity)
KZ_BOUND(Niso::tPxiTrigConfigRegType::writeEnablePxiTrigBuffOut)
KZ_BOUND(Niso::tPxiTrigConfigRegType::writeEnablePxiTrigOut)
KZ_BOUND(Niso::tIsoRegAccessAddrRegType::writeIsoRegAddr)
KZ_BOUND(Niso::tIsoRegAccessAddrRegType::writeIsoRegAccessType)
KZ_BOUND(Niso::tXfmrCtrlDriveSignalCntRegType::writeDriveCntOff)
KZ_BOUND(Niso::tXfmrCtrlDriveSignalCntRegType::writeDriveCntOn)
KZ_BOUND(Niso::tXfmrCtrlRectSignalCntRegType::writeRectCntOff)
KZ_BOUND(Niso::tXfmrCtrlRectSignalCntRegType::writeRectCntOn)
KZ_BOUND(Niso::tNisoFpgaConfigReg::writeEnableNisoBoardErrorManagerStb)
KZ_BOUND(Niso::tNisoFpgaConfigReg::writeDisableNisoBoardErrorManagerStb)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxMaskIndex)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxClearAllLatchStb)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxClearLatchStb)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceArmMuxStb)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceDisarmMuxStb)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxPosition)
KZ_BOUND(Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxAction)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceInputSourceEnum)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceMuxArmed)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceMuxLatchEnabled)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceInputLatched)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceInputLive)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceMuxPosition)
KZ_BOUND(Niso::tOccurrenceMuxStatusRegType::readOccurrenceInputAllowed)
KZ_BOUND(Niso::tOccurrenceRegType::readOccurrenceEnum)
KZ_BOUND(Niso::tSignatureReg::readRegister)
KZ_BOUND(Monitor::tIna231ReadReg::readRegister)
KZ_BOUND(Monitor::tIna231MeasurementRegType::readRegister)
#undef KZ_BOUND

// The writers' value types, as the accessors are called.
template <class tRegister, class tValue>
using Writer = tRegister& (tRegister::*)(tValue, tStatus&, bool);
static_assert(std::is_same<decltype(&Niso::tIsoRegAccessAddrRegType::writeIsoRegAddr),
                           Writer<Niso::tIsoRegAccessAddrRegType, uint16_t>>::value, "");
static_assert(std::is_same<decltype(&Niso::tIsoRegAccessAddrRegType::writeIsoRegAccessType),
                           Writer<Niso::tIsoRegAccessAddrRegType, bool>>::value, "");
static_assert(std::is_same<decltype(&Niso::tNisoTxCreditControlRegType::writeStreamStopStb),
                           Writer<Niso::tNisoTxCreditControlRegType, bool>>::value, "");
static_assert(std::is_same<decltype(&Niso::tXfmrCtrlDriveSignalCntRegType::writeDriveCntOn),
                           Writer<Niso::tXfmrCtrlDriveSignalCntRegType,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::XfmrCtrlDriveType>>::value, "");
static_assert(std::is_same<decltype(&Niso::tXfmrCtrlRectSignalCntRegType::writeRectCntOff),
                           Writer<Niso::tXfmrCtrlRectSignalCntRegType,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::XfmrCtrlRectType>>::value, "");
static_assert(std::is_same<decltype(&Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxAction),
                           Writer<Niso::tOccurrenceMuxConfigRegType,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::OccurrenceMuxActionType>>::value, "");
static_assert(std::is_same<decltype(&Niso::tOccurrenceMuxConfigRegType::writeOccurrenceMuxMaskIndex),
                           Writer<Niso::tOccurrenceMuxConfigRegType,
                                  kzvorn_regmaps::nTolvaneNisoFpgaRegMap::OccurrenceMuxMaskIndexType>>::value, "");
static_assert(kzvorn_regmaps::nTolvaneDcBusConstants::kIsoRegAccessRead == 1 &&
                  kzvorn_regmaps::nTolvaneDcBusConstants::kIsoRegAccessWrite == 0,
              "access types: read 1, write 0");
static_assert(sizeof(kzvorn_regmaps::nTolvaneNisoFpgaRegMap::XfmrCtrlDriveType) == 2 &&
                  sizeof(kzvorn_regmaps::nTolvaneNisoFpgaRegMap::XfmrCtrlRectType) == 2,
              "the transformer counts are 16-bit values");
}  // namespace names
