#include "script.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "boardCommands.h"
#include "kal/sim/user.h"
#include "kzapalcodegen/ioctlRecords.h"
#include "kzvorn_driver_codegen/customResetParameters.h"

namespace kzvornsim {

std::string statusText(int64_t status) {
    char text[32];
    if (status < -1000000)
        std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
    else
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(status));
    return text;
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
constexpr uint32_t kWindowGet = 0x00208147;
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
// Larger than any record; a larger area is refused before it is allocated.
constexpr uint64_t kMaxAreaSize = 65536;

bool parseNumber(const std::string& word, uint64_t limit, uint64_t& value) {
    if (word.empty() || word[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(word.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    value = parsed;
    return true;
}

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
};

class Runner {
public:
    Runner(kal::sim::Kernel& kernel, std::FILE* out, board::ProductBlocks* board)
        : kernel_(kernel), out_(out), board_(board) {
        reopen();
    }

    bool run(const std::string& line) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string command;
        if (!(words >> command)) return true;
        std::vector<std::string> arguments;
        for (std::string word; words >> word;) arguments.push_back(word);
        if (!session_) return fail(line, "no session on smu_kzvorn");
        if (command == "level" && arguments.empty()) return level();
        if (command == "reset" && !arguments.empty()) return reset(arguments, line);
        if (command == "cleanup" && arguments.empty()) return cleanup();
        if (command == "ioctl" && arguments.size() == 3) return ioctl(arguments, line);
        for (const Registry& registry : kRegistries)
            if (command == registry.command && arguments.empty()) return names(registry);
        const std::string echo = line.substr(0, line.find('#'));
        if (command == "arm.read" && arguments.size() == 2) return armValue(kArmReadEx, arguments, echo);
        if (command == "arm.get" && arguments.size() == 2) return armValue(kArmGetEx, arguments, echo);
        if (command == "arm.write" && (arguments.size() == 3 || arguments.size() == 4)) return armWrite(arguments, echo);
        if (command == "arm.set" && arguments.size() == 3) return armSet(arguments, echo);
        if (command == "arm.flush" && (arguments.size() == 2 || arguments.size() == 3)) return armFlush(arguments, echo);
        if (command == "arm.refresh" && arguments.size() == 2) return armRefresh(arguments, echo);
        if (command == "arm.flushmap" && (arguments.size() == 1 || arguments.size() == 2))
            return armFlushMap(arguments, echo);
        if (command == "arm.format" && arguments.size() == 2) return armFormat(arguments, echo);
        if (command == "window.get" && arguments.size() == 3) return windowGet(arguments, echo);
        if (command == "storagemap.raw" && arguments.size() == 5) return storageMapRaw(arguments, echo);
        if (command == "storagemap.checksum" && arguments.size() == 1) return storageMapChecksum(arguments, echo);
        if (board_ != nullptr && runBoardCommand(command, arguments, *board_, out_)) return true;
        return fail(line, "unknown request");
    }

private:
    template <class tOutput, class tInput>
    bool request(uint32_t code, const tInput& input, tOutput& output) {
        const auto reply = session_.ioctl(code, &input, sizeof input, &output, sizeof output);
        if (reply.result == 0) return true;
        std::fprintf(out_, "transport: %d\n", reply.result);
        return false;
    }

    bool level() {
        kzvorn_driver::tValue32Record output{};
        if (!request(kGetSetupLevel, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "level: %u, status: %s\n", output.value, statusText(output.status).c_str());
        return true;
    }

    bool reset(const std::vector<std::string>& arguments, const std::string& line) {
        uint64_t target = 0;
        if (!parseNumber(arguments[0], 0xFFFFFFFF, target)) return fail(line, "the level is not a 32-bit number");
        // The record and the images it names stay in user memory until the reset returns.
        std::vector<std::unique_ptr<CallerBytes>> images;
        CustomRecord record{};
        for (size_t i = 1; i < arguments.size(); ++i) {
            const ImageField* field = imageField(arguments[i]);
            if (field == nullptr) return fail(line, "not a replacement: give niso=FILE");
            std::string bytes;
            if (!readFile(arguments[i].substr(std::strlen(field->name) + 1), bytes))
                return fail(line, "cannot read the replacement file");
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

    bool cleanup() {
        kzvorn_driver::tStatusRecord output{};
        if (!request(kCleanup, kzvorn_driver::tStatusRecord{}, output)) return false;
        std::fprintf(out_, "cleanup: status: %s\n", statusText(output.status).c_str());
        return true;
    }

    bool ioctl(const std::vector<std::string>& arguments, const std::string& line) {
        uint64_t code = 0;
        uint64_t outputSize = 0;
        std::vector<uint8_t> input;
        if (!parseNumber(arguments[0], 0xFFFFFFFF, code)) return fail(line, "the code is not a 32-bit number");
        if (!parseHex(arguments[1], input)) return fail(line, "the input is not hexadecimal bytes");
        if (!parseNumber(arguments[2], kMaxAreaSize, outputSize)) return fail(line, "the output size is too large");
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
    bool names(const Registry& registry) {
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
    bool armValue(uint32_t code, const std::vector<std::string>& arguments, const std::string& echo) {
        CallerBytes name(arguments[0]);
        kzvorn_driver::tFieldExRecord input{};
        if (!field(arguments[1], input.field, echo)) return false;
        input.name = name.address();
        input.nameLength = name.size();
        kzvorn_driver::tValue64Record output{};
        if (!request(code, input, output)) return false;
        std::fprintf(out_, "%s: value: 0x%llX, status: %s\n", trimmed(echo).c_str(),
                     static_cast<unsigned long long>(output.value), statusText(output.status).c_str());
        return true;
    }

    // `write` merges the value into the shadow and writes the register when it changed, is dirty or
    // is forced; `set` only merges it.
    bool armWrite(const std::vector<std::string>& arguments, const std::string& echo) {
        kzvorn_driver::tFieldWriteExRecord input{};
        return field(arguments[1], input.field, echo) && value(arguments[2], input.value, echo) &&
               force(arguments, 3, input.force, echo) && sendForStatus(kArmWriteEx, input, arguments[0], echo);
    }

    bool armSet(const std::vector<std::string>& arguments, const std::string& echo) {
        kzvorn_driver::tFieldSetExRecord input{};
        return field(arguments[1], input.field, echo) && value(arguments[2], input.value, echo) &&
               sendForStatus(kArmSetEx, input, arguments[0], echo);
    }

    // `flush` writes the register the identifier names when it is dirty or forced; `refresh` reads it
    // into its shadow.
    bool armFlush(const std::vector<std::string>& arguments, const std::string& echo) {
        kzvorn_driver::tFieldFlushExRecord input{};
        return field(arguments[1], input.field, echo) && force(arguments, 2, input.force, echo) &&
               sendForStatus(kArmFlushRegisterEx, input, arguments[0], echo);
    }

    bool armRefresh(const std::vector<std::string>& arguments, const std::string& echo) {
        kzvorn_driver::tFieldExRecord input{};
        return field(arguments[1], input.field, echo) && sendForStatus(kArmRefreshRegisterEx, input, arguments[0], echo);
    }

    // Every writable register of the map (and of its sub-maps) that is dirty, or all when forced.
    bool armFlushMap(const std::vector<std::string>& arguments, const std::string& echo) {
        kzvorn_driver::tNameForceRecord input{};
        return force(arguments, 1, input.force, echo) && sendForStatus(kArmFlushRegMap, input, arguments[0], echo);
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
    bool armFormat(const std::vector<std::string>& arguments, const std::string& echo) {
        CallerBytes name(arguments[0]), types(kFormatCapacity), masks(kFormatCapacity * 8);
        kzvorn_driver::tRegisterFormatRecord input{};
        if (!field(arguments[1], input.field, echo)) return false;
        input.name = name.address();
        input.nameLength = name.size();
        input.types = types.address();
        input.masks = masks.address();
        kzvorn_driver::tValue32Record output{};
        if (!request(kArmGetRegisterFormat, input, output)) return false;
        std::fprintf(out_, "%s: fields: %u, status: %s\n", trimmed(echo).c_str(), output.value,
                     statusText(output.status).c_str());
        for (uint32_t i = 0; output.status >= 0 && i < output.value && i < kFormatCapacity; ++i) {
            uint64_t mask = 0;
            std::memcpy(&mask, masks.data() + i * 8, 8);
            std::fprintf(out_, "  type %u mask 0x%llX\n", types.data()[i], static_cast<unsigned long long>(mask));
        }
        return true;
    }

    // The window's cached bytes. The caller's area holds at most 64 KiB; a larger count is sent as
    // it is, so the driver's refusal shows.
    bool windowGet(const std::vector<std::string>& arguments, const std::string& echo) {
        CallerBytes name(arguments[0]);
        kzvorn_driver::tWindowGetRecord input{};
        if (!parseNumber(arguments[1], UINT64_MAX, input.offset) || !parseNumber(arguments[2], UINT64_MAX, input.count))
            return fail(echo, "the offset or the count is not a 64-bit number");
        CallerBytes area(input.count < kMaxAreaSize ? input.count : kMaxAreaSize);
        input.name = name.address();
        input.nameLength = name.size();
        input.destination = area.address();
        return transfer(kWindowGet, input, area, echo);
    }

    bool storageMapRaw(const std::vector<std::string>& arguments, const std::string& echo) {
        CallerBytes name(arguments[0]);
        kzvorn_driver::tStorageMapRawRecord input{};
        if (!field(arguments[1], input.field, echo)) return false;
        if (!parseNumber(arguments[2], UINT64_MAX, input.firstElement) ||
            !parseNumber(arguments[3], UINT64_MAX, input.elementCount) ||
            !parseNumber(arguments[4], UINT64_MAX, input.elementSize))
            return fail(echo, "the first element, count or element size is not a 64-bit number");
        const bool small = input.elementSize != 0 && input.elementCount <= kMaxAreaSize / input.elementSize;
        CallerBytes area(small ? input.elementCount * input.elementSize : kMaxAreaSize);
        input.name = name.address();
        input.nameLength = name.size();
        input.buffer = area.address();
        return transfer(kStorageMapGetRaw, input, area, echo);
    }

    bool storageMapChecksum(const std::vector<std::string>& arguments, const std::string& echo) {
        CallerBytes name(arguments[0]);
        kzvorn_driver::tNameRecord input{};
        input.name = name.address();
        input.nameLength = name.size();
        kzvorn_driver::tValue8Record output{};
        if (!request(kStorageMapIsChecksumValid, input, output)) return false;
        std::fprintf(out_, "%s: valid: %u, status: %s\n", trimmed(echo).c_str(), output.value,
                     statusText(output.status).c_str());
        return true;
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

    bool fail(const std::string& line, const char* why) {
        std::fprintf(out_, "error: %s: %s\n", why, line.c_str());
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
};

}  // namespace

bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out, board::ProductBlocks* board) {
    Runner runner(kernel, out, board);
    bool good = true;
    std::string line;
    for (int c; (c = std::fgetc(script)) != EOF;) {
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        good = runner.run(line) && good;
        line.clear();
    }
    if (!line.empty()) good = runner.run(line) && good;
    return good;
}

}  // namespace kzvornsim
