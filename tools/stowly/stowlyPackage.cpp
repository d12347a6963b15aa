// Writes a replacement subroutine package for a reset's record:
//
//   stowly-package WORDS OUT [--ids ID,...] [--without ID] [--start INDEX=ADDRESS]...
//
// WORDS words holding one subroutine per id (the built-in package's ids unless --ids names
// others), each starting with its tag word; --without leaves an id out of the tables, --start
// gives entry INDEX another start address.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "tools/stowly/stowlyData.h"

namespace {

bool parseNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && value <= limit;
}

bool parseList(const std::string& text, std::vector<uint32_t>& values) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = text.find(',', at);
        unsigned long long value = 0;
        if (!parseNumber(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at), 0xFFFFFFFF,
                         value))
            return false;
        values.push_back(static_cast<uint32_t>(value));
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
    return false;
}

int usage() {
    std::fprintf(stderr, "usage: stowly-package WORDS OUT [--ids ID,...] [--without ID] [--start INDEX=ADDRESS]...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long wordCount = 0;
    if (argc < 3 || !parseNumber(argv[1], 0xFFFFFFFF, wordCount)) return usage();
    std::vector<uint32_t> ids;
    std::vector<uint32_t> without;
    std::vector<std::pair<size_t, uint32_t>> starts;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return usage();
        const std::string value = argv[++i];
        unsigned long long index = 0, address = 0;
        const size_t equals = value.find('=');
        if (option == "--ids") {
            if (!parseList(value, ids)) return usage();
        } else if (option == "--without") {
            if (!parseList(value, without)) return usage();
        } else if (option == "--start" && equals != std::string::npos &&
                   parseNumber(value.substr(0, equals), 0xFFFFFFFF, index) &&
                   parseNumber(value.substr(equals + 1), 0xFFFFFFFF, address)) {
            starts.emplace_back(index, static_cast<uint32_t>(address));
        } else {
            return usage();
        }
    }
    try {
        stowly::SubroutinePackageData package =
            stowly::buildSubroutinePackage(ids.empty() ? stowly::builtInSubroutineIds() : ids, wordCount);
        for (uint32_t id : without) {
            for (size_t e = 0; e < package.ids.size(); ++e) {
                if (package.ids[e] != id) continue;
                package.ids.erase(package.ids.begin() + e);
                package.startAddresses.erase(package.startAddresses.begin() + e);
                break;
            }
        }
        for (const auto& [index, address] : starts) {
            if (index >= package.startAddresses.size()) return usage();
            package.startAddresses[index] = address;
        }
        const std::vector<uint8_t> file = stowly::packageFile(package);
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        if (!out) {
            std::fprintf(stderr, "stowly-package: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stowly-package: %s\n", e.what());
        return 1;
    }
    return 0;
}
