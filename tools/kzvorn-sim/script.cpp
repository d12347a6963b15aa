#include "script.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boardCommands.h"
#include "kal/sim/dma.h"
#include "kal/sim/user.h"
#include "kzapal/protons/ioNotifier.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "kzark/routingResourcesInterface.h"
#include "kzvorn_driver_codegen/customResetParameters.h"
#include "vantrel_shared/hardwareErrors.h"
#include "tools/stowly/stowlyData.h"

namespace kzvornsim {

std::string statusText(int64_t status) {
    char text[32];
    if (status < -1000000)
        std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
    else
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(status));
    return text;
}

bool parseNumber(const std::string& word, uint64_t limit, uint64_t& value) {
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const std::string digits = hex ? word.substr(2) : word;
    if (digits.empty()) return false;
    for (const char c : digits)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    errno = 0;
    const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno != 0 || parsed > limit) return false;
    value = parsed;
    return true;
}

namespace {

constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr uint32_t kReset = 0x00208600;
constexpr uint32_t kCleanup = 0x00208603;
constexpr uint32_t kArmFlushRegMap = 0x00208108;
constexpr uint32_t kArmWriteEx = 0x0020810B;
constexpr uint32_t kArmReadEx = 0x0020810C;
constexpr uint32_t kArmSetEx = 0x0020810D;
constexpr uint32_t kArmGetEx = 0x0020810E;
constexpr uint32_t kArmFlushRegisterEx = 0x0020810F;
constexpr uint32_t kArmRefreshRegisterEx = 0x00208110;
constexpr uint32_t kArmGetRegisterFormat = 0x00208111;
constexpr uint32_t kStorageMapGetRaw = 0x002081A0;
constexpr uint32_t kStorageMapIsChecksumValid = 0x002081B5;
constexpr uint32_t kWindowWrite = 0x00208144;
constexpr uint32_t kWindowRead = 0x00208145;
constexpr uint32_t kWindowGet = 0x00208147;
constexpr uint32_t kDMAStart = 0x00208200;
constexpr uint32_t kDMAAddTo = 0x00208202;
constexpr uint32_t kDMAAddFrom = 0x00208203;
constexpr uint32_t kDMACredits = 0x00208204;
constexpr uint32_t kDMACount = 0x00208205;
constexpr uint32_t kDMAWait = 0x00208208;
constexpr uint32_t kGetHardwareErrors = 0x00202E00;
constexpr uint32_t kCoolingGet = 0x00202701;
constexpr uint32_t kCoolingOverride = 0x00202702;
constexpr uint32_t kCoolingRequested = 0x80208400;
constexpr uint32_t kCoolingSet = 0x40208401;
constexpr uint32_t kReserveResources = 0x00208604;
constexpr uint32_t kDravikStart = 0x00202A00;
constexpr uint32_t kDravikRunning = 0x00202A02;
constexpr uint32_t kDravikList = 0x00202A04;
constexpr uint32_t kDravikCount = 0x00202A05;
constexpr uint32_t kTriggerOverride = 0x00202C00;
constexpr uint32_t kEventCheck = 0x00202C01;
constexpr uint32_t kEventClear = 0x00202C02;
constexpr uint32_t kGangReserve = 0x00202D00;
constexpr uint32_t kGangUnreserve = 0x00202D01;
constexpr uint32_t kGangMergeCount = 0x00202D02;
constexpr uint32_t kGangMaster = 0x00202D03;
constexpr uint32_t kGangReserved = 0x00202D04;
constexpr uint32_t kRoutingVersion = 0x00208000;
constexpr uint32_t kRoutingCalculate = 0x00208001;
constexpr uint32_t kRoutingReserve = 0x00208003;
constexpr uint32_t kRoutingPath = 0x00208007;
constexpr uint32_t kRoutingName = 0x00208008;
constexpr uint32_t kRoutingReset = 0x0020800A;
constexpr uint32_t kRoutingResetRoute = 0x0020800B;
constexpr uint32_t kRoutingNotifierType = 0x80000000;
constexpr size_t kNameSlotSize = 64;
constexpr uint32_t kFormatCapacity = 64;

// The listing requests of the three registries: the count, then the names in 64-byte slots.
struct Registry {
    const char* command;
    uint32_t countCode;
    uint32_t namesCode;
};
constexpr Registry kRegistries[] = {
    {"arm.names", 0x00208104, 0x00208105},
    {"window.names", 0x00208141, 0x00208142},
    {"storagemap.names", 0x00208181, 0x00208182},
};
// A request whose one argument fills its whole record and whose reply is its status, by command.
struct CodedRequest {
    const char* command;
    uint32_t code;
};
// The stream requests on a stream alone.
constexpr CodedRequest kStreamRequests[] = {
    {"dma.stop", 0x00208201},
    {"dma.clear", 0x00208206},
    {"dma.fifo", 0x00208207},
    {"dma.cancel", 0x00208209},
};
// The channel requests on a mask alone.
constexpr CodedRequest kMaskRequests[] = {
    {"dravik.reset", 0x00202A01},
    {"event.clearall", 0x00202C03},
    {"hw.check", 0x00202801},
    {"hw.clear", 0x00202800},
    {"hw.overflow", 0x00202802},
};
// The routing requests on a route id alone.
constexpr CodedRequest kRouteRequests[] = {
    {"routing.destroy", 0x00208002},
    {"routing.program", 0x00208004},
    {"routing.unreserve", 0x00208005},
    {"routing.unprogram", 0x00208006},
};
// The measure-unit requests on a 32-bit channel, by command.
constexpr CodedRequest kMeasureRequests[] = {
    {"measure.arm", 0x00202900},
    {"measure.reset", 0x00202901},
};
// The instrument requests, one command each, named after the request: the line's words fill the
// input record's fields in record order. A number goes where the field sits, in its width; bytes
// in (HEX) and bytes out (SIZE) are areas of user memory whose address, and size where the record
// has one, the record carries. A bytes-out field without a word is an area of its fixed size.
enum class FieldKind : uint8_t { kNumber, kBytesIn, kBytesOut };
constexpr uint8_t kNoSizeField = 0xFF;
struct RecordField {
    const char* word;  // the argument in the help; null: a bytes-out area of `width` bytes, no word
    FieldKind kind;
    uint8_t offset;     // the number, or the area's 64-bit address
    uint8_t width;      // the number's bytes, or a fixed area's size
    uint8_t sizeField;  // where the area's 32-bit size goes
};
struct RecordRequest {
    const char* command;
    uint32_t code;
    uint8_t inputSize;
    uint8_t outputSize;  // the status is its last word
    uint8_t resultWidth;  // the result at offset 0; 0: none
    bool signedResult;
    const char* what;
    RecordField fields[4];
};
constexpr RecordField number(const char* word, uint8_t offset, uint8_t width) {
    return {word, FieldKind::kNumber, offset, width, kNoSizeField};
}
constexpr RecordRequest kRecordRequests[] = {
    {"vantrel.readTemperatureSensor", 0x00202E01, 8, 8, 2, false,
     "sensor 0: the voltage reference's temperature, 1: the non-isolated FPGA's", {number("SENSOR", 0, 4)}},
    {"vantrel.queryInCompliance", 0x00202E02, 8, 8, 1, false, "whether the channel is in compliance",
     {number("CH", 0, 1)}},
    {"vantrel.areStorageMapChecksumsValid", 0x00202E03, 4, 8, 1, false, "whether the stored maps' checksums hold", {}},
    {"vantrel.areStorageMapVersionsValid", 0x00202E04, 4, 8, 1, false, "whether the stored maps' versions are read",
     {}},
    {"vantrel.getAlarmRaised", 0x00202E05, 16, 8, 1, false, "whether the mask's one channel raised alarm ALARM",
     {number("MASK", 0, 8), number("ALARM", 8, 4)}},
    {"vantrel.clearAlarm", 0x00202E06, 16, 4, 0, false, "clears the alarm of the mask's one channel",
     {number("MASK", 0, 8), number("ALARM", 8, 4)}},
    {"vantrel.maskAlarm", 0x00202E07, 16, 4, 0, false, "masks the alarm of the mask's one channel",
     {number("MASK", 0, 8), number("ALARM", 8, 4)}},
    {"vantrel.unmaskAlarm", 0x00202E08, 16, 4, 0, false, "unmasks the alarm of the mask's one channel",
     {number("MASK", 0, 8), number("ALARM", 8, 4)}},
    {"vantrel.calculateChargeBalanceOffset", 0x00202E09, 24, 4, 0, false,
     "measures the channel's charge-balance offset for the range code (1, 2, 4 or 8): 2 bytes",
     {number("CH", 0, 1), number("RANGE", 1, 1), {nullptr, FieldKind::kBytesOut, 8, 2, kNoSizeField}}},
    {"vantrel.loadCalibrationToFirmwareFromStorageMapSoftcopy", 0x00202E0A, 16, 4, 0, false,
     "loads the mask's channels' stored calibration, unvalidated", {number("MASK", 0, 8)}},
    {"vantrel.configureMeasureUnit", 0x00202E0B, 40, 4, 0, false,
     "configures unit UNIT of the mask's channels from the 8-byte record HEX ('-' for none)",
     {number("MASK", 0, 8), number("UNIT", 8, 4), {"HEX", FieldKind::kBytesIn, 16, 0, 24}, number("FLAG", 28, 1)}},
    {"vantrel.getMeasurement", 0x00202E0C, 24, 4, 0, false, "the channel's unit's measurement into SIZE bytes",
     {number("CH", 0, 1), number("UNIT", 4, 4), {"SIZE", FieldKind::kBytesOut, 8, 0, 16}}},
    {"vantrel.stagePowerAllocation", 0x00202E0D, 12, 8, 4, false,
     "stages the channel's allocation in microwatts: the budget left", {number("CH", 0, 1), number("MICROWATTS", 4, 4)}},
    {"vantrel.commitPowerAllocation", 0x00202E0E, 8, 4, 0, false, "commits the channel's staged allocation",
     {number("CH", 0, 1)}},
    {"vantrel.discardPowerAllocation", 0x00202E0F, 8, 4, 0, false, "discards the channel's staged allocation",
     {number("CH", 0, 1)}},
    {"vantrel.getActualPowerAllocation", 0x00202E10, 8, 8, 4, false, "the channel's committed allocation",
     {number("CH", 0, 1)}},
    {"vantrel.readDAC", 0x00202E11, 8, 8, 4, true, "the channel's DAC word, signed", {number("CH", 0, 1)}},
    {"vantrel.writeCmccDigipot", 0x00202E12, 8, 4, 0, false, "writes the common-mode current digipot",
     {number("VALUE", 0, 1)}},
    {"vantrel.getConnectedAccessory", 0x00202E14, 4, 8, 4, false, "the connected-accessory value", {}},
    {"vantrel.setConnectedAccessory", 0x00202E15, 8, 4, 0, false, "sets the connected-accessory value",
     {number("VALUE", 0, 4)}},
};
// The words a record request takes, for the help and the count check.
std::string recordWords(const RecordRequest& request) {
    std::string words;
    for (const RecordField& field : request.fields)
        if (field.word != nullptr) words += (words.empty() ? "" : " ") + std::string(field.word);
    return words;
}
size_t recordWordCount(const RecordRequest& request) {
    size_t count = 0;
    for (const RecordField& field : request.fields) count += field.word != nullptr ? 1 : 0;
    return count;
}
// The largest buffer a stream request may name.
constexpr uint64_t kMaxDMABuffer = uint64_t{64} << 20;
// Larger than any record; a larger area is refused before it is allocated.
constexpr uint64_t kMaxAreaSize = 65536;
constexpr size_t kMaxLineSize = size_t{1} << 20;

bool parseHex(const std::string& word, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (word == "-") return true;
    if (word.size() % 2 != 0 || word.size() / 2 > kMaxAreaSize) return false;
    for (size_t i = 0; i < word.size(); i += 2) {
        uint64_t byte = 0;
        if (!std::isxdigit(static_cast<unsigned char>(word[i])) ||
            !std::isxdigit(static_cast<unsigned char>(word[i + 1])) ||
            !parseNumber("0x" + word.substr(i, 2), 0xFF, byte))
            return false;
        bytes.push_back(static_cast<uint8_t>(byte));
    }
    return true;
}

std::string hexText(const uint8_t* bytes, size_t size) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

// Bytes in the script's user memory for as long as a request needs them: a name (without a
// terminator) or an area the driver fills.
class CallerBytes {
public:
    explicit CallerBytes(const std::string& text) : bytes_(text.begin(), text.end()), memory_(data(), size()) {}
    explicit CallerBytes(size_t size) : bytes_(size), memory_(data(), size) {}
    uint8_t* data() { return bytes_.empty() ? &none_ : bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    uint64_t address() { return reinterpret_cast<uint64_t>(data()); }

private:
    std::vector<uint8_t> bytes_;
    uint8_t none_ = 0;
    kal::sim::UserMemory memory_;
};

// The replacement images a reset's record can name, by the word that names them on the line.
using CustomRecord = kzvorn_driver_codegen::CustomResetParameters;
struct ImageField {
    const char* name;
    uint64_t CustomRecord::*address;
    uint64_t CustomRecord::*size;
};
constexpr ImageField kImageFields[] = {
    {"niso", &CustomRecord::nisoFpgaImage, &CustomRecord::nisoFpgaImageSize},
    {"iso", &CustomRecord::isoFpgaImage, &CustomRecord::isoFpgaImageSize},
};
// The list of hardware errors to disable.
constexpr const char* kErrorsWord = "errors=";
constexpr const char* kPackageWord = "package=";

class Runner;

// A request line: its command, its arguments, and the line without its comment.
struct Request {
    std::string command;
    std::vector<std::string> arguments;
    std::string echo;
};

struct Command {
    const char* name;
    const char* arguments;  // one word per argument; "[WORD]" for one that may be left out, last
    const char* what;
    bool (Runner::*run)(const Request&);
    bool needsSession;
};

class Runner {
public:
    Runner(kal::sim::Kernel& kernel, std::FILE* out, board::ProductBlocks* board)
        : kernel_(kernel), out_(out), board_(board) {
        reopen();
    }

    bool run(const std::string& line);

    bool level(const Request&) {
        kzvorn_driver::tValue32Record output{};
        if (!request(kGetSetupLevel, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "level: %u, status: %s\n", output.value, statusText(output.status).c_str());
        return true;
    }

    bool reset(const Request& r) {
        uint64_t target = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, target)) return fail(r.echo, "the level is not a 32-bit number");
        // The record and the images and list it names stay in user memory until the reset returns.
        std::vector<std::unique_ptr<CallerBytes>> images;
        CustomRecord record{};
        for (size_t i = 1; i < r.arguments.size(); ++i) {
            if (r.arguments[i].compare(0, std::strlen(kPackageWord), kPackageWord) == 0) {
                if (!addPackage(r.arguments[i].substr(std::strlen(kPackageWord)), record, images))
                    return fail(r.echo, "cannot read the replacement package");
                continue;
            }
            if (r.arguments[i].compare(0, std::strlen(kErrorsWord), kErrorsWord) == 0) {
                std::string entries;
                if (!disabledErrors(r.arguments[i].substr(std::strlen(kErrorsWord)), entries))
                    return fail(r.echo, "the errors are not 64-bit numbers apart by commas");
                images.push_back(std::make_unique<CallerBytes>(entries));
                record.disabledErrors = images.back()->address();
                record.disabledErrorCount = images.back()->size() / sizeof(uint64_t);
                continue;
            }
            const ImageField* field = imageField(r.arguments[i]);
            if (field == nullptr)
                return fail(r.echo, "not a replacement or a list: give niso=FILE, iso=FILE, errors=ID,... or package=FILE");
            std::string bytes;
            if (!readFile(r.arguments[i].substr(std::strlen(field->name) + 1), bytes))
                return fail(r.echo, "cannot read the replacement file");
            images.push_back(std::make_unique<CallerBytes>(bytes));
            record.*(field->address) = images.back()->address();
            record.*(field->size) = images.back()->size();
        }
        CallerBytes recordBytes(std::string(reinterpret_cast<const char*>(&record), sizeof record));
        kzvorn_driver::tResetRecord input{};
        input.targetLevel = static_cast<uint32_t>(target);
        if (!images.empty()) input.customResetParameters = recordBytes.address();
        kzvorn_driver::tStatusRecord output{};
        if (!request(kReset, input, output)) return false;
        std::fprintf(out_, "reset %u: status: %s\n", input.targetLevel, statusText(output.status).c_str());
        reopen();
        return true;
    }

    // A file of stowly-package: its words, ids and start addresses each in user memory.
    static bool addPackage(const std::string& name, CustomRecord& record,
                           std::vector<std::unique_ptr<CallerBytes>>& held) {
        std::string file;
        stowly::SubroutinePackageData package;
        if (!readFile(name, file) || !stowly::readPackageFile(std::vector<uint8_t>(file.begin(), file.end()), package))
            return false;
        const auto hold = [&](const void* data, size_t size) {
            held.push_back(std::make_unique<CallerBytes>(std::string(static_cast<const char*>(data), size)));
            return held.back()->address();
        };
        record.subroutineWords = hold(package.words.data(), package.words.size() * 8);
        record.subroutineWordCount = package.words.size();
        record.subroutineIds = hold(package.ids.data(), package.ids.size() * 4);
        record.subroutineStartAddresses = hold(package.startAddresses.data(), package.startAddresses.size() * 4);
        record.subroutineCount = package.ids.size();
        return true;
    }

    // The little-endian 64-bit entries of "ID,ID,...".
    static bool disabledErrors(const std::string& list, std::string& entries) {
        std::istringstream words(list);
        for (std::string word; std::getline(words, word, ',');) {
            uint64_t id = 0;
            if (!parseNumber(word, UINT64_MAX, id)) return false;
            entries.append(reinterpret_cast<const char*>(&id), sizeof id);
        }
        return !entries.empty() && list.back() != ',';
    }

    static const ImageField* imageField(const std::string& word) {
        for (const ImageField& field : kImageFields) {
            const size_t length = std::strlen(field.name);
            if (word.size() > length + 1 && word.compare(0, length, field.name) == 0 && word[length] == '=') return &field;
        }
        return nullptr;
    }

    static bool readFile(const std::string& name, std::string& bytes) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream contents;
        contents << in.rdbuf();
        bytes = contents.str();
        return static_cast<bool>(in);
    }

    // The cooling requests of both interfaces, through the script's session.
    bool coolingGet(const Request& r) { return coolingValue(kCoolingGet, r); }
    bool coolingRequested(const Request& r) { return coolingValue(kCoolingRequested, r); }
    bool coolingOverride(const Request& r) { return coolingSet(kCoolingOverride, r); }
    bool coolingSetMode(const Request& r) { return coolingSet(kCoolingSet, r); }

    bool coolingValue(uint32_t code, const Request& r) {
        kzvorn_driver::tValue32Record output{};
        if (!request(code, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "%s: mode: %u, status: %s\n", r.command.c_str(), output.value,
                     statusText(output.status).c_str());
        return true;
    }

    bool coolingSet(uint32_t code, const Request& r) {
        uint64_t mode = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, mode)) return fail(r.echo, "the mode is not a 32-bit number");
        kzvorn_driver::tValue32Record input{};
        input.value = static_cast<uint32_t>(mode);
        kzvorn_driver::tStatusRecord output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: status: %s\n", trimmed(r.echo).c_str(), statusText(output.status).c_str());
        return true;
    }

    bool cleanup(const Request&) {
        kzvorn_driver::tStatusRecord output{};
        if (!request(kCleanup, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "cleanup: status: %s\n", statusText(output.status).c_str());
        return true;
    }

    bool ioctl(const Request& r) {
        uint64_t code = 0;
        uint64_t outputSize = 0;
        std::vector<uint8_t> input;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, code)) return fail(r.echo, "the code is not a 32-bit number");
        if (!parseHex(r.arguments[1], input)) return fail(r.echo, "the input is not hexadecimal bytes");
        if (!parseNumber(r.arguments[2], kMaxAreaSize, outputSize)) return fail(r.echo, "the output size is too large");
        std::vector<uint8_t> output(outputSize);
        const auto reply = session_.ioctl(static_cast<uint32_t>(code), input.empty() ? nullptr : input.data(),
                                          static_cast<uint32_t>(input.size()),
                                          output.empty() ? nullptr : output.data(),
                                          static_cast<uint32_t>(outputSize));
        std::fprintf(out_, "transport: %d\noutput: ", reply.result);
        for (uint32_t i = 0; i < reply.bytesReturned && i < output.size(); ++i) std::fprintf(out_, "%02X", output[i]);
        std::fprintf(out_, "\n");
        return true;
    }

    // "arm.names: 16, status: 0", then one registered name a line.
    bool names(const Request& r) {
        const Registry* found = nullptr;
        for (const Registry& registry : kRegistries)
            if (r.command == registry.command) found = &registry;
        const Registry& registry = *found;
        kzvorn_driver::tValue64Record count{};
        if (!request(registry.countCode, kzvorn_driver::tStatusRecord{}, count)) return false;
        std::fprintf(out_, "%s: %llu, status: %s\n", registry.command, static_cast<unsigned long long>(count.value),
                     statusText(count.status).c_str());
        if (count.status < 0 || count.value == 0) return true;
        if (count.value > kMaxAreaSize / kNameSlotSize) return fail(registry.command, "too many names to list");
        CallerBytes slots(count.value * kNameSlotSize);
        kzvorn_driver::tUserBufferRecord input{};
        input.address = slots.address();
        kzvorn_driver::tStatusRecord output{};
        if (!request(registry.namesCode, input, output)) return false;
        if (output.status < 0) {
            std::fprintf(out_, "names: status: %s\n", statusText(output.status).c_str());
            return true;
        }
        for (uint64_t i = 0; i < count.value; ++i) {
            const char* slot = reinterpret_cast<const char*>(slots.data() + i * kNameSlotSize);
            std::fprintf(out_, "  %.*s\n", static_cast<int>(strnlen(slot, kNameSlotSize)), slot);
        }
        return true;
    }

    // The Ex forms with extension 0, so that 64-bit registers read and write whole. `read` reads the
    // hardware, `get` answers from the map's shadow.
    bool armRead(const Request& r) { return armValue(kArmReadEx, r); }
    bool armGet(const Request& r) { return armValue(kArmGetEx, r); }

    bool armValue(uint32_t code, const Request& r) {
        CallerBytes name(r.arguments[0]);
        kzvorn_driver::tFieldExRecord input{};
        if (!field(r.arguments[1], input.field, r.echo)) return false;
        input.name = name.address();
        input.nameLength = name.size();
        kzvorn_driver::tValue64Record output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: value: 0x%llX, status: %s\n", trimmed(r.echo).c_str(),
                     static_cast<unsigned long long>(output.value), statusText(output.status).c_str());
        return true;
    }

    // `write` merges the value into the shadow and writes the register when it changed, is dirty or
    // is forced; `set` only merges it.
    bool armWrite(const Request& r) {
        kzvorn_driver::tFieldWriteExRecord input{};
        return field(r.arguments[1], input.field, r.echo) && value(r.arguments[2], input.value, r.echo) &&
               force(r.arguments, 3, input.force, r.echo) && sendForStatus(kArmWriteEx, input, r.arguments[0], r.echo);
    }

    bool armSet(const Request& r) {
        kzvorn_driver::tFieldSetExRecord input{};
        return field(r.arguments[1], input.field, r.echo) && value(r.arguments[2], input.value, r.echo) &&
               sendForStatus(kArmSetEx, input, r.arguments[0], r.echo);
    }

    // `flush` writes the register the identifier names when it is dirty or forced; `refresh` reads it
    // into its shadow.
    bool armFlush(const Request& r) {
        kzvorn_driver::tFieldFlushExRecord input{};
        return field(r.arguments[1], input.field, r.echo) && force(r.arguments, 2, input.force, r.echo) &&
               sendForStatus(kArmFlushRegisterEx, input, r.arguments[0], r.echo);
    }

    bool armRefresh(const Request& r) {
        kzvorn_driver::tFieldExRecord input{};
        return field(r.arguments[1], input.field, r.echo) && sendForStatus(kArmRefreshRegisterEx, input, r.arguments[0], r.echo);
    }

    // Every writable register of the map (and of its sub-maps) that is dirty, or all when forced.
    bool armFlushMap(const Request& r) {
        kzvorn_driver::tNameForceRecord input{};
        return force(r.arguments, 1, input.force, r.echo) && sendForStatus(kArmFlushRegMap, input, r.arguments[0], r.echo);
    }

    // A request on a map by name whose reply is its status.
    template <class tInput>
    bool sendForStatus(uint32_t code, tInput& input, const std::string& mapName, const std::string& echo) {
        CallerBytes name(mapName);
        input.name = name.address();
        input.nameLength = name.size();
        kzvorn_driver::tStatusRecord output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: status: %s\n", trimmed(echo).c_str(), statusText(output.status).c_str());
        return true;
    }

    // One line per field of the register: its type (0 one bit ... 3 up to 32 bits) and mask.
    bool armFormat(const Request& r) {
        CallerBytes name(r.arguments[0]), types(kFormatCapacity), masks(kFormatCapacity * 8);
        kzvorn_driver::tRegisterFormatRecord input{};
        if (!field(r.arguments[1], input.field, r.echo)) return false;
        input.name = name.address();
        input.nameLength = name.size();
        input.types = types.address();
        input.masks = masks.address();
        kzvorn_driver::tValue32Record output{};
        if (!request(kArmGetRegisterFormat, input, output)) return false;
        std::fprintf(out_, "%s: fields: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        for (uint32_t i = 0; output.status >= 0 && i < output.value && i < kFormatCapacity; ++i) {
            uint64_t mask = 0;
            std::memcpy(&mask, masks.data() + i * 8, 8);
            std::fprintf(out_, "  type %u mask 0x%llX\n", types.data()[i], static_cast<unsigned long long>(mask));
        }
        return true;
    }

    bool windowGet(const Request& r) { return windowBytes(kWindowGet, r); }
    bool windowRead(const Request& r) { return windowBytes(kWindowRead, r); }

    // The window's cached bytes (get) or its device's bytes (read). The caller's area holds at most
    // 64 KiB; a larger count is sent as it is, so the driver's refusal shows.
    bool windowBytes(uint32_t code, const Request& r) {
        CallerBytes name(r.arguments[0]);
        kzvorn_driver::tWindowGetRecord input{};
        if (!parseNumber(r.arguments[1], UINT64_MAX, input.offset) || !parseNumber(r.arguments[2], UINT64_MAX, input.count))
            return fail(r.echo, "the offset or the count is not a 64-bit number");
        CallerBytes area(input.count < kMaxAreaSize ? input.count : kMaxAreaSize);
        input.name = name.address();
        input.nameLength = name.size();
        input.destination = area.address();
        return transfer(code, input, area, r.echo);
    }

    // Writes the bytes through the window to its device.
    bool windowWrite(const Request& r) {
        CallerBytes name(r.arguments[0]);
        kzvorn_driver::tWindowWriteRecord input{};
        std::vector<uint8_t> bytes;
        if (!parseNumber(r.arguments[1], UINT64_MAX, input.offset)) return fail(r.echo, "the offset is not a 64-bit number");
        if (!parseHex(r.arguments[2], bytes)) return fail(r.echo, "the bytes are not hexadecimal");
        CallerBytes source(std::string(bytes.begin(), bytes.end()));
        input.name = name.address();
        input.nameLength = name.size();
        input.source = source.address();
        input.count = source.size();
        kzvorn_driver::tStatusRecord output{};
        if (!request(kWindowWrite, input, output)) return false;
        std::fprintf(out_, "%s: status: %s\n", trimmed(r.echo).c_str(), statusText(output.status).c_str());
        return true;
    }

    bool storageMapRaw(const Request& r) {
        CallerBytes name(r.arguments[0]);
        kzvorn_driver::tStorageMapRawRecord input{};
        if (!field(r.arguments[1], input.field, r.echo)) return false;
        if (!parseNumber(r.arguments[2], UINT64_MAX, input.firstElement) ||
            !parseNumber(r.arguments[3], UINT64_MAX, input.elementCount) ||
            !parseNumber(r.arguments[4], UINT64_MAX, input.elementSize))
            return fail(r.echo, "the first element, count or element size is not a 64-bit number");
        const bool small = input.elementSize != 0 && input.elementCount <= kMaxAreaSize / input.elementSize;
        CallerBytes area(small ? input.elementCount * input.elementSize : kMaxAreaSize);
        input.name = name.address();
        input.nameLength = name.size();
        input.buffer = area.address();
        return transfer(kStorageMapGetRaw, input, area, r.echo);
    }

    bool storageMapChecksum(const Request& r) {
        CallerBytes name(r.arguments[0]);
        kzvorn_driver::tNameRecord input{};
        input.name = name.address();
        input.nameLength = name.size();
        kzvorn_driver::tValue8Record output{};
        if (!request(kStorageMapIsChecksumValid, input, output)) return false;
        std::fprintf(out_, "%s: valid: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        return true;
    }

    // The request's status; on success the record decoded: the non-isolated board's latched id and
    // inputs, whether the channels were read now, each channel's latched id and inputs.
    bool hwErrors(const Request& r) {
        using Record = vantrel_shared::TolvaneHardwareErrors;
        CallerBytes area(Record::kSize);
        kzvorn_driver::tSizedUserBufferRecord input{};
        input.address = area.address();
        input.size = static_cast<uint32_t>(area.size());
        kzvorn_driver::tStatusRecord output{};
        if (!request(kGetHardwareErrors, input, output)) return false;
        std::fprintf(out_, "hw.errors: status: %s\n", statusText(output.status).c_str());
        if (output.status < 0) return true;
        Record record;
        std::memcpy(record.bytes, area.data(), Record::kSize);
        auto latched = [&](auto isSet, uint16_t first, uint16_t last) {
            std::string ids;
            for (uint32_t id = first; id <= last; ++id)
                if (isSet(uint16_t(id))) ids += " " + hex(id);
            return ids.empty() ? std::string(" none") : ids;
        };
        std::fprintf(out_, "  board: id %s, latched:%s\n", hex(record.boardErrorId()).c_str(),
                     latched([&](uint16_t id) { return record.isBoardInputLatched(id); }, 256, 554).c_str());
        std::fprintf(out_, "  channels live: %u\n", record.channelErrorsLive() ? 1u : 0u);
        for (unsigned c = 0; c < 4; ++c)
            std::fprintf(out_, "  ch%u: id %s, latched:%s\n", c, hex(record.channelErrorId(c)).c_str(),
                         latched([&](uint16_t id) { return record.isChannelInputLatched(c, id); }, 0x900, 0x90D)
                             .c_str());
        return true;
    }

    // ---- routing ----

    bool routingVersion(const Request& r) {
        kzvorn_driver::tValue32Record output{};
        if (!request(kRoutingVersion, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "%s: version: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        return true;
    }

    // SEED:COST:INVERSION,... and DEST,...: the arrays in user memory.
    bool routingCalc(const Request& r) {
        kzvorn_driver::tCalculateRouteRecord input{};
        if (!value(r.arguments[0], input.owner, r.echo)) return false;
        std::vector<kzark::RouteCalculationSeedBase> seeds;
        for (const std::string& item : split(r.arguments[1], ',')) {
            const std::vector<std::string> parts = split(item, ':');
            uint64_t terminal = 0, cost = 0, inversion = 0;
            if (parts.size() != 3 || !parseNumber(parts[0], 0xFFFFFFFF, terminal) ||
                !parseNumber(parts[1], 0xFFFFFFFF, cost) || !parseNumber(parts[2], 0xFF, inversion))
                return fail(r.echo, "a seed is not TERMINAL:COST:INVERSION");
            seeds.push_back({uint32_t(terminal), uint32_t(cost), uint8_t(inversion), {}});
        }
        std::vector<uint32_t> destinations;
        for (const std::string& item : split(r.arguments[2], ',')) {
            uint32_t terminal = 0;
            if (!number32(item, terminal, r.echo)) return false;
            destinations.push_back(terminal);
        }
        uint32_t capacity = 16;
        if (r.arguments.size() > 3 && !number32(r.arguments[3], input.flags, r.echo)) return false;
        if (r.arguments.size() > 4 && !number32(r.arguments[4], capacity, r.echo)) return false;
        if (capacity > kMaxAreaSize / sizeof(kzark::RoutePossibilityBase))
            return fail(r.echo, "the capacity is larger than the script offers");
        CallerBytes seedBytes(std::string(reinterpret_cast<const char*>(seeds.data()),
                                          seeds.size() * sizeof(kzark::RouteCalculationSeedBase)));
        CallerBytes destinationBytes(
            std::string(reinterpret_cast<const char*>(destinations.data()), destinations.size() * sizeof(uint32_t)));
        CallerBytes routes(size_t(capacity) * sizeof(kzark::RoutePossibilityBase));
        input.seeds = seedBytes.address();
        input.seedCount = uint32_t(seeds.size());
        input.destinations = destinationBytes.address();
        input.destinationCount = uint32_t(destinations.size());
        input.routes = routes.address();
        input.routeCapacity = capacity;
        kzvorn_driver::tCalculatedRoutesRecord output{};
        if (!request(kRoutingCalculate, input, output)) return false;
        std::fprintf(out_, "%s: result: %u, count: %u, status: %s\n", trimmed(r.echo).c_str(), output.result,
                     output.count, statusText(output.status).c_str());
        if (output.status < 0) return true;
        for (uint32_t i = 0; i < output.count && i < capacity; ++i) {
            kzark::RoutePossibilityBase p;
            std::memcpy(&p, routes.data() + i * sizeof p, sizeof p);
            std::fprintf(out_, "  route %u: end %u, cost %u, seed %s, inverted %u\n", p.routeId, p.endTerminalId, p.cost,
                         p.seedIndex == kzark::kNoSeedIndex ? "none" : std::to_string(p.seedIndex).c_str(),
                         p.inverted);
        }
        return true;
    }

    bool routingReserve(const Request& r) {
        kzvorn_driver::tRouteBufferRecord input{};
        input.capacity = 16;
        if (!routeBuffer(r, sizeof(kzark::RouteConflict), input)) return false;
        CallerBytes conflicts(size_t(input.capacity) * sizeof(kzark::RouteConflict));
        input.address = conflicts.address();
        kzvorn_driver::tValue32Record output{};
        if (!request(kRoutingReserve, input, output)) return false;
        std::fprintf(out_, "%s: result: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        for (uint32_t i = 0; i < output.value && i < input.capacity; ++i) {
            kzark::RouteConflict c;
            std::memcpy(&c, conflicts.data() + i * sizeof c, sizeof c);
            std::fprintf(out_, "  conflict: owner %llu, route %u\n", static_cast<unsigned long long>(c.ownerTag),
                         c.routeId);
        }
        return true;
    }

    bool routingPath(const Request& r) {
        kzvorn_driver::tRouteBufferRecord input{};
        input.capacity = 64;
        if (!routeBuffer(r, sizeof(uint32_t), input)) return false;
        CallerBytes path(size_t(input.capacity) * sizeof(uint32_t));
        input.address = path.address();
        kzvorn_driver::tValue32Record output{};
        if (!request(kRoutingPath, input, output)) return false;
        std::fprintf(out_, "%s: result: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        if (output.status < 0) return true;
        std::string terminals;
        for (uint32_t i = 0; i < output.value && i < input.capacity; ++i) {
            uint32_t terminal;
            std::memcpy(&terminal, path.data() + i * sizeof terminal, sizeof terminal);
            terminals += " " + std::to_string(terminal);
        }
        std::fprintf(out_, "  path:%s\n", terminals.c_str());
        return true;
    }

    // ID and an optional capacity in records of `recordSize` bytes.
    bool routeBuffer(const Request& r, size_t recordSize, kzvorn_driver::tRouteBufferRecord& input) {
        if (!number32(r.arguments[0], input.route, r.echo)) return false;
        if (r.arguments.size() > 1 && !number32(r.arguments[1], input.capacity, r.echo)) return false;
        if (input.capacity > kMaxAreaSize / recordSize) return fail(r.echo, "the capacity is larger than the script offers");
        return true;
    }

    bool routingName(const Request& r) {
        uint32_t size = 64;
        if (!r.arguments.empty() && !number32(r.arguments[0], size, r.echo)) return false;
        if (size > kMaxAreaSize) return fail(r.echo, "the size is larger than the script offers");
        CallerBytes name(size);
        kzvorn_driver::tSizedUserBufferRecord input{};
        input.address = name.address();
        input.size = size;
        kzvorn_driver::tStatusRecord output{};
        if (!request(kRoutingName, input, output)) return false;
        std::fprintf(out_, "%s: status: %s\n", trimmed(r.echo).c_str(), statusText(output.status).c_str());
        if (output.status >= 0) std::fprintf(out_, "  name: \"%s\"\n", reinterpret_cast<const char*>(name.data()));
        return true;
    }

    bool routingRoute(const Request& r) {
        kzvorn_driver::tRouteRecord input{};
        return number32(r.arguments[0], input.route, r.echo) && statusOf(kRouteRequests, input, r);
    }

    bool routingReset(const Request& r) {
        kzvorn_driver::tResetTerminalRecord input{};
        return number32(r.arguments[0], input.terminal, r.echo) && number32(r.arguments[1], input.mode, r.echo) &&
               statusOf(kRoutingReset, input, r.echo);
    }

    bool routingResetRoute(const Request& r) {
        kzvorn_driver::tCalculateResetTerminalRecord input{};
        if (!value(r.arguments[0], input.owner, r.echo) || !number32(r.arguments[1], input.terminal, r.echo) ||
            !number32(r.arguments[2], input.mode, r.echo))
            return false;
        kzvorn_driver::tValue32Record output{};
        if (!request(kRoutingResetRoute, input, output)) return false;
        std::fprintf(out_, "%s: route: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        return true;
    }

    bool notifierOpen(const Request& r) {
        uint64_t cookie = 0;
        uint32_t port = 0, type = kRoutingNotifierType;
        if (!value(r.arguments[0], cookie, r.echo) || !number32(r.arguments[1], port, r.echo)) return false;
        if (r.arguments.size() > 2 && !number32(r.arguments[2], type, r.echo)) return false;
        std::fprintf(out_, "%s: result: %d\n", trimmed(r.echo).c_str(), session_.createIONotifier(cookie, port, type));
        return true;
    }

    bool notifierClose(const Request& r) {
        uint32_t type = kRoutingNotifierType;
        if (!r.arguments.empty() && !number32(r.arguments[0], type, r.echo)) return false;
        std::fprintf(out_, "%s: result: %d\n", trimmed(r.echo).c_str(), session_.destroyIONotifier(type));
        return true;
    }

    // The stand-in's captured notifier messages, oldest first.
    bool kalMessages(const Request&) {
        const std::vector<kal::sim::SocketMessage> messages = kal::sim::socketMessages();
        std::fprintf(out_, "kal.messages: %zu, live socket buffers: %zu\n", messages.size(),
                     kal::sim::liveSocketBuffers());
        for (const kal::sim::SocketMessage& m : messages) {
            kzvorn_driver::nKZAPAL000::tIONotifierMessage message{};
            std::memcpy(&message, m.bytes.data(), std::min(m.bytes.size(), sizeof message));
            std::fprintf(out_, "  port %u, type %u, cookie %llu, payload length %u\n", m.port, m.type,
                         static_cast<unsigned long long>(message.cookie), message.length);
        }
        return true;
    }

    // Session N becomes the one the requests go through: opened when it is new; the others stay
    // open until the script ends.
    bool selectSession(const Request& r) {
        uint32_t number = 0;
        if (!number32(r.arguments[0], number, r.echo)) return false;
        if (number != current_) {
            others_[current_] = std::move(session_);
            auto known = others_.find(number);
            if (known != others_.end()) {
                session_ = std::move(known->second);
                others_.erase(known);
            } else {
                session_ = kernel_.open("smu_kzvorn");
            }
            current_ = number;
        }
        std::fprintf(out_, "session %u: %s\n", number, session_ ? "open" : "refused");
        return true;
    }

    static std::vector<std::string> split(const std::string& text, char separator) {
        std::vector<std::string> items;
        std::istringstream parts(text);
        for (std::string item; std::getline(parts, item, separator);) items.push_back(item);
        return items;
    }

    static std::string hex(uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", value);
        return text;
    }

    // The stand-in's DMA memory: a count line, then one line per page list, scatter-gather list
    // and recorded DMA fault.
    bool kalDMA(const Request&) {
        const kal::sim::DMAState dma = kal::sim::dmaState();
        size_t mappings = 0;
        for (const auto& sgl : dma.sgls) mappings += sgl.mapped ? 1 : 0;
        std::fprintf(out_, "kal.dma: page lists: %zu, pinned pages: %llu, SG lists: %zu, mappings: %zu, DMA faults: %zu\n",
                     dma.pageLists.size(), static_cast<unsigned long long>(dma.pinnedPages), dma.sgls.size(), mappings,
                     dma.faults.size());
        for (const auto& list : dma.pageLists) {
            std::fprintf(out_, "  page list %llu: %s, %llu pages at 0x%llX, flags 0x%X", static_cast<unsigned long long>(list.id),
                         list.pinned ? "pinned" : "allocated", static_cast<unsigned long long>(list.pages),
                         static_cast<unsigned long long>(list.address), list.flags);
            if (list.numaForm) std::fprintf(out_, ", node %d", list.node);
            std::fprintf(out_, ", kernel mappings %u, device mappings %u\n", list.kernelMappings, list.deviceMappings);
        }
        for (const auto& sgl : dma.sgls) {
            std::fprintf(out_, "  SG list %llu: %llu pages", static_cast<unsigned long long>(sgl.id),
                         static_cast<unsigned long long>(sgl.capacity));
            if (sgl.mapped)
                std::fprintf(out_, ", maps page list %llu at %llu, %llu bytes %s the device:",
                             static_cast<unsigned long long>(sgl.pageList), static_cast<unsigned long long>(sgl.byteOffset),
                             static_cast<unsigned long long>(sgl.size), sgl.fromDevice ? "from" : "to");
            for (const auto& segment : sgl.segments)
                std::fprintf(out_, " 0x%llX+%llu", static_cast<unsigned long long>(segment.busAddress),
                             static_cast<unsigned long long>(segment.size));
            std::fprintf(out_, "\n");
        }
        for (const auto& fault : dma.faults)
            std::fprintf(out_, "  DMA fault: %s of %llu bytes at 0x%llX: %s\n", fault.deviceWrite ? "write" : "read",
                         static_cast<unsigned long long>(fault.size), static_cast<unsigned long long>(fault.busAddress),
                         kal::sim::dmaFaultText(fault.kind));
        return true;
    }

    // A buffer in user memory for a stream, numbered from 1 in the order made: one for the device
    // holds a counting pattern, one from it zeros.
    bool dmaAdd(const Request& r) {
        const bool toDevice = r.command == "dma.addto";
        uint64_t stream = 0, list = 0, size = 0, count = 1;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, stream) || !parseNumber(r.arguments[1], 0xFFFFFFFF, list) ||
            (toDevice && !parseNumber(r.arguments[3], 0xFFFFFFFF, count)))
            return fail(r.echo, "the stream, list or count is not a 32-bit number");
        if (!parseNumber(r.arguments[2], kMaxDMABuffer, size)) return fail(r.echo, "the size is too large");
        dmaBuffers_.push_back(std::make_unique<CallerBytes>(static_cast<size_t>(size)));
        CallerBytes& buffer = *dmaBuffers_.back();
        for (size_t i = 0; toDevice && i < buffer.size(); ++i) buffer.data()[i] = static_cast<uint8_t>(i);
        kzvorn_driver::tStatusRecord output{};
        bool sent = false;
        if (toDevice) {
            const kzvorn_driver::tTransferToDeviceRecord input{static_cast<uint32_t>(stream), static_cast<uint32_t>(list),
                                                               buffer.address(), size, static_cast<uint32_t>(count), 0};
            sent = request(kDMAAddTo, input, output);
        } else {
            const kzvorn_driver::tTransferFromDeviceRecord input{static_cast<uint32_t>(stream),
                                                                 static_cast<uint32_t>(list), buffer.address(), size, 0,
                                                                 0};
            sent = request(kDMAAddFrom, input, output);
        }
        if (!sent) return false;
        std::fprintf(out_, "%s: buffer %zu, status: %s\n", trimmed(r.echo).c_str(), dmaBuffers_.size(),
                     statusText(output.status).c_str());
        return true;
    }

    bool dmaStart(const Request& r) {
        uint64_t stream = 0, flag = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, stream) || !parseNumber(r.arguments[1], 0xFF, flag))
            return fail(r.echo, "the stream is not a 32-bit number or the flag not a byte");
        const kzvorn_driver::tStartDMARecord input{static_cast<uint32_t>(stream), static_cast<uint8_t>(flag), {}, 0};
        return statusOf(kDMAStart, input, r.echo);
    }

    bool dmaStream(const Request& r) {
        uint64_t stream = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, stream)) return fail(r.echo, "the stream is not a 32-bit number");
        return statusOf(kStreamRequests, kzvorn_driver::tStreamRecord{static_cast<uint32_t>(stream), 0}, r);
    }

    bool dmaCredits(const Request& r) {
        uint64_t stream = 0, count = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, stream) || !parseNumber(r.arguments[1], 0xFFFFFFFF, count))
            return fail(r.echo, "the stream or count is not a 32-bit number");
        const kzvorn_driver::tStreamCountRecord input{static_cast<uint32_t>(stream), static_cast<uint32_t>(count), 0};
        return statusOf(kDMACredits, input, r.echo);
    }

    bool dmaCount(const Request& r) {
        uint64_t stream = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, stream)) return fail(r.echo, "the stream is not a 32-bit number");
        kzvorn_driver::tValue64Record output{};
        if (!request(kDMACount, kzvorn_driver::tStreamRecord{static_cast<uint32_t>(stream), 0}, output)) return false;
        std::fprintf(out_, "%s: count: %llu, status: %s\n", trimmed(r.echo).c_str(),
                     static_cast<unsigned long long>(output.value), statusText(output.status).c_str());
        return true;
    }

    bool dmaWait(const Request& r) {
        uint64_t stream = 0, start = 0, count = 0, timeout = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, stream) || !parseNumber(r.arguments[1], UINT64_MAX, start) ||
            !parseNumber(r.arguments[2], 0xFFFFFFFF, count) || !parseNumber(r.arguments[3], 0xFFFFFFFF, timeout))
            return fail(r.echo, "the stream, count or time-out is not a 32-bit number, or the start not a 64-bit one");
        kzvorn_driver::tWaitRecord input{};
        input.stream = static_cast<uint32_t>(stream);
        input.startPosition = start;
        input.byteCount = static_cast<uint32_t>(count);
        input.timeout = static_cast<uint32_t>(timeout);
        kzvorn_driver::tValue8Record output{};
        if (!request(kDMAWait, input, output)) return false;
        std::fprintf(out_, "%s: timed out: %u, status: %s\n", trimmed(r.echo).c_str(), output.value,
                     statusText(output.status).c_str());
        return true;
    }

    bool dmaDump(const Request& r) {
        uint64_t number = 0, offset = 0, count = 0;
        if (!parseNumber(r.arguments[0], dmaBuffers_.size(), number) || number == 0)
            return fail(r.echo, "no such buffer");
        CallerBytes& buffer = *dmaBuffers_[number - 1];
        if (!parseNumber(r.arguments[1], buffer.size(), offset) || !parseNumber(r.arguments[2], buffer.size() - offset, count))
            return fail(r.echo, "the bytes lie outside the buffer");
        std::fprintf(out_, "%s: %s\n", trimmed(r.echo).c_str(), hexText(buffer.data() + offset, count).c_str());
        return true;
    }

    // The channel requests. Masks are 64-bit numbers, channels of the gang requests 8-bit ones and
    // those of the measure-unit requests 32-bit ones, sent as given so the driver's checks show.
    bool reserve(const Request& r) {
        kzvorn_driver::tMaskRecord input{};
        return mask(r.arguments[0], input.mask, r.echo) && statusOf(kReserveResources, input, r.echo);
    }

    bool maskRequest(const Request& r) {
        kzvorn_driver::tMaskRecord input{};
        if (!mask(r.arguments[0], input.mask, r.echo)) return false;
        return statusOf(kMaskRequests, input, r);
    }

    bool measureRequest(const Request& r) {
        uint64_t channel = 0;
        if (!parseNumber(r.arguments[0], 0xFFFFFFFF, channel)) return fail(r.echo, "the channel is not a 32-bit number");
        const kzvorn_driver::tChannel32Record input{static_cast<uint32_t>(channel), 0};
        return statusOf(kMeasureRequests, input, r);
    }

    bool dravikStart(const Request& r) {
        kzvorn_driver::tMaskNumberRecord input{};
        return mask(r.arguments[0], input.mask, r.echo) && number32(r.arguments[1], input.number, r.echo) &&
               statusOf(kDravikStart, input, r.echo);
    }

    bool dravikRunning(const Request& r) {
        kzvorn_driver::tMaskRecord input{};
        return mask(r.arguments[0], input.mask, r.echo) && flagOf(kDravikRunning, input, "running", r.echo);
    }

    bool dravikCount(const Request& r) {
        kzvorn_driver::tValue32Record output{};
        if (!request(kDravikCount, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "dravik.count: %u, status: %s\n", output.value, statusText(output.status).c_str());
        return true;
    }

    // The count, then the registered subroutines one a line: id and local-RAM start address.
    bool dravikList(const Request& r) {
        kzvorn_driver::tValue32Record count{};
        if (!request(kDravikCount, kzvorn_driver::tStatusRecord{}, count)) return false;
        if (count.status < 0) {
            std::fprintf(out_, "dravik.list: status: %s\n", statusText(count.status).c_str());
            return true;
        }
        if (count.value > kMaxAreaSize / sizeof(uint32_t)) return fail(r.echo, "too many subroutines to list");
        CallerBytes ids(count.value * sizeof(uint32_t)), starts(count.value * sizeof(uint32_t));
        kzvorn_driver::tSubroutineListRecord input{};
        input.ids = ids.address();
        input.startAddresses = starts.address();
        input.count = count.value;
        kzvorn_driver::tStatusRecord output{};
        if (!request(kDravikList, input, output)) return false;
        std::fprintf(out_, "dravik.list: %u, status: %s\n", count.value, statusText(output.status).c_str());
        for (uint32_t i = 0; output.status >= 0 && i < count.value; ++i) {
            uint32_t id = 0, start = 0;
            std::memcpy(&id, ids.data() + i * sizeof id, sizeof id);
            std::memcpy(&start, starts.data() + i * sizeof start, sizeof start);
            std::fprintf(out_, "  0x%08X at 0x%X\n", id, start);
        }
        return true;
    }

    bool triggerOverride(const Request& r) {
        kzvorn_driver::tMaskNumberRecord input{};
        return mask(r.arguments[0], input.mask, r.echo) && number32(r.arguments[1], input.number, r.echo) &&
               flagOf(kTriggerOverride, input, "overridden", r.echo);
    }

    bool eventCheck(const Request& r) {
        kzvorn_driver::tMaskEventRecord input{};
        return mask(r.arguments[0], input.mask, r.echo) && event(r.arguments[1], input.event, r.echo) &&
               flagOf(kEventCheck, input, "latched", r.echo);
    }

    bool eventClear(const Request& r) {
        kzvorn_driver::tMaskEventRecord input{};
        return mask(r.arguments[0], input.mask, r.echo) && event(r.arguments[1], input.event, r.echo) &&
               statusOf(kEventClear, input, r.echo);
    }

    bool gangReserve(const Request& r) {
        kzvorn_driver::tGangRecord input{};
        return channel8(r.arguments[0], input.firstChannel, r.echo) && channel8(r.arguments[1], input.count, r.echo) &&
               statusOf(kGangReserve, input, r.echo);
    }

    bool gangUnreserve(const Request& r) {
        kzvorn_driver::tChannelRecord input{};
        return channel8(r.arguments[0], input.channel, r.echo) && statusOf(kGangUnreserve, input, r.echo);
    }

    // The three queries of one channel; the status is the first that failed, else 0.
    bool gangState(const Request& r) {
        kzvorn_driver::tChannelRecord input{};
        if (!channel8(r.arguments[0], input.channel, r.echo)) return false;
        kzvorn_driver::tValue8Record count{}, master{}, reserved{};
        if (!request(kGangMergeCount, input, count) || !request(kGangMaster, input, master) ||
            !request(kGangReserved, input, reserved))
            return false;
        int32_t status = 0;
        for (int32_t each : {count.status, master.status, reserved.status})
            if (status == 0) status = each;
        std::fprintf(out_, "%s: merge count: %u, master: %u, reserved: %u, status: %s\n", trimmed(r.echo).c_str(),
                     count.value, master.value, reserved.value, statusText(status).c_str());
        return true;
    }

private:
    // A request whose reply is a boolean result and the status.
    template <class tInput>
    bool flagOf(uint32_t code, const tInput& input, const char* name, const std::string& echo) {
        kzvorn_driver::tValue8Record output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: %s: %u, status: %s\n", trimmed(echo).c_str(), name, output.value,
                     statusText(output.status).c_str());
        return true;
    }

    bool mask(const std::string& word, uint64_t& value, const std::string& echo) {
        if (!parseNumber(word, UINT64_MAX, value)) return fail(echo, "the mask is not a 64-bit number");
        return true;
    }

    bool number32(const std::string& word, uint32_t& number, const std::string& echo) {
        uint64_t value = 0;
        if (!parseNumber(word, 0xFFFFFFFF, value)) return fail(echo, "the number is not a 32-bit number");
        number = static_cast<uint32_t>(value);
        return true;
    }

    bool event(const std::string& word, uint16_t& id, const std::string& echo) {
        uint64_t value = 0;
        if (!parseNumber(word, 0xFFFF, value)) return fail(echo, "the event id is not a 16-bit number");
        id = static_cast<uint16_t>(value);
        return true;
    }

    bool channel8(const std::string& word, uint8_t& channel, const std::string& echo) {
        uint64_t value = 0;
        if (!parseNumber(word, 0xFF, value)) return fail(echo, "the channel or count is not an 8-bit number");
        channel = static_cast<uint8_t>(value);
        return true;
    }

    // A request of kRecordRequests: its record filled from the words, its areas in user memory.
    bool recordRequest(const RecordRequest& known, const Request& r) {
        std::vector<uint8_t> input(known.inputSize, 0), output(known.outputSize, 0);
        std::vector<std::unique_ptr<CallerBytes>> areas;
        size_t word = 0;
        for (const RecordField& field : known.fields) {
            if (field.word == nullptr && field.kind != FieldKind::kBytesOut) continue;
            uint64_t value = 0;
            uint64_t size = field.width;
            if (field.kind == FieldKind::kNumber) {
                const uint64_t limit = field.width == 8 ? UINT64_MAX : (uint64_t{1} << (8 * field.width)) - 1;
                if (!parseNumber(r.arguments[word++], limit, value))
                    return fail(r.echo, std::string(field.word) + " is not a " + std::to_string(8 * field.width) +
                                            "-bit number");
                std::memcpy(input.data() + field.offset, &value, field.width);
                continue;
            }
            if (field.kind == FieldKind::kBytesIn) {
                std::vector<uint8_t> bytes;
                if (!parseHex(r.arguments[word++], bytes)) return fail(r.echo, "HEX is not pairs of hexadecimal digits");
                areas.push_back(std::make_unique<CallerBytes>(std::string(bytes.begin(), bytes.end())));
                size = bytes.size();
            } else {
                if (field.word != nullptr && !parseNumber(r.arguments[word++], kMaxAreaSize, size))
                    return fail(r.echo, "SIZE is larger than " + std::to_string(kMaxAreaSize));
                areas.push_back(std::make_unique<CallerBytes>(size));
            }
            // An empty area is sent as address 0, so the driver's check of it shows.
            const uint64_t address = size == 0 ? 0 : areas.back()->address();
            std::memcpy(input.data() + field.offset, &address, sizeof address);
            const uint32_t size32 = static_cast<uint32_t>(size);
            if (field.sizeField != kNoSizeField) std::memcpy(input.data() + field.sizeField, &size32, sizeof size32);
        }
        const auto reply = session_.ioctl(known.code, input.data(), input.size(), output.data(), output.size());
        if (reply.result != 0) {
            std::fprintf(out_, "transport: %d\n", reply.result);
            return false;
        }
        std::string text = trimmed(r.echo) + ":";
        if (known.resultWidth != 0) {
            uint32_t result = 0;
            std::memcpy(&result, output.data(), known.resultWidth);
            text += " result: " + (known.signedResult ? std::to_string(static_cast<int32_t>(result))
                                                      : std::to_string(result)) + ",";
        }
        size_t areaIndex = 0;
        for (const RecordField& field : known.fields) {
            if (field.kind == FieldKind::kNumber) continue;
            CallerBytes& area = *areas[areaIndex++];
            if (field.kind == FieldKind::kBytesOut) text += " bytes: " + hexText(area.data(), area.size()) + ",";
        }
        int32_t status = 0;
        std::memcpy(&status, output.data() + output.size() - sizeof status, sizeof status);
        std::fprintf(out_, "%s status: %s\n", text.c_str(), statusText(status).c_str());
        return true;
    }

    // The request of the table the line's command names.
    template <size_t N, class tInput>
    bool statusOf(const CodedRequest (&table)[N], const tInput& input, const Request& r) {
        for (const CodedRequest& known : table)
            if (r.command == known.command) return statusOf(known.code, input, r.echo);
        return fail(r.echo, "unknown request");
    }

    template <class tInput>
    bool statusOf(uint32_t code, const tInput& input, const std::string& echo) {
        kzvorn_driver::tStatusRecord output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: status: %s\n", trimmed(echo).c_str(), statusText(output.status).c_str());
        return true;
    }

    template <class tOutput, class tInput>
    bool request(uint32_t code, const tInput& input, tOutput& output) {
        const auto reply = session_.ioctl(code, &input, sizeof input, &output, sizeof output);
        if (reply.result == 0) return true;
        std::fprintf(out_, "transport: %d\n", reply.result);
        return false;
    }

    // A read into the caller's area: the status, and the bytes when it succeeded.
    template <class tInput>
    bool transfer(uint32_t code, const tInput& input, CallerBytes& area, const std::string& echo) {
        kzvorn_driver::tStatusRecord output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: status: %s\n", trimmed(echo).c_str(), statusText(output.status).c_str());
        if (output.status >= 0) std::fprintf(out_, "  bytes: %s\n", hexText(area.data(), area.size()).c_str());
        return true;
    }

    bool value(const std::string& word, uint64_t& value, const std::string& echo) {
        if (!parseNumber(word, UINT64_MAX, value)) return fail(echo, "the value is not a 64-bit number");
        return true;
    }

    // An optional last word "force" at `index`.
    bool force(const std::vector<std::string>& arguments, size_t index, uint8_t& flag, const std::string& echo) {
        flag = 0;
        if (arguments.size() <= index) return true;
        if (arguments[index] != "force") return fail(echo, "the last word is not \"force\"");
        flag = 1;
        return true;
    }

    bool field(const std::string& word, uint32_t& id, const std::string& echo) {
        uint64_t value = 0;
        if (!parseNumber(word, 0xFFFFFFFF, value)) return fail(echo, "the field identifier is not a 32-bit number");
        id = static_cast<uint32_t>(value);
        return true;
    }

    // The request as written, with single spaces.
    static std::string trimmed(const std::string& text) {
        std::istringstream words(text);
        std::string joined;
        for (std::string word; words >> word;) joined += (joined.empty() ? "" : " ") + word;
        return joined;
    }

    bool fail(const std::string& line, const std::string& why) {
        std::fprintf(out_, "error: %s: %s\n", why.c_str(), trimmed(line).c_str());
        return false;
    }

    void reopen() {
        session_ = kal::sim::Session();
        session_ = kernel_.open("smu_kzvorn");
    }

    kal::sim::Kernel& kernel_;
    std::FILE* out_;
    board::ProductBlocks* board_;
    kal::sim::Session session_;
    // The sessions the script switched away from, by number; session_ is number current_.
    std::map<uint32_t, kal::sim::Session> others_;
    uint32_t current_ = 1;
    std::vector<std::unique_ptr<CallerBytes>> dmaBuffers_;
};

constexpr Command kCommands[] = {
    {"level", "", "the reached setup level and the request's status", &Runner::level, true},
    {"reset", "N [niso=FILE] [iso=FILE] [errors=ID,...] [package=FILE]",
     "reset to setup level N; with niso=FILE (iso=FILE) the reset's custom record names the file's\n"
     "bytes as the non-isolated (isolated) FPGA's replacement image, with errors=ID,... the list of\n"
     "hardware errors to disable (64-bit entries), with package=FILE (written by stowly-package) the\n"
     "subroutine package's words, ids and start addresses. The session, invalid after a reset, is\n"
     "opened anew",
     &Runner::reset, true},
    {"cleanup", "", "the session's cleanup request", &Runner::cleanup, true},
    {"ioctl", "CODE INPUT-HEX OUTPUT-SIZE",
     "any request code with those input bytes (\"-\" for none) and an output area of that size;\n"
     "prints the ioctl callback's kernel-layer code and the bytes the driver reported",
     &Runner::ioctl, true},
    {"arm.names", "", "the register maps' count and status, then one name a line", &Runner::names, true},
    {"window.names", "", "the device windows' count and status, then one name a line", &Runner::names, true},
    {"storagemap.names", "", "the storage maps' count and status, then one name a line", &Runner::names, true},
    {"arm.read", "MAP FIELD-ID", "the field's value read from the hardware", &Runner::armRead, true},
    {"arm.get", "MAP FIELD-ID", "the field's value in the map's shadow", &Runner::armGet, true},
    {"arm.set", "MAP FIELD-ID VALUE", "sets the field in the shadow only", &Runner::armSet, true},
    {"arm.write", "MAP FIELD-ID VALUE [force]",
     "sets the field and writes its register when it changed, is dirty, or with force", &Runner::armWrite, true},
    {"arm.flush", "MAP FIELD-ID [force]", "writes the register the identifier names, when dirty or forced",
     &Runner::armFlush, true},
    {"arm.refresh", "MAP FIELD-ID", "reads that register into its shadow", &Runner::armRefresh, true},
    {"arm.flushmap", "MAP [force]",
     "writes every dirty (or, forced, every) writable register of the map and of its sub-maps",
     &Runner::armFlushMap, true},
    {"arm.format", "MAP FIELD-ID", "the register's field count, then each field's type and mask", &Runner::armFormat,
     true},
    {"window.get", "NAME OFFSET COUNT", "the window's cached bytes", &Runner::windowGet, true},
    {"window.read", "NAME OFFSET COUNT", "the bytes read from the window's device", &Runner::windowRead, true},
    {"window.write", "NAME OFFSET HEX", "writes the bytes through the window to its device", &Runner::windowWrite, true},
    {"storagemap.raw", "NAME FIELD-ID FIRST COUNT ELEMENT-SIZE", "the map's cached elements as bytes",
     &Runner::storageMapRaw, true},
    {"storagemap.checksum", "NAME", "whether the map's stored checksum holds", &Runner::storageMapChecksum, true},
    {"dma.addto", "STREAM LIST SIZE COUNT",
     "a buffer of SIZE bytes holding a counting pattern into the stream's list (0 finite, 1 continuous)\n"
     "COUNT times; prints the buffer's number",
     &Runner::dmaAdd, true},
    {"dma.addfrom", "STREAM LIST SIZE", "an empty buffer of SIZE bytes into the stream's list; prints its number",
     &Runner::dmaAdd, true},
    {"dma.start", "STREAM FLAG", "starts the stream, the circuit in the mode the flag chooses", &Runner::dmaStart, true},
    {"dma.stop", "STREAM", "stops the stream", &Runner::dmaStream, true},
    {"dma.credits", "STREAM COUNT", "grants the stream COUNT more bytes", &Runner::dmaCredits, true},
    {"dma.count", "STREAM", "the stream's transfer count", &Runner::dmaCount, true},
    {"dma.wait", "STREAM START COUNT TIMEOUT",
     "waits at most TIMEOUT microseconds until COUNT bytes moved since START", &Runner::dmaWait, true},
    {"dma.cancel", "STREAM", "ends the stream's wait", &Runner::dmaStream, true},
    {"dma.clear", "STREAM", "empties the stream's lists", &Runner::dmaStream, true},
    {"dma.fifo", "STREAM", "clears the stream's application FIFO and enables its credits again", &Runner::dmaStream,
     true},
    {"dma.dump", "BUFFER OFFSET COUNT", "COUNT bytes of a buffer from OFFSET (no request is sent)", &Runner::dmaDump,
     false},
    {"hw.errors", "",
     "the hardware-errors request; on success the non-isolated board's latched id and inputs,\n"
     "whether the channels were read now (live), and each channel's latched id and inputs",
     &Runner::hwErrors, true},
    {"hw.check", "MASK", "the board's latched errors, then those of the mask's channels", &Runner::maskRequest, true},
    {"hw.clear", "MASK", "clears the latched errors of the mask's channels", &Runner::maskRequest, true},
    {"hw.overflow", "MASK", "whether a measure FIFO of the mask's channels overflowed", &Runner::maskRequest, true},
    {"reserve", "MASK", "reserves the mask's channels for the session", &Runner::reserve, true},
    {"dravik.start", "MASK COUNT", "starts the sequence engine of the mask's lowest channel once COUNT commands wait",
     &Runner::dravikStart, true},
    {"dravik.reset", "MASK", "resets the sequence engine of the mask's lowest channel", &Runner::maskRequest, true},
    {"dravik.running", "MASK", "whether the sequence engine of the mask's lowest channel runs", &Runner::dravikRunning,
     true},
    {"dravik.count", "", "the number of registered subroutines", &Runner::dravikCount, true},
    {"dravik.list", "", "the count, then each registered subroutine's id and local-RAM start address",
     &Runner::dravikList, true},
    {"measure.arm", "CH", "arms the channel's measure unit", &Runner::measureRequest, true},
    {"measure.reset", "CH", "resets the channel's measure unit", &Runner::measureRequest, true},
    {"trigger.override", "MASK ID",
     "raises trigger ID (1034 start, 1035 source, 1036 main measure, 1037 sequence advance) on the\n"
     "mask's highest channel; prints whether the channel registered it",
     &Runner::triggerOverride, true},
    {"event.check", "MASK ID", "whether every channel of the mask latched event ID", &Runner::eventCheck, true},
    {"event.clear", "MASK ID", "clears event ID's latch on the mask's channels", &Runner::eventClear, true},
    {"event.clearall", "MASK", "clears every event latch of the mask's channels", &Runner::maskRequest, true},
    {"gang.reserve", "FIRST COUNT", "reserves channels FIRST to FIRST + COUNT - 1 as one gang", &Runner::gangReserve,
     true},
    {"gang.unreserve", "CH", "releases the gang the channel starts", &Runner::gangUnreserve, true},
    {"gang.state", "CH", "the channel's merge count and whether it is a master and reserved", &Runner::gangState, true},
    {"cooling.get", "", "the chassis cooling mode in force", &Runner::coolingGet, true},
    {"cooling.requested", "", "the cooling mode the board asks of the chassis", &Runner::coolingRequested, true},
    {"cooling.override", "MODE", "sets the cooling mode as the instrument's override (requester 1)",
     &Runner::coolingOverride, true},
    {"cooling.set", "MODE", "sets the cooling mode as the cooling interface (requester 2)", &Runner::coolingSetMode,
     true},
    {"routing.version", "", "the routing interface's version", &Runner::routingVersion, true},
    {"routing.calc", "OWNER SEED:COST:INV,... DEST,... [FLAGS] [CAPACITY]",
     "calculates routes from the seeds to the destinations (capacity 16 unless given): the result,\n"
     "the count, then each route's id, end, cost, seed and inversion",
     &Runner::routingCalc, true},
    {"routing.reserve", "ID [CAPACITY]", "reserves the route: the conflict count, then each conflicting route",
     &Runner::routingReserve, true},
    {"routing.program", "ID", "programs the reserved route into the muxes", &Runner::routingRoute, true},
    {"routing.unprogram", "ID", "disconnects the programmed route", &Runner::routingRoute, true},
    {"routing.unreserve", "ID", "releases the route's reservation", &Runner::routingRoute, true},
    {"routing.destroy", "ID", "destroys the route", &Runner::routingRoute, true},
    {"routing.path", "ID [CAPACITY]", "the route's length, then its terminals", &Runner::routingPath, true},
    {"routing.name", "[SIZE]", "the routing topography's name into SIZE bytes (64 unless given)", &Runner::routingName,
     true},
    {"routing.reset", "TERMINAL MODE", "resets the terminal to its first (0) or default (1) input",
     &Runner::routingReset, true},
    {"routing.resetroute", "OWNER TERMINAL MODE", "calculates the route that resets the terminal: its id",
     &Runner::routingResetRoute, true},
    {"notifier.open", "COOKIE PORT [TYPE]", "opens the session's notifier of the type (0x80000000 unless given)",
     &Runner::notifierOpen, true},
    {"notifier.close", "[TYPE]", "closes the session's notifier of the type (0x80000000 unless given)",
     &Runner::notifierClose, true},
    {"kal.messages", "",
     "the notifier messages the stand-in captured: port, type, cookie and payload length of each\n"
     "(no request is sent)",
     &Runner::kalMessages, false},
    {"session", "N", "opens session N, or switches to it when it is open (the script starts in session 1)",
     &Runner::selectSession, false},
    {"kal.dma", "",
     "the kernel-layer stand-in's page lists, pinned pages, scatter-gather lists with their bus\n"
     "segments, and the DMA faults the board met (no request is sent)",
     &Runner::kalDMA, false},
};

// How many arguments the command takes: at least its words without brackets, at most all.
struct ArgumentCount {
    size_t least;
    size_t most;
};
ArgumentCount argumentCount(const Command& command) {
    std::istringstream words(command.arguments);
    ArgumentCount count{0, 0};
    for (std::string word; words >> word; ++count.most)
        if (word[0] != '[') ++count.least;
    return count;
}

std::string argumentsText(size_t count) { return std::to_string(count) + (count == 1 ? " argument" : " arguments"); }

bool Runner::run(const std::string& line) {
    Request request;
    request.echo = line.substr(0, line.find('#'));
    std::istringstream words(request.echo);
    if (!(words >> request.command)) return true;
    for (std::string word; words >> word;) request.arguments.push_back(word);
    for (const Command& command : kCommands) {
        if (request.command != command.name) continue;
        const ArgumentCount expected = argumentCount(command);
        const size_t given = request.arguments.size();
        if (given < expected.least || given > expected.most) {
            const std::string why =
                expected.most == 0 ? " takes no arguments"
                : expected.least == expected.most
                    ? " takes " + argumentsText(expected.most) + " (" + command.arguments + ")"
                    : " takes " + std::to_string(expected.least) +
                          (expected.most == expected.least + 1 ? " or " : " to ") + argumentsText(expected.most) +
                          " (" + command.arguments + ")";
            return fail(request.echo, command.name + why);
        }
        if (command.needsSession && !session_) return fail(request.echo, "no session on smu_kzvorn");
        return (this->*command.run)(request);
    }
    for (const RecordRequest& known : kRecordRequests) {
        if (request.command != known.command) continue;
        const size_t expected = recordWordCount(known);
        if (request.arguments.size() != expected)
            return fail(request.echo, request.command + (expected == 0 ? " takes no arguments"
                                                                       : " takes " + argumentsText(expected) + " (" +
                                                                             recordWords(known) + ")"));
        if (!session_) return fail(request.echo, "no session on smu_kzvorn");
        return recordRequest(known, request);
    }
    if (board_ != nullptr && runBoardCommand(request.command, request.arguments, *board_, out_)) return true;
    return fail(request.echo, "unknown request");
}

}  // namespace

void printScriptRequests(std::FILE* out) {
    std::fprintf(out,
                 "Script requests, one a line ('#' starts a comment); numbers are decimal, or hexadecimal\n"
                 "after 0x; a line holds at most %zu bytes:\n",
                 kMaxLineSize);
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %s%s%s\n", command.name, command.arguments[0] != '\0' ? " " : "", command.arguments);
        std::istringstream lines(command.what);
        for (std::string text; std::getline(lines, text);) std::fprintf(out, "      %s\n", text.c_str());
    }
    for (const RecordRequest& known : kRecordRequests) {
        const std::string words = recordWords(known);
        std::fprintf(out, "  %s%s%s\n      %s\n", known.command, words.empty() ? "" : " ", words.c_str(), known.what);
    }
    printBoardCommands(out);
}

bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out, board::ProductBlocks* board) {
    // Delayed board commands finish before the script's end, while the device is there.
    struct FinishBoardCommands {
        ~FinishBoardCommands() { finishBoardCommands(); }
    } finish;
    Runner runner(kernel, out, board);
    bool good = true;
    std::string line;
    uint64_t number = 1;
    for (int c; (c = std::fgetc(script)) != EOF;) {
        if (c != '\n') {
            // An endless line would grow without bound: the script stops there.
            if (line.size() == kMaxLineSize) {
                std::fprintf(out, "error: line %llu is longer than %zu bytes\n", static_cast<unsigned long long>(number),
                             kMaxLineSize);
                return false;
            }
            line.push_back(static_cast<char>(c));
            continue;
        }
        good = runner.run(line) && good;
        line.clear();
        ++number;
    }
    if (std::ferror(script)) {
        std::fprintf(out, "error: the script could not be read after line %llu: %s\n",
                     static_cast<unsigned long long>(number - 1), std::strerror(errno));
        return false;
    }
    if (!line.empty()) good = runner.run(line) && good;
    return good;
}

}  // namespace kzvornsim
