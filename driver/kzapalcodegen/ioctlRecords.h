// The input and output records of every request: plain little-endian records with natural
// alignment. An input record ends with the caller's status, an output record with the
// operation's; in a record with a 64-bit field the status may be followed by padding. Every
// byte is a named member, so a value-initialised record is all zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include "kzhtl/utility.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "request records are little endian");

#define KZ_RECORD_SIZE(T, bytes)                                                        \
    static_assert(sizeof(T) == (bytes), #T " has the size of its record");             \
    static_assert(kzhtl::kIsStandardLayout<T> && kzhtl::kIsTrivial<T>, #T " is a plain record"); \
    static_assert(kzhtl::kHasUniqueObjectRepresentations<T>, #T " names every byte")
#define KZ_RECORD_FIELD(T, field, offset) static_assert(offsetof(T, field) == (offset), #T "::" #field " sits at " #offset)

namespace kzvorn_driver {

// ---- Records shared by several families ----

// Only a status: requests without arguments, operations without results.
struct tStatusRecord {
    int32_t status;
};
KZ_RECORD_SIZE(tStatusRecord, 4);

struct tValue8Record {  // boolean results, the merge count, the timed-out flag
    uint8_t value;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tValue8Record, 8);
KZ_RECORD_FIELD(tValue8Record, status, 4);

struct tValue16Record {
    uint16_t value;
    uint16_t padding;
    int32_t status;
};
KZ_RECORD_SIZE(tValue16Record, 8);
KZ_RECORD_FIELD(tValue16Record, status, 4);

struct tValue32Record {  // 32-bit arguments (cooling mode, accessory) and results
    uint32_t value;
    int32_t status;
};
KZ_RECORD_SIZE(tValue32Record, 8);
KZ_RECORD_FIELD(tValue32Record, status, 4);

struct tValue64Record {
    uint64_t value;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tValue64Record, 16);
KZ_RECORD_FIELD(tValue64Record, status, 8);

struct tChannelRecord {  // an 8-bit channel (or the digipot value)
    uint8_t channel;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tChannelRecord, 8);
KZ_RECORD_FIELD(tChannelRecord, status, 4);

struct tChannel32Record {  // a channel compared over all 32 bits
    uint32_t channel;
    int32_t status;
};
KZ_RECORD_SIZE(tChannel32Record, 8);
KZ_RECORD_FIELD(tChannel32Record, status, 4);

struct tMaskRecord {  // a channel or resource mask
    uint64_t mask;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tMaskRecord, 16);
KZ_RECORD_FIELD(tMaskRecord, status, 8);

struct tMaskNumberRecord {  // mask and an alarm number, step count or trigger id
    uint64_t mask;
    uint32_t number;
    int32_t status;
};
KZ_RECORD_SIZE(tMaskNumberRecord, 16);
KZ_RECORD_FIELD(tMaskNumberRecord, number, 8);
KZ_RECORD_FIELD(tMaskNumberRecord, status, 12);

struct tMaskEventRecord {
    uint64_t mask;
    uint16_t event;
    uint16_t padding;
    int32_t status;
};
KZ_RECORD_SIZE(tMaskEventRecord, 16);
KZ_RECORD_FIELD(tMaskEventRecord, event, 8);
KZ_RECORD_FIELD(tMaskEventRecord, status, 12);

struct tUserBufferRecord {  // a caller buffer whose size the request implies
    uint64_t address;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tUserBufferRecord, 16);
KZ_RECORD_FIELD(tUserBufferRecord, status, 8);

struct tSizedUserBufferRecord {
    uint64_t address;
    uint32_t size;
    int32_t status;
};
KZ_RECORD_SIZE(tSizedUserBufferRecord, 16);
KZ_RECORD_FIELD(tSizedUserBufferRecord, size, 8);
KZ_RECORD_FIELD(tSizedUserBufferRecord, status, 12);

// ---- kdut ----

struct tResetRecord {
    uint32_t targetLevel;
    uint32_t padding;
    uint64_t customResetParameters;  // caller address, 0 for none
    int32_t status;
    uint32_t padding2;
};
KZ_RECORD_SIZE(tResetRecord, 24);
KZ_RECORD_FIELD(tResetRecord, customResetParameters, 8);
KZ_RECORD_FIELD(tResetRecord, status, 16);

struct tHardwareStateRecord {
    uint64_t reserved;  // must be 0
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tHardwareStateRecord, 16);
KZ_RECORD_FIELD(tHardwareStateRecord, status, 8);

struct tChannelHardwareStateRecord {
    uint64_t first;
    uint64_t second;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tChannelHardwareStateRecord, 24);
KZ_RECORD_FIELD(tChannelHardwareStateRecord, second, 8);
KZ_RECORD_FIELD(tChannelHardwareStateRecord, status, 16);

// ---- dravik ----

struct tDownloadSubroutinesRecord {  // not interpreted
    uint64_t argument0;
    uint32_t argument1;
    uint32_t padding;
    uint64_t argument2;
    uint64_t argument3;
    uint32_t argument4;
    int32_t status;
};
KZ_RECORD_SIZE(tDownloadSubroutinesRecord, 40);
KZ_RECORD_FIELD(tDownloadSubroutinesRecord, argument1, 8);
KZ_RECORD_FIELD(tDownloadSubroutinesRecord, argument2, 16);
KZ_RECORD_FIELD(tDownloadSubroutinesRecord, argument3, 24);
KZ_RECORD_FIELD(tDownloadSubroutinesRecord, argument4, 32);
KZ_RECORD_FIELD(tDownloadSubroutinesRecord, status, 36);

struct tSubroutineListRecord {
    uint64_t ids;
    uint64_t startAddresses;
    uint32_t count;
    int32_t status;
};
KZ_RECORD_SIZE(tSubroutineListRecord, 24);
KZ_RECORD_FIELD(tSubroutineListRecord, startAddresses, 8);
KZ_RECORD_FIELD(tSubroutineListRecord, count, 16);
KZ_RECORD_FIELD(tSubroutineListRecord, status, 20);

struct tExecuteSubroutineRecord {  // not interpreted
    uint64_t argument0;
    uint32_t argument1;
    uint32_t argument2;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tExecuteSubroutineRecord, 24);
KZ_RECORD_FIELD(tExecuteSubroutineRecord, argument1, 8);
KZ_RECORD_FIELD(tExecuteSubroutineRecord, argument2, 12);
KZ_RECORD_FIELD(tExecuteSubroutineRecord, status, 16);

// ---- channelGanging ----

struct tGangRecord {
    uint8_t firstChannel;
    uint8_t count;
    uint8_t padding[2];
    int32_t status;
};
KZ_RECORD_SIZE(tGangRecord, 8);
KZ_RECORD_FIELD(tGangRecord, count, 1);
KZ_RECORD_FIELD(tGangRecord, status, 4);

// ---- vantrel ----

struct tChargeBalanceOffsetRecord {
    uint8_t channel;
    uint8_t rangeCode;
    uint8_t padding[6];
    uint64_t resultAddress;
    int32_t status;
    uint32_t padding2;
};
KZ_RECORD_SIZE(tChargeBalanceOffsetRecord, 24);
KZ_RECORD_FIELD(tChargeBalanceOffsetRecord, rangeCode, 1);
KZ_RECORD_FIELD(tChargeBalanceOffsetRecord, resultAddress, 8);
KZ_RECORD_FIELD(tChargeBalanceOffsetRecord, status, 16);

struct tConfigureMeasureUnitRecord {
    uint64_t mask;
    uint32_t subUnit;
    uint32_t padding;
    uint64_t configurationAddress;
    uint32_t configurationSize;
    uint8_t flag;
    uint8_t padding2[3];
    int32_t status;
    uint32_t padding3;
};
KZ_RECORD_SIZE(tConfigureMeasureUnitRecord, 40);
KZ_RECORD_FIELD(tConfigureMeasureUnitRecord, subUnit, 8);
KZ_RECORD_FIELD(tConfigureMeasureUnitRecord, configurationAddress, 16);
KZ_RECORD_FIELD(tConfigureMeasureUnitRecord, configurationSize, 24);
KZ_RECORD_FIELD(tConfigureMeasureUnitRecord, flag, 28);
KZ_RECORD_FIELD(tConfigureMeasureUnitRecord, status, 32);

struct tMeasurementRecord {
    uint8_t channel;
    uint8_t padding[3];
    uint32_t subUnit;
    uint64_t address;
    uint32_t size;
    int32_t status;
};
KZ_RECORD_SIZE(tMeasurementRecord, 24);
KZ_RECORD_FIELD(tMeasurementRecord, subUnit, 4);
KZ_RECORD_FIELD(tMeasurementRecord, address, 8);
KZ_RECORD_FIELD(tMeasurementRecord, size, 16);
KZ_RECORD_FIELD(tMeasurementRecord, status, 20);

struct tPowerAllocationRecord {
    uint8_t channel;
    uint8_t padding[3];
    uint32_t microwatts;
    int32_t status;
};
KZ_RECORD_SIZE(tPowerAllocationRecord, 12);
KZ_RECORD_FIELD(tPowerAllocationRecord, microwatts, 4);
KZ_RECORD_FIELD(tPowerAllocationRecord, status, 8);

struct tUninterpretedRecord {  // the operations this device does not offer
    uint8_t bytes[20];
    int32_t status;
};
KZ_RECORD_SIZE(tUninterpretedRecord, 24);
KZ_RECORD_FIELD(tUninterpretedRecord, status, 20);

// ---- routing ----

struct tRouteRecord {
    uint32_t route;
    int32_t status;
};
KZ_RECORD_SIZE(tRouteRecord, 8);
KZ_RECORD_FIELD(tRouteRecord, status, 4);

struct tResetTerminalRecord {
    uint32_t terminal;
    uint32_t mode;
    int32_t status;
};
KZ_RECORD_SIZE(tResetTerminalRecord, 12);
KZ_RECORD_FIELD(tResetTerminalRecord, mode, 4);
KZ_RECORD_FIELD(tResetTerminalRecord, status, 8);

struct tRouteBufferRecord {
    uint32_t route;
    uint32_t padding;
    uint64_t address;
    uint32_t capacity;  // in records
    int32_t status;
};
KZ_RECORD_SIZE(tRouteBufferRecord, 24);
KZ_RECORD_FIELD(tRouteBufferRecord, address, 8);
KZ_RECORD_FIELD(tRouteBufferRecord, capacity, 16);
KZ_RECORD_FIELD(tRouteBufferRecord, status, 20);

struct tCalculateResetTerminalRecord {
    uint64_t owner;
    uint32_t terminal;
    uint32_t mode;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tCalculateResetTerminalRecord, 24);
KZ_RECORD_FIELD(tCalculateResetTerminalRecord, terminal, 8);
KZ_RECORD_FIELD(tCalculateResetTerminalRecord, mode, 12);
KZ_RECORD_FIELD(tCalculateResetTerminalRecord, status, 16);

struct tCalculateRouteRecord {
    uint64_t owner;
    uint64_t seeds;
    uint32_t seedCount;
    uint32_t padding;
    uint64_t destinations;
    uint32_t destinationCount;
    uint32_t flags;
    uint64_t routes;
    uint32_t routeCapacity;  // in records
    int32_t status;
};
KZ_RECORD_SIZE(tCalculateRouteRecord, 56);
KZ_RECORD_FIELD(tCalculateRouteRecord, seeds, 8);
KZ_RECORD_FIELD(tCalculateRouteRecord, seedCount, 16);
KZ_RECORD_FIELD(tCalculateRouteRecord, destinations, 24);
KZ_RECORD_FIELD(tCalculateRouteRecord, destinationCount, 32);
KZ_RECORD_FIELD(tCalculateRouteRecord, flags, 36);
KZ_RECORD_FIELD(tCalculateRouteRecord, routes, 40);
KZ_RECORD_FIELD(tCalculateRouteRecord, routeCapacity, 48);
KZ_RECORD_FIELD(tCalculateRouteRecord, status, 52);

struct tCalculatedRoutesRecord {
    uint32_t result;
    uint32_t count;
    int32_t status;
};
KZ_RECORD_SIZE(tCalculatedRoutesRecord, 12);
KZ_RECORD_FIELD(tCalculatedRoutesRecord, count, 4);
KZ_RECORD_FIELD(tCalculatedRoutesRecord, status, 8);

// ---- arm, deviceWindow, storageMap: a registered name travels as address and length ----

struct tNameRecord {
    uint64_t name;
    uint64_t nameLength;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tNameRecord, 24);
KZ_RECORD_FIELD(tNameRecord, nameLength, 8);
KZ_RECORD_FIELD(tNameRecord, status, 16);

struct tNameForceRecord {
    uint64_t name;
    uint64_t nameLength;
    uint8_t force;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tNameForceRecord, 24);
KZ_RECORD_FIELD(tNameForceRecord, force, 16);
KZ_RECORD_FIELD(tNameForceRecord, status, 20);

struct tFieldRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    int32_t status;
};
KZ_RECORD_SIZE(tFieldRecord, 24);
KZ_RECORD_FIELD(tFieldRecord, field, 16);
KZ_RECORD_FIELD(tFieldRecord, status, 20);

struct tFieldWriteRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t value;
    uint8_t force;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tFieldWriteRecord, 32);
KZ_RECORD_FIELD(tFieldWriteRecord, value, 20);
KZ_RECORD_FIELD(tFieldWriteRecord, force, 24);
KZ_RECORD_FIELD(tFieldWriteRecord, status, 28);

struct tFieldSetRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t value;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tFieldSetRecord, 32);
KZ_RECORD_FIELD(tFieldSetRecord, value, 20);
KZ_RECORD_FIELD(tFieldSetRecord, status, 24);

struct tFieldFlushRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint8_t force;
    uint8_t padding[3];
    int32_t status;
    uint32_t padding2;
};
KZ_RECORD_SIZE(tFieldFlushRecord, 32);
KZ_RECORD_FIELD(tFieldFlushRecord, force, 20);
KZ_RECORD_FIELD(tFieldFlushRecord, status, 24);

struct tFieldExRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t padding;
    uint64_t extension;
    int32_t status;
    uint32_t padding2;
};
KZ_RECORD_SIZE(tFieldExRecord, 40);
KZ_RECORD_FIELD(tFieldExRecord, extension, 24);
KZ_RECORD_FIELD(tFieldExRecord, status, 32);

struct tFieldFlushExRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t padding;
    uint64_t extension;
    uint8_t force;
    uint8_t padding2[3];
    int32_t status;
};
KZ_RECORD_SIZE(tFieldFlushExRecord, 40);
KZ_RECORD_FIELD(tFieldFlushExRecord, extension, 24);
KZ_RECORD_FIELD(tFieldFlushExRecord, force, 32);
KZ_RECORD_FIELD(tFieldFlushExRecord, status, 36);

struct tFieldWriteExRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t padding;
    uint64_t extension;
    uint64_t value;
    uint8_t force;
    uint8_t padding2[3];
    int32_t status;
};
KZ_RECORD_SIZE(tFieldWriteExRecord, 48);
KZ_RECORD_FIELD(tFieldWriteExRecord, extension, 24);
KZ_RECORD_FIELD(tFieldWriteExRecord, value, 32);
KZ_RECORD_FIELD(tFieldWriteExRecord, force, 40);
KZ_RECORD_FIELD(tFieldWriteExRecord, status, 44);

struct tFieldSetExRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t padding;
    uint64_t extension;
    uint64_t value;
    int32_t status;
    uint32_t padding2;
};
KZ_RECORD_SIZE(tFieldSetExRecord, 48);
KZ_RECORD_FIELD(tFieldSetExRecord, extension, 24);
KZ_RECORD_FIELD(tFieldSetExRecord, value, 32);
KZ_RECORD_FIELD(tFieldSetExRecord, status, 40);

struct tRegisterFormatRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t count;  // not consulted
    uint64_t types;
    uint64_t masks;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tRegisterFormatRecord, 48);
KZ_RECORD_FIELD(tRegisterFormatRecord, count, 20);
KZ_RECORD_FIELD(tRegisterFormatRecord, types, 24);
KZ_RECORD_FIELD(tRegisterFormatRecord, masks, 32);
KZ_RECORD_FIELD(tRegisterFormatRecord, status, 40);

// Window reads put the destination after the range, window writes the source before it.
struct tWindowRangeRecord {
    uint64_t name;
    uint64_t nameLength;
    uint64_t offset;
    uint64_t count;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tWindowRangeRecord, 40);
KZ_RECORD_FIELD(tWindowRangeRecord, offset, 16);
KZ_RECORD_FIELD(tWindowRangeRecord, count, 24);
KZ_RECORD_FIELD(tWindowRangeRecord, status, 32);

struct tWindowFlushRecord {
    uint64_t name;
    uint64_t nameLength;
    uint64_t offset;
    uint64_t count;
    uint8_t force;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tWindowFlushRecord, 40);
KZ_RECORD_FIELD(tWindowFlushRecord, force, 32);
KZ_RECORD_FIELD(tWindowFlushRecord, status, 36);

struct tWindowGetRecord {
    uint64_t name;
    uint64_t nameLength;
    uint64_t offset;
    uint64_t count;
    uint64_t destination;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tWindowGetRecord, 48);
KZ_RECORD_FIELD(tWindowGetRecord, offset, 16);
KZ_RECORD_FIELD(tWindowGetRecord, count, 24);
KZ_RECORD_FIELD(tWindowGetRecord, destination, 32);
KZ_RECORD_FIELD(tWindowGetRecord, status, 40);

struct tWindowSetRecord {
    uint64_t name;
    uint64_t nameLength;
    uint64_t source;
    uint64_t offset;
    uint64_t count;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tWindowSetRecord, 48);
KZ_RECORD_FIELD(tWindowSetRecord, source, 16);
KZ_RECORD_FIELD(tWindowSetRecord, offset, 24);
KZ_RECORD_FIELD(tWindowSetRecord, count, 32);
KZ_RECORD_FIELD(tWindowSetRecord, status, 40);

struct tWindowWriteRecord {
    uint64_t name;
    uint64_t nameLength;
    uint64_t source;
    uint64_t offset;
    uint64_t count;
    uint8_t force;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tWindowWriteRecord, 48);
KZ_RECORD_FIELD(tWindowWriteRecord, source, 16);
KZ_RECORD_FIELD(tWindowWriteRecord, count, 32);
KZ_RECORD_FIELD(tWindowWriteRecord, force, 40);
KZ_RECORD_FIELD(tWindowWriteRecord, status, 44);

struct tStorageMapRawRecord {
    uint64_t name;
    uint64_t nameLength;
    uint32_t field;
    uint32_t padding;
    uint64_t firstElement;
    uint64_t elementCount;
    uint64_t buffer;
    uint64_t elementSize;
    int32_t status;
    uint32_t padding2;
};
KZ_RECORD_SIZE(tStorageMapRawRecord, 64);
KZ_RECORD_FIELD(tStorageMapRawRecord, field, 16);
KZ_RECORD_FIELD(tStorageMapRawRecord, firstElement, 24);
KZ_RECORD_FIELD(tStorageMapRawRecord, elementCount, 32);
KZ_RECORD_FIELD(tStorageMapRawRecord, buffer, 40);
KZ_RECORD_FIELD(tStorageMapRawRecord, elementSize, 48);
KZ_RECORD_FIELD(tStorageMapRawRecord, status, 56);

// ---- quolinTools ----

struct tStreamRecord {
    uint32_t stream;
    int32_t status;
};
KZ_RECORD_SIZE(tStreamRecord, 8);
KZ_RECORD_FIELD(tStreamRecord, status, 4);

struct tStartDMARecord {
    uint32_t stream;
    uint8_t startFlag;
    uint8_t padding[3];
    int32_t status;
};
KZ_RECORD_SIZE(tStartDMARecord, 12);
KZ_RECORD_FIELD(tStartDMARecord, startFlag, 4);
KZ_RECORD_FIELD(tStartDMARecord, status, 8);

struct tTransferToDeviceRecord {
    uint32_t stream;
    uint32_t list;
    uint64_t address;
    uint64_t size;
    uint32_t repeatCount;
    int32_t status;
};
KZ_RECORD_SIZE(tTransferToDeviceRecord, 32);
KZ_RECORD_FIELD(tTransferToDeviceRecord, list, 4);
KZ_RECORD_FIELD(tTransferToDeviceRecord, address, 8);
KZ_RECORD_FIELD(tTransferToDeviceRecord, size, 16);
KZ_RECORD_FIELD(tTransferToDeviceRecord, repeatCount, 24);
KZ_RECORD_FIELD(tTransferToDeviceRecord, status, 28);

struct tTransferFromDeviceRecord {
    uint32_t stream;
    uint32_t list;
    uint64_t address;
    uint64_t size;
    int32_t status;
    uint32_t padding;
};
KZ_RECORD_SIZE(tTransferFromDeviceRecord, 32);
KZ_RECORD_FIELD(tTransferFromDeviceRecord, size, 16);
KZ_RECORD_FIELD(tTransferFromDeviceRecord, status, 24);

struct tStreamCountRecord {
    uint32_t stream;
    uint32_t count;
    int32_t status;
};
KZ_RECORD_SIZE(tStreamCountRecord, 12);
KZ_RECORD_FIELD(tStreamCountRecord, count, 4);
KZ_RECORD_FIELD(tStreamCountRecord, status, 8);

struct tWaitRecord {
    uint32_t stream;
    uint32_t padding;
    uint64_t startPosition;
    uint32_t byteCount;
    uint32_t timeout;
    uint8_t timedOut;  // the output flag's initial value
    uint8_t padding2[3];
    int32_t status;
};
KZ_RECORD_SIZE(tWaitRecord, 32);
KZ_RECORD_FIELD(tWaitRecord, startPosition, 8);
KZ_RECORD_FIELD(tWaitRecord, byteCount, 16);
KZ_RECORD_FIELD(tWaitRecord, timeout, 20);
KZ_RECORD_FIELD(tWaitRecord, timedOut, 24);
KZ_RECORD_FIELD(tWaitRecord, status, 28);

// Output fields that start as the caller's input: the counts and the timed-out flag keep the
// caller's value whenever the operation does not reach the point of setting them.
inline void seedResults(const tRegisterFormatRecord& input, tValue32Record& output) { output.value = input.count; }
inline void seedResults(const tRouteBufferRecord& input, tValue32Record& output) { output.value = input.capacity; }
inline void seedResults(const tCalculateRouteRecord& input, tCalculatedRoutesRecord& output) {
    output.count = input.routeCapacity;
}
inline void seedResults(const tWaitRecord& input, tValue8Record& output) { output.value = input.timedOut; }

// Whether the output of these records has in-out fields (a seedResults for them).
template <class tInput, class tOutput, class = void>
struct tHasInOutFields {
    static constexpr bool value = false;
};
template <class tInput, class tOutput>
struct tHasInOutFields<tInput, tOutput,
                       decltype(seedResults(*static_cast<const tInput*>(nullptr), *static_cast<tOutput*>(nullptr)))> {
    static constexpr bool value = true;
};

}  // namespace kzvorn_driver

#undef KZ_RECORD_SIZE
#undef KZ_RECORD_FIELD
