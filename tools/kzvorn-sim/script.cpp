#include "script.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "kzapalcodegen/ioctlRecords.h"

namespace kzvornsim {

namespace {

constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr uint32_t kReset = 0x00208600;
constexpr uint32_t kCleanup = 0x00208603;
// Larger than any record; a larger area is refused before it is allocated.
constexpr uint64_t kMaxAreaSize = 65536;

// Device codes (0xBFFAxxxx) read best in hexadecimal, platform codes in decimal.
std::string statusText(int32_t status) {
    char text[32];
    if (status < -1000000)
        std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(status));
    else
        std::snprintf(text, sizeof text, "%d", status);
    return text;
}

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

class Runner {
public:
    Runner(kal::sim::Kernel& kernel, std::FILE* out) : kernel_(kernel), out_(out) { reopen(); }

    bool run(const std::string& line) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string command;
        if (!(words >> command)) return true;
        std::vector<std::string> arguments;
        for (std::string word; words >> word;) arguments.push_back(word);
        if (!session_) return fail(line, "no session on smu_kzvorn");
        if (command == "level" && arguments.empty()) return level();
        if (command == "reset" && arguments.size() == 1) return reset(arguments[0], line);
        if (command == "cleanup" && arguments.empty()) return cleanup();
        if (command == "ioctl" && arguments.size() == 3) return ioctl(arguments, line);
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

    bool reset(const std::string& word, const std::string& line) {
        uint64_t target = 0;
        if (!parseNumber(word, 0xFFFFFFFF, target)) return fail(line, "the level is not a 32-bit number");
        kzvorn_driver::tResetRecord input{};
        input.targetLevel = static_cast<uint32_t>(target);
        kzvorn_driver::tStatusRecord output{};
        if (!request(kReset, input, output)) return false;
        std::fprintf(out_, "reset %u: status: %s\n", input.targetLevel, statusText(output.status).c_str());
        reopen();
        return true;
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
    kal::sim::Session session_;
};

}  // namespace

bool runScript(kal::sim::Kernel& kernel, std::FILE* script, std::FILE* out) {
    Runner runner(kernel, out);
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
