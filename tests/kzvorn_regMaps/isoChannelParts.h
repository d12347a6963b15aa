// The isolated channel map as its descriptions give it, typed here independently of the
// declaration the tests check: each register type's kind, register count, keep mask and field
// layouts ("lo+width" a field, "a..b" a one-bit field at each bit, "n" one bit), and each register's
// row, offset, type and whole-register identifier. From these come the map's identifiers and what
// each operation accepts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "partTables.h"

namespace isoparts {

enum Kind { RW, WO, RO, PENDING, UNSHADOWED };
constexpr uint32_t ALL = 0xFFFFFFFF;

struct Type {
    const char* name;
    Kind kind;
    unsigned registers;
    uint32_t keep;
    const char* write;
    const char* read = "";  // the read layout, where it differs
};

struct Row {
    unsigned number;
    uint32_t offset;
    const char* type;
    uint32_t whole;
};

using parts::Field;
using parts::lowestBitCode;

inline std::vector<Field> layout(const std::string& text) {
    std::vector<Field> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(at, end - at);
        const size_t plus = item.find('+'), dots = item.find("..");
        const unsigned low = unsigned(std::stoul(item));
        if (plus != std::string::npos) {
            out.push_back(Field{low, unsigned(std::stoul(item.substr(plus + 1)))});
        } else {
            const unsigned high = dots == std::string::npos ? low : unsigned(std::stoul(item.substr(dots + 2)));
            for (unsigned bit = low; bit <= high; ++bit) out.push_back(Field{bit, 1});
        }
        at = end + 1;
    }
    return out;
}

// clang-format off
// type, kind, registers, keep mask, write layout, read layout (pending-strobe types)
inline const std::vector<Type> kTypes = {
    {"tIsoChannelConfigReg", WO, 1, 0x78C0FC0C, "0+1 1+1 2..9 16..21 24..26 31"},
    {"tIsoChannelStatusReg", RO, 1, ALL, "0..1 24..31"},
    {"tControlModeRegType", RW, 4, ALL, "0+2"},
    {"tDataTransferReg", WO, 1, 0xFFFFE000, "0..12"},
    {"tCommandFifoFullnessReg", RW, 1, ALL, "0+32"},
    {"tSequencerBranchReg", WO, 1, ALL, "0+32"},
    {"tSequencerDontBranchReg", WO, 1, ALL, "0+32"},
    {"tIsoSeqStreamControllerDebugReg", RW, 1, ALL, "0+16 16+3"},
    {"tSequencerDebugReg", RO, 1, ALL, "0+15 15+1 16+3 19..25 26+3 29+2"},
    {"tActualOutputConnectedStateReg", RW, 1, ALL, "0+2"},
    {"tGangingModeRegType", RW, 5, ALL, "0+2"},
    {"tOutputSenseRegType", RW, 2, ALL, "0+2"},
    {"tFunctionSelectRegType", RW, 3, ALL, "0+1"},
    {"tCurrentRangeRegType", RW, 19, ALL, "0+3"},
    {"tVoltageRangeRegType", RW, 9, ALL, "0+2"},
    {"tTransientResponseRegType", RW, 6, ALL, "0+2"},
    {"tDitherConfigReg", WO, 1, 0xFFFFF8F8, "0+3 8+3"},
    {"tOccurrenceMuxConfigRegType", WO, 23, 0x0F00C3F8, "0+3 10+1 11+1 12+1 13+1 16+8 28+4"},
    {"tOccurrenceMuxStatusRegType", RW, 21, ALL, "0+12 12+1 13+1 14+1 15+1 16+8 24+8"},
    {"tChEventGenerationReg", WO, 1, 0x3FFFFFC0, "0..5 30..31"},
    {"tTimerRegType", WO, 3, 0x00000000, "0+32"},
    {"tSoftwareInterruptAndOverrideReg", WO, 1, 0xFFE0FFC0, "0..5 16+5"},
    {"tOccurrenceRegType", RW, 3, ALL, "0+12"},
    {"tMeasureCompleteDelayReg", WO, 1, ALL, "0+32"},
    {"tIsoInterruptConfigReg", WO, 1, 0xFFFFFF88, "0+3 4+3"},
    {"tIsoInterruptAddressReg", WO, 1, ALL, "0+32"},
    {"tChannelEventLatchClearReg", WO, 1, 0x00000000, "0+32"},
    {"tChannelEventLatchStatusReg", RO, 1, ALL, "0+32"},
    {"tChargeBalanceOffsetRegT", RW, 4, ALL, "0+14"},
    {"tChargeBalancerControlRegT", WO, 1, 0xFFFFFFF0, "0..3"},
    {"tChargeBalancerStatusRegT", RO, 1, ALL, "0..2 4..6 8..10 12..14"},
    {"tCalGainRegType", UNSHADOWED, 8, ALL, "0+24"},
    {"tVoltageRangeOutputSensePtrRegType", RW, 2, ALL, "0+4"},
    {"tCalOffsetRegType", UNSHADOWED, 8, ALL, "0+31"},
    {"tCalibratedDataRegType", RW, 4, ALL, "0+14 16+2"},
    {"tCmcGainRegType", UNSHADOWED, 4, ALL, "0+24"},
    {"tResistanceGainRegType", RW, 4, ALL, "0+25"},
    {"tPoleZeroGainRegType", UNSHADOWED, 4, ALL, "0+18"},
    {"tCurrentRangeResponsePtrRegType", RW, 8, ALL, "0+5"},
    {"tPoleGainRegType", UNSHADOWED, 4, ALL, "0+15"},
    {"tZeroGainRegType", UNSHADOWED, 4, ALL, "0+18"},
    {"tSetpointRegType", RW, 2, ALL, "0+32"},
    {"tLimitRegType", RW, 4, ALL, "0+32"},
    {"tGainBandwidthRegType", UNSHADOWED, 4, ALL, "0+32"},
    {"tFastDacScalingRegType", UNSHADOWED, 4, ALL, "0+32"},
    {"tSlowDacScalingRegType", UNSHADOWED, 4, ALL, "0+32"},
    {"tPredictiveRangeControlStgReg", WO, 1, 0xFFFFFFFE, "0+1"},
    {"tPredictiveRangeGainTableReg", RW, 1, ALL, "0+32"},
    {"tPredictiveRangeGainPtrReg", RW, 1, ALL, "0+6"},
    {"tDacOverrideControlRegType", RW, 2, ALL, "0+8 31+1"},
    {"tDacOverrideThresholdRegType", RW, 3, ALL, "0+14"},
    {"tOutputPoleZeroGainRegType", UNSHADOWED, 2, ALL, "0+18"},
    {"tOutputZeroGainRegType", UNSHADOWED, 2, ALL, "0+18"},
    {"tDirectDacControlReg", RW, 1, ALL, "0+22"},
    {"tCoarseFineDacControlReg", RW, 1, ALL, "0+12 16+12"},
    {"tDacConfigStatusReg", RO, 1, ALL, "0+8 30..31"},
    {"tDacConfigAccessReg", WO, 1, 0xFFFF0000, "0+8 8+8"},
    {"tDacResetReg", WO, 1, ALL, "0+1"},
    {"tCicFilterConfigRegType", RW, 3, ALL, "0+22 24+2 28+3 31+1"},
    {"tMuCtrlRegType", WO, 3, 0xFFFFFCC8, "0+1 1+1 2+1 4+1 5+1 8+1 9+1"},
    {"tMuStatusRegType", RO, 3, ALL, "0..4"},
    {"tMuRecordConfigRegType", RW, 3, ALL, "0+25 28+1"},
    {"tLatestPointRegType", RO, 6, ALL, "0+32"},
    {"tCurrentSwitchesControlStgReg", WO, 1, 0xFFF00000, "0+2 2+2 4+2 6+2 8+2 10+2 12+2 14+2 16+3 19+1"},
    {"tCurrentSwitchesStatusLiveReg", RO, 1, ALL, "0+2 2+2 4+2 6+2 8+2 10+2 12+2 14+2 16+3"},
    {"tSsrEmrSenseSwitchesControlStgReg", WO, 1, 0x3FFF8000, "0+2 2+2 4+2 6+2 8+2 10+2 12+2 14+1 30+2"},
    {"tSsrEmrSenseSwitchesStatusLiveReg", RO, 1, ALL, "0+2 2+2 4+2 6+2 8+2 10+2 12+3 30+2"},
    {"tVoltageSwitchesControlStgReg", WO, 1, 0xFFFFFFFC, "0..1"},
    {"tVoltageSwitchesStatusLiveReg", RO, 1, ALL, "0+1"},
    {"tSelfCalSwitchesControlStgReg", WO, 1, 0xFFFFFF80, "0+2 2+2 4+1 5+2"},
    {"tSelfCalSwitchesStatusLiveReg", RO, 1, ALL, "0+2 2+2 5+2"},
    {"tOcpConfigRegType", RW, 2, ALL, "0+16 16+6 24+8"},
    {"tOvpConfigRegType", RW, 2, ALL, "0+11 16+6"},
    {"tUserAlmThresholdRegType", RW, 8, ALL, "0+14"},
    {"tSenseLeadDropAlmThresholdRegType", RW, 4, ALL, "0+14"},
    {"tOvpDebugAccessStgReg", RW, 1, ALL, "0+14 16+14"},
    {"tOcpThresholdTableRegType", RW, 1, ALL, "0+14"},
    {"tSequencerDataRamAddressRegType", RW, 2, ALL, "0+15"},
    {"tSequencerDataRamDataReg", RW, 1, ALL, "0+32"},
    {"tGangBalancerVLimitRegType", RW, 4, ALL, "0+14"},
    {"tServoGainBandwidthRegType", UNSHADOWED, 2, ALL, "0+13"},
    {"tCurrentRangeVoltageRangePtrRegType", RW, 1, ALL, "0+5"},
    {"tAutorangeControlStatusReg", PENDING, 1, 0xFCF55FF5,
     "0+1 1+1 2+1 3+1 11+2 13+1 14+1 15+1 16+1 17+1 18+1 19+1 24+1 25+1", "0 2 11+2 14 16 18 24 25"},
    {"tAutorangeThresholdRegType", RW, 2, ALL, "0+31 31+1"},
    {"tAutorangeDownThresholdMinMaxFilterConfigStatus", PENDING, 3, 0xFFFFFFFC, "0+1 1+1", "0"},
    {"tAutorangeDownThresholdSampleRegType", RW, 2, ALL, "0+18"},
    {"tProtectionConfigurationRegType", RW, 2, ALL, "0+16 30+1 31+1"},
    {"tMuHoldoffControlRegType", WO, 3, 0x7E000000, "0+24 24+1 31+1"},
    {"tChScratchRegType", RW, 16, ALL, "0+32"},
    {"tRfuRegType", RW, 8, ALL, "0+32"},
};

// row, offset, type, whole-register identifier
inline const std::vector<Row> kRows = {
    {1, 0x000, "tIsoChannelConfigReg", 0x800DCE7E},
    {2, 0x000, "tIsoChannelStatusReg", 0x805476FC},
    {3, 0x001, "tControlModeRegType", 0x8015DC6B},
    {4, 0x002, "tDataTransferReg", 0x807512A9},
    {5, 0x003, "tCommandFifoFullnessReg", 0x80B1F0DE},
    {6, 0x004, "tSequencerBranchReg", 0x80EBC800},
    {7, 0x005, "tSequencerDontBranchReg", 0x805AFFBF},
    {8, 0x006, "tIsoSeqStreamControllerDebugReg", 0x800CD6BA},
    {9, 0x007, "tSequencerDebugReg", 0x80A6EEEB},
    {10, 0x008, "tActualOutputConnectedStateReg", 0x806CEFF5},
    {11, 0x009, "tGangingModeRegType", 0x80E7F485},
    {12, 0x00A, "tOutputSenseRegType", 0x80630CB9},
    {13, 0x00B, "tFunctionSelectRegType", 0x80CB1C75},
    {14, 0x00C, "tCurrentRangeRegType", 0x801E9AA9},
    {15, 0x00D, "tVoltageRangeRegType", 0x80A875E5},
    {16, 0x00E, "tTransientResponseRegType", 0x805855C6},
    {17, 0x00F, "tTransientResponseRegType", 0x800B6B41},
    {18, 0x010, "tDitherConfigReg", 0x801C44F6},
    {19, 0x020, "tOccurrenceMuxConfigRegType", 0x80EC3526},
    {20, 0x020, "tOccurrenceMuxStatusRegType", 0x8075712F},
    {21, 0x021, "tOccurrenceMuxConfigRegType", 0x80CB5593},
    {22, 0x021, "tOccurrenceMuxStatusRegType", 0x803A510A},
    {23, 0x022, "tOccurrenceMuxConfigRegType", 0x80EF3D7C},
    {24, 0x022, "tOccurrenceMuxStatusRegType", 0x8044171D},
    {25, 0x023, "tOccurrenceMuxConfigRegType", 0x80BE5675},
    {26, 0x023, "tOccurrenceMuxStatusRegType", 0x804FF236},
    {27, 0x024, "tOccurrenceMuxConfigRegType", 0x80E22859},
    {28, 0x024, "tOccurrenceMuxStatusRegType", 0x80E41722},
    {29, 0x025, "tOccurrenceMuxConfigRegType", 0x8012C0C5},
    {30, 0x025, "tOccurrenceMuxStatusRegType", 0x80B44203},
    {31, 0x026, "tOccurrenceMuxConfigRegType", 0x80390661},
    {32, 0x026, "tOccurrenceMuxStatusRegType", 0x8045885A},
    {33, 0x027, "tOccurrenceMuxConfigRegType", 0x80A400BD},
    {34, 0x027, "tOccurrenceMuxStatusRegType", 0x80375DAD},
    {35, 0x028, "tOccurrenceMuxConfigRegType", 0x8016B9C1},
    {36, 0x028, "tOccurrenceMuxStatusRegType", 0x80AF5C63},
    {37, 0x029, "tOccurrenceMuxConfigRegType", 0x80717208},
    {38, 0x029, "tOccurrenceMuxStatusRegType", 0x80F3E51D},
    {39, 0x02A, "tOccurrenceMuxConfigRegType", 0x80C359BD},
    {40, 0x02A, "tOccurrenceMuxStatusRegType", 0x806F34DE},
    {41, 0x035, "tOccurrenceMuxConfigRegType", 0x80A2C17D},
    {42, 0x035, "tOccurrenceMuxConfigRegType", 0x803EA104},
    {43, 0x040, "tChEventGenerationReg", 0x804709D0},
    {44, 0x043, "tTimerRegType", 0x8047B75A},
    {45, 0x044, "tSoftwareInterruptAndOverrideReg", 0x80E3B02B},
    {46, 0x045, "tOccurrenceRegType", 0x80E050CA},
    {47, 0x046, "tOccurrenceRegType", 0x8084EE5B},
    {48, 0x047, "tOccurrenceRegType", 0x80878BBF},
    {49, 0x048, "tMeasureCompleteDelayReg", 0x80B04F73},
    {50, 0x049, "tIsoInterruptConfigReg", 0x8041C376},
    {51, 0x04A, "tIsoInterruptAddressReg", 0x804C6D23},
    {52, 0x04B, "tChannelEventLatchClearReg", 0x80ECA930},
    {53, 0x04B, "tChannelEventLatchStatusReg", 0x80CA0C05},
    {54, 0x05C, "tChargeBalancerControlRegT", 0x8013A1D2},
    {55, 0x05C, "tChargeBalancerStatusRegT", 0x804509BB},
    {56, 0x060, "tCalGainRegType", 0x808BC0BD},
    {57, 0x061, "tVoltageRangeOutputSensePtrRegType", 0x80052A14},
    {58, 0x062, "tCalGainRegType", 0x80A24D13},
    {59, 0x063, "tCalOffsetRegType", 0x805B56BB},
    {60, 0x064, "tVoltageRangeOutputSensePtrRegType", 0x80017E6E},
    {61, 0x065, "tCalOffsetRegType", 0x8004100C},
    {62, 0x066, "tVoltageRangeRegType", 0x8090327F},
    {63, 0x068, "tCalGainRegType", 0x80CF4286},
    {64, 0x069, "tCurrentRangeRegType", 0x8077900A},
    {65, 0x06A, "tCalGainRegType", 0x80496665},
    {66, 0x06B, "tCalOffsetRegType", 0x80A7ED90},
    {67, 0x06C, "tCurrentRangeRegType", 0x80689D56},
    {68, 0x06D, "tCalOffsetRegType", 0x80CA9892},
    {69, 0x06E, "tCurrentRangeRegType", 0x805A46E9},
    {70, 0x070, "tCalGainRegType", 0x80B4FB27},
    {71, 0x071, "tCalGainRegType", 0x805DB88E},
    {72, 0x072, "tCalOffsetRegType", 0x809872AF},
    {73, 0x073, "tCalOffsetRegType", 0x8005846C},
    {74, 0x074, "tOutputSenseRegType", 0x808E77CF},
    {75, 0x078, "tCalGainRegType", 0x80451D51},
    {76, 0x079, "tCalGainRegType", 0x80952CD1},
    {77, 0x07A, "tCalOffsetRegType", 0x80F3DACA},
    {78, 0x07B, "tCalOffsetRegType", 0x806E6BA0},
    {79, 0x07C, "tCalibratedDataRegType", 0x80D73EFA},
    {80, 0x07D, "tCalibratedDataRegType", 0x80C6E553},
    {81, 0x07E, "tCalibratedDataRegType", 0x80F11BDA},
    {82, 0x07F, "tCalibratedDataRegType", 0x80D69F2A},
    {83, 0x088, "tCmcGainRegType", 0x804BB3A5},
    {84, 0x089, "tCurrentRangeRegType", 2154038554u},
    {85, 0x08A, "tCmcGainRegType", 0x80A9A623},
    {86, 0x08B, "tCmcGainRegType", 0x808BCD3E},
    {87, 0x08C, "tCmcGainRegType", 0x80C771A7},
    {88, 0x08D, "tCurrentRangeRegType", 0x805FA0F9},
    {89, 0x090, "tCurrentRangeRegType", 0x80678B13},
    {90, 0x091, "tVoltageRangeRegType", 0x805977F4},
    {91, 0x092, "tGangingModeRegType", 0x80A622CB},
    {92, 0x093, "tGangingModeRegType", 0x80FA9D7E},
    {93, 0x0A0, "tResistanceGainRegType", 0x80270B77},
    {94, 0x0A1, "tResistanceGainRegType", 0x808E92CA},
    {95, 0x0A2, "tResistanceGainRegType", 0x807CA6E6},
    {96, 0x0A3, "tResistanceGainRegType", 0x80A48895},
    {97, 0x0B0, "tCurrentRangeRegType", 0x80F5E516},
    {98, 0x0B1, "tTransientResponseRegType", 0x80FF375C},
    {99, 0x0B2, "tPoleZeroGainRegType", 0x80491459},
    {100, 0x0B3, "tCurrentRangeResponsePtrRegType", 0x8064D702},
    {101, 0x0B4, "tPoleZeroGainRegType", 0x8065AEBD},
    {102, 0x0B5, "tPoleGainRegType", 0x80162DDD},
    {103, 0x0B6, "tCurrentRangeResponsePtrRegType", 0x8076C8D6},
    {104, 0x0B7, "tPoleGainRegType", 0x80D96932},
    {105, 0x0B8, "tZeroGainRegType", 0x80F5916A},
    {106, 0x0B9, "tCurrentRangeResponsePtrRegType", 0x80578AF9},
    {107, 0x0BA, "tZeroGainRegType", 0x8093FABA},
    {108, 0x0C1, "tTransientResponseRegType", 0x80CB78A3},
    {109, 0x0C2, "tPoleZeroGainRegType", 0x804A8E48},
    {110, 0x0C3, "tCurrentRangeResponsePtrRegType", 0x807332F8},
    {111, 0x0C4, "tPoleZeroGainRegType", 0x80BD840F},
    {112, 0x0C5, "tPoleGainRegType", 0x80A39DA3},
    {113, 0x0C6, "tCurrentRangeResponsePtrRegType", 0x80A7EDB0},
    {114, 0x0C7, "tPoleGainRegType", 0x8053BD78},
    {115, 0x0C8, "tZeroGainRegType", 0x804105A3},
    {116, 0x0C9, "tCurrentRangeResponsePtrRegType", 0x80619C33},
    {117, 0x0CA, "tZeroGainRegType", 0x804803AD},
    {118, 0x0D0, "tFunctionSelectRegType", 0x808C8E33},
    {119, 0x0D1, "tSetpointRegType", 0x803550DD},
    {120, 0x0D2, "tSetpointRegType", 0x8043F62D},
    {121, 0x0D3, "tLimitRegType", 0x80D99B04},
    {122, 0x0D4, "tLimitRegType", 0x80E7FFB9},
    {123, 0x0D5, "tLimitRegType", 0x807AA7B9},
    {124, 0x0D6, "tLimitRegType", 0x802CA226},
    {125, 0x0E0, "tFunctionSelectRegType", 0x809CBAAD},
    {126, 0x0E1, "tCurrentRangeRegType", 0x8053E0DA},
    {127, 0x0E2, "tTransientResponseRegType", 0x80E1D19F},
    {128, 0x0E3, "tGainBandwidthRegType", 0x80C43F99},
    {129, 0x0E4, "tCurrentRangeResponsePtrRegType", 0x80D6651E},
    {130, 0x0E5, "tGainBandwidthRegType", 0x80A2F689},
    {131, 0x0E6, "tVoltageRangeRegType", 0x8061DF58},
    {132, 0x0E7, "tTransientResponseRegType", 0x80B60D1E},
    {133, 0x0E8, "tGainBandwidthRegType", 0x808FE63D},
    {134, 0x0E9, "tCurrentRangeResponsePtrRegType", 0x8052EB36},
    {135, 0x0EA, "tGainBandwidthRegType", 0x80C7AAE5},
    {136, 0x0F0, "tFastDacScalingRegType", 0x809AA63B},
    {137, 0x0F1, "tCurrentRangeRegType", 0x80219499},
    {138, 0x0F2, "tFastDacScalingRegType", 0x8064A359},
    {139, 0x0F3, "tSlowDacScalingRegType", 0x801E363B},
    {140, 0x0F4, "tCurrentRangeRegType", 0x8024B403},
    {141, 0x0F5, "tSlowDacScalingRegType", 0x809E8FF4},
    {142, 0x0F6, "tFastDacScalingRegType", 0x8086C1E8},
    {143, 0x0F7, "tVoltageRangeRegType", 0x8095481D},
    {144, 0x0F8, "tFastDacScalingRegType", 0x80F7FDFE},
    {145, 0x0F9, "tSlowDacScalingRegType", 0x80DBB679},
    {146, 0x0FA, "tVoltageRangeRegType", 0x80C400D3},
    {147, 0x0FB, "tSlowDacScalingRegType", 0x8090EE2D},
    {148, 0x110, "tControlModeRegType", 0x8063EF1A},
    {149, 0x111, "tControlModeRegType", 0x8051869C},
    {150, 0x112, "tCurrentRangeRegType", 0x8052AC1D},
    {151, 0x113, "tPredictiveRangeControlStgReg", 0x8010DFF1},
    {152, 0x114, "tPredictiveRangeGainTableReg", 0x80FA9361},
    {153, 0x115, "tPredictiveRangeGainPtrReg", 0x80F0CAC1},
    {154, 0x116, "tCurrentRangeRegType", 0x804756D9},
    {155, 0x117, "tDacOverrideControlRegType", 0x8048F60C},
    {156, 0x118, "tDacOverrideControlRegType", 0x8024E988},
    {157, 0x119, "tDacOverrideThresholdRegType", 0x80B7AD37},
    {158, 0x11A, "tCurrentRangeRegType", 0x80999BDB},
    {159, 0x11B, "tDacOverrideThresholdRegType", 0x80406AA0},
    {160, 0x120, "tOutputPoleZeroGainRegType", 0x806F5BF0},
    {161, 0x121, "tOutputPoleZeroGainRegType", 0x807C4BB8},
    {162, 0x122, "tOutputZeroGainRegType", 0x80A6A56C},
    {163, 0x123, "tOutputZeroGainRegType", 0x80A2093D},
    {164, 0x128, "tDirectDacControlReg", 0x802E9C0C},
    {165, 0x129, "tCoarseFineDacControlReg", 0x80FA4A9F},
    {166, 0x12A, "tDacConfigStatusReg", 0x8095EF5E},
    {167, 0x12B, "tDacConfigAccessReg", 0x80CE74C2},
    {168, 0x12C, "tDacResetReg", 0x80B1F6CF},
    {169, 0x12D, "tControlModeRegType", 0x8097C129},
    {170, 0x140, "tCurrentSwitchesControlStgReg", 0x80F89E9F},
    {171, 0x141, "tCurrentSwitchesStatusLiveReg", 0x80788BE9},
    {172, 0x142, "tSsrEmrSenseSwitchesControlStgReg", 0x80844017},
    {173, 0x143, "tSsrEmrSenseSwitchesStatusLiveReg", 0x80A4ABED},
    {174, 0x144, "tVoltageSwitchesControlStgReg", 0x807D356A},
    {175, 0x145, "tVoltageSwitchesStatusLiveReg", 0x80873A28},
    {176, 0x146, "tSelfCalSwitchesControlStgReg", 0x80CFAF18},
    {177, 0x147, "tSelfCalSwitchesStatusLiveReg", 0x8092841E},
    {178, 0x150, "tOcpConfigRegType", 0x803D66A3},
    {179, 0x151, "tOcpConfigRegType", 0x80DE9120},
    {180, 0x152, "tOvpConfigRegType", 0x80D69E68},
    {181, 0x153, "tOvpConfigRegType", 0x8020716B},
    {182, 0x154, "tCurrentRangeRegType", 0x80AF1887},
    {183, 0x155, "tUserAlmThresholdRegType", 0x80DBCE6D},
    {184, 0x156, "tUserAlmThresholdRegType", 0x80C22A66},
    {185, 0x157, "tUserAlmThresholdRegType", 0x80DE7F3E},
    {186, 0x158, "tUserAlmThresholdRegType", 0x80455DFE},
    {187, 0x159, "tCurrentRangeRegType", 0x80F52981},
    {188, 0x15A, "tVoltageRangeRegType", 0x80B13CBA},
    {189, 0x15B, "tUserAlmThresholdRegType", 0x80B550A4},
    {190, 0x15C, "tUserAlmThresholdRegType", 0x80F12642},
    {191, 0x15D, "tUserAlmThresholdRegType", 0x802E36CA},
    {192, 0x15E, "tUserAlmThresholdRegType", 0x809F262E},
    {193, 0x15F, "tVoltageRangeRegType", 0x80B2EF52},
    {194, 0x160, "tSenseLeadDropAlmThresholdRegType", 0x80BFBF56},
    {195, 0x161, "tSenseLeadDropAlmThresholdRegType", 0x80B1E676},
    {196, 0x162, "tSenseLeadDropAlmThresholdRegType", 0x803A216F},
    {197, 0x163, "tSenseLeadDropAlmThresholdRegType", 0x80B62934},
    {198, 0x164, "tOvpDebugAccessStgReg", 0x80123988},
    {199, 0x165, "tCurrentRangeRegType", 0x80FA6D33},
    {200, 0x166, "tOcpThresholdTableRegType", 0x80AEF2F5},
    {201, 0x167, "tCurrentRangeRegType", 0x802A87CF},
    {202, 0x168, "tDacOverrideThresholdRegType", 0x804AF9B1},
    {203, 0x170, "tSequencerDataRamAddressRegType", 0x80037810},
    {204, 0x171, "tSequencerDataRamAddressRegType", 0x80FA8A60},
    {205, 0x172, "tSequencerDataRamDataReg", 0x80970C2E},
    {206, 0x180, "tGangBalancerVLimitRegType", 0x8003CBE3},
    {207, 0x181, "tGangBalancerVLimitRegType", 0x800EDC41},
    {208, 0x182, "tGangBalancerVLimitRegType", 0x8070E764},
    {209, 0x183, "tGangBalancerVLimitRegType", 0x80CBFF4E},
    {210, 0x184, "tServoGainBandwidthRegType", 0x80BE328F},
    {211, 0x185, "tCurrentRangeVoltageRangePtrRegType", 0x80C98288},
    {212, 0x186, "tServoGainBandwidthRegType", 0x80F69D39},
    {213, 0x187, "tCurrentRangeRegType", 0x80DC5D6F},
    {214, 0x188, "tVoltageRangeRegType", 0x807C488C},
    {215, 0x189, "tGangingModeRegType", 0x8011CC6A},
    {216, 0x190, "tAutorangeControlStatusReg", 0x806A4830},
    {217, 0x191, "tAutorangeThresholdRegType", 0x800296E5},
    {218, 0x192, "tAutorangeThresholdRegType", 0x80D7A92B},
    {219, 0x193, "tGangingModeRegType", 0x80B985E1},
    {220, 0x197, "tAutorangeDownThresholdSampleRegType", 0x8030E34D},
    {221, 0x198, "tAutorangeDownThresholdSampleRegType", 0x80B96075},
    {222, 0x199, "tProtectionConfigurationRegType", 0x80D71F76},
    {223, 0x19A, "tProtectionConfigurationRegType", 0x80D9E9F6},
    {224, 0x02B, "tOccurrenceMuxConfigRegType", 0x806D82A8},
    {225, 0x02C, "tOccurrenceMuxConfigRegType", 0x80A54348},
    {226, 0x02D, "tOccurrenceMuxConfigRegType", 0x80D7BA24},
    {227, 0x02E, "tOccurrenceMuxConfigRegType", 0x806DB7D1},
    {228, 0x02F, "tOccurrenceMuxConfigRegType", 0x80C9C6F2},
    {229, 0x02B, "tOccurrenceMuxStatusRegType", 0x80A4E287},
    {230, 0x02C, "tOccurrenceMuxStatusRegType", 0x80552C89},
    {231, 0x02D, "tOccurrenceMuxStatusRegType", 0x807A20C7},
    {232, 0x02E, "tOccurrenceMuxStatusRegType", 0x80FDB575},
    {233, 0x02F, "tOccurrenceMuxStatusRegType", 0x80917386},
    {234, 0x030, "tOccurrenceMuxConfigRegType", 0x80FC0D62},
    {235, 0x031, "tOccurrenceMuxConfigRegType", 0x8089EABB},
    {236, 0x032, "tOccurrenceMuxConfigRegType", 0x80EBB920},
    {237, 0x033, "tOccurrenceMuxConfigRegType", 0x80CEE846},
    {238, 0x034, "tOccurrenceMuxConfigRegType", 0x80365D5B},
    {239, 0x030, "tOccurrenceMuxStatusRegType", 0x8066EC29},
    {240, 0x031, "tOccurrenceMuxStatusRegType", 0x8087258D},
    {241, 0x032, "tOccurrenceMuxStatusRegType", 0x8024ABA6},
    {242, 0x033, "tOccurrenceMuxStatusRegType", 0x80D45DDD},
    {243, 0x034, "tOccurrenceMuxStatusRegType", 0x80C5DFCB},
    {244, 0x041, "tTimerRegType", 0x80CFCAC1},
    {245, 0x042, "tTimerRegType", 0x8008A413},
    {246, 0x058, "tChargeBalanceOffsetRegT", 0x806D4DA9},
    {247, 0x059, "tChargeBalanceOffsetRegT", 0x802484A1},
    {248, 0x05A, "tChargeBalanceOffsetRegT", 0x80B19644},
    {249, 0x05B, "tChargeBalanceOffsetRegT", 0x8034DE55},
    {250, 0x130, "tCicFilterConfigRegType", 0x80EB6D8A},
    {251, 0x131, "tCicFilterConfigRegType", 0x80222A61},
    {252, 0x132, "tCicFilterConfigRegType", 0x80E51B4D},
    {253, 0x133, "tMuCtrlRegType", 0x8094F055},
    {254, 0x134, "tMuCtrlRegType", 0x8049B5E3},
    {255, 0x135, "tMuCtrlRegType", 0x80C6A3F3},
    {256, 0x133, "tMuStatusRegType", 0x80787BBA},
    {257, 0x134, "tMuStatusRegType", 0x8028BA83},
    {258, 0x135, "tMuStatusRegType", 0x809A0118},
    {259, 0x136, "tMuRecordConfigRegType", 0x8066B657},
    {260, 0x137, "tMuRecordConfigRegType", 0x808CE2BA},
    {261, 0x138, "tMuRecordConfigRegType", 0x80EBAE2C},
    {262, 0x139, "tLatestPointRegType", 0x80B41536},
    {263, 0x13A, "tLatestPointRegType", 0x8023FB48},
    {264, 0x13B, "tLatestPointRegType", 0x80C06661},
    {265, 0x13C, "tLatestPointRegType", 0x8037E145},
    {266, 0x13D, "tLatestPointRegType", 0x80AB6E77},
    {267, 0x13E, "tLatestPointRegType", 0x80D27F89},
    {268, 0x194, "tAutorangeDownThresholdMinMaxFilterConfigStatus", 0x80184F16},
    {269, 0x195, "tAutorangeDownThresholdMinMaxFilterConfigStatus", 0x8064FD75},
    {270, 0x196, "tAutorangeDownThresholdMinMaxFilterConfigStatus", 0x802422DE},
    {271, 0x1A0, "tMuHoldoffControlRegType", 0x8057751C},
    {272, 0x1A1, "tMuHoldoffControlRegType", 0x8017DCED},
    {273, 0x1A2, "tMuHoldoffControlRegType", 0x80BA528C},
    {274, 0x1D0, "tChScratchRegType", 0x80A398E1},
    {275, 0x1D1, "tChScratchRegType", 0x80368DDD},
    {276, 0x1D2, "tChScratchRegType", 0x80C9F6FA},
    {277, 0x1D3, "tChScratchRegType", 0x80C20EEF},
    {278, 0x1D4, "tChScratchRegType", 0x80EA6344},
    {279, 0x1D5, "tChScratchRegType", 0x80A856C0},
    {280, 0x1D6, "tChScratchRegType", 0x8019E4DE},
    {281, 0x1D7, "tChScratchRegType", 0x802B2840},
    {282, 0x1D8, "tChScratchRegType", 0x80F87FF0},
    {283, 0x1D9, "tChScratchRegType", 0x802E9405},
    {284, 0x1DA, "tChScratchRegType", 0x80FC507E},
    {285, 0x1DB, "tChScratchRegType", 0x806FA3CD},
    {286, 0x1DC, "tChScratchRegType", 0x80CA1E25},
    {287, 0x1DD, "tChScratchRegType", 0x802095F8},
    {288, 0x1DE, "tChScratchRegType", 0x80595F9A},
    {289, 0x1DF, "tChScratchRegType", 0x80097D67},
    {290, 0x1F8, "tRfuRegType", 0x807B0FBE},
    {291, 0x1F9, "tRfuRegType", 0x8016A793},
    {292, 0x1FA, "tRfuRegType", 0x80A27CC3},
    {293, 0x1FB, "tRfuRegType", 0x803B0779},
    {294, 0x1FC, "tRfuRegType", 0x8012195C},
    {295, 0x1FD, "tRfuRegType", 0x8048EE5D},
    {296, 0x1FE, "tRfuRegType", 0x809E6D2D},
    {297, 0x1FF, "tRfuRegType", 0x80C84A1D},
};
// clang-format on

inline const Type& typeOf(const Row& row) {
    for (const Type& t : kTypes)
        if (std::string(t.name) == row.type) return t;
    std::fprintf(stderr, "no type %s\n", row.type);
    std::abort();
}

inline uint32_t keyOf(const Row& row) { return row.whole & 0xFFFFFF; }

// The row of the register of a type at an offset (the first, where there are two).
inline const Row& rowAt(const char* type, uint32_t offset) {
    for (const Row& r : kRows)
        if (r.offset == offset && std::string(r.type) == type) return r;
    std::fprintf(stderr, "no %s at 0x%03X\n", type, offset);
    std::abort();
}

// The map as the tables give it, worked out once: each row's type and layouts, and every
// identifier with what it names (a row, one of its fields or -1 for the whole register, and
// whether the field or whole identifier belongs to the read layout).
struct Named {
    int row = -1;
    int field = -1;
    bool readLayout = false;
};

struct Model {
    std::vector<const Type*> type;                  // by row
    std::vector<std::vector<Field>> write, read;    // by row
    std::map<uint32_t, Named> ids;

    bool onStrobes(size_t row, const Field& f) const { return (f.mask() & ~uint64_t(type[row]->keep)) != 0; }
    uint32_t address(size_t row) const { return kRows[row].offset; }
};

// Identifiers: whole registers (both sides of a pending-strobe register), every field of the write
// layouts (with the read-side bit on read-only registers) and the read-layout fields that lie on
// strobe bits (with the read-side bit).
inline const Model& model() {
    static const Model m = [] {
        Model m;
        for (size_t r = 0; r < kRows.size(); ++r) {
            const Type& t = typeOf(kRows[r]);
            m.type.push_back(&t);
            m.write.push_back(layout(t.write));
            m.read.push_back(layout(t.read));
            const uint32_t key = keyOf(kRows[r]);
            m.ids[0x80000000u | key] = Named{int(r), -1, false};
            if (t.kind == PENDING) m.ids[0xC0000000u | key] = Named{int(r), -1, true};
            for (size_t f = 0; f < m.write[r].size(); ++f)
                m.ids[key | lowestBitCode(m.write[r][f].low) | (t.kind == RO ? 0x40000000u : 0u)] =
                    Named{int(r), int(f), false};
            for (size_t f = 0; f < m.read[r].size(); ++f)
                if (m.onStrobes(r, m.read[r][f]))
                    m.ids[key | lowestBitCode(m.read[r][f].low) | 0x40000000u] = Named{int(r), int(f), true};
        }
        return m;
    }();
    return m;
}

enum Op { kGet, kSet, kRead, kWrite, kFlush, kRefresh, kFormat };
constexpr const char* kOpNames[] = {"get", "set", "read", "write", "flush", "refresh", "getRegisterFormat"};

inline bool byValue(Op op) { return op == kGet || op == kSet || op == kRead || op == kWrite; }

// What an operation takes an identifier for: value operations ignore bits 24-29 of a whole-register
// identifier; register operations read only the key and bit 30.
inline Named named(Op op, uint32_t id) {
    const uint32_t normal = byValue(op) ? ((id & 0x80000000u) ? id & 0xC0FFFFFFu : id) : (id & 0x40FFFFFFu) | 0x80000000u;
    const auto it = model().ids.find(normal);
    return it == model().ids.end() ? Named{} : it->second;
}

// Whether an operation accepts what an identifier names, by the register's kind.
inline bool accepts(Op op, const Named& n) {
    if (n.row < 0) return false;
    const Model& m = model();
    const Kind kind = m.type[size_t(n.row)]->kind;
    const bool readSideField = n.field >= 0 && n.readLayout;
    const bool strobeField = n.field >= 0 && !n.readLayout && kind == PENDING &&
                             m.onStrobes(size_t(n.row), m.write[size_t(n.row)][size_t(n.field)]);
    switch (op) {
        case kGet: return kind != UNSHADOWED;
        case kSet: return (kind == RW || kind == WO || kind == PENDING) && !readSideField;
        case kWrite: return kind != RO && !readSideField;
        case kRead: return kind != WO && !strobeField;
        case kFlush: return kind != RO;
        case kRefresh: return kind == RW || kind == RO || kind == PENDING;
        case kFormat: return true;
    }
    return false;
}

// The field an identifier names, in the layout it belongs to.
inline const Field& fieldOf(const Named& n) {
    const Model& m = model();
    return (n.readLayout ? m.read : m.write)[size_t(n.row)][size_t(n.field)];
}

}  // namespace isoparts
