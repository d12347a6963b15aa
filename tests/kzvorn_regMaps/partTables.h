// The product maps' register tables as their descriptions give them, typed here independently of
// the declarations the tests check: offset, key, access, keep mask and fields, in member order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace parts {

enum Access { RW, WO, RO };
constexpr uint32_t ALL = 0xFFFFFFFF;

struct Register {
    uint32_t offset;
    uint32_t key;
    Access access;
    uint32_t keep;
    const char* fields;  // ascending, "lo-hi" or "bit", joined by "; "
};

struct Field {
    unsigned low;
    unsigned width;
    uint64_t mask() const { return (width == 32 ? 0xFFFFFFFFull : ((1ull << width) - 1)) << low; }
};

inline std::vector<Field> fieldsOf(const Register& r) {
    std::vector<Field> out;
    const std::string text = r.fields;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(at, end - at);
        const size_t dash = item.find('-');
        const unsigned low = unsigned(std::stoul(item.substr(0, dash)));
        const unsigned high = dash == std::string::npos ? low : unsigned(std::stoul(item.substr(dash + 1)));
        out.push_back(Field{low, high - low + 1});
        at = end + 1;
    }
    return out;
}

// Bits 24-29 of a field identifier: the field's lowest bit, its six bits in reverse order.
inline uint32_t lowestBitCode(unsigned low) {
    uint32_t code = 0;
    for (unsigned b = 0; b < 6; ++b)
        if (low & (1u << b)) code |= 1u << (5 - b);
    return code << 24;
}

inline uint32_t wholeId(const Register& r) { return 0x80000000u | r.key; }
inline uint32_t fieldId(const Register& r, const Field& f) {
    return r.key | lowestBitCode(f.low) | (r.access == RO ? 0x40000000u : 0u);
}

// clang-format off
inline const std::vector<Register> kNisoFpga = {
    {0x000, 0x9DAF0B, RO, ALL, "0-31"},
    {0x004, 0xEABA97, RO, ALL, "0-31"},
    {0x008, 0xD04067, RO, ALL, "0-31"},
    {0x00C, 0x570F81, RW, ALL, "0-31"},
    {0x010, 0x71BD44, WO, 0x1FFFFFF0, "0; 1; 2; 3; 29; 30; 31"},
    {0x010, 0x7EF265, RO, ALL, "24; 25; 26; 31"},
    {0x014, 0xAA2FE2, WO, ALL, "0; 1; 2; 3; 4"},
    {0x020, 0x0F4DCB, WO, 0xFFFFFEFC, "0-1; 8; 9"},
    {0x020, 0x6F88CC, RO, ALL, "0-1; 8; 24-27"},
    {0x030, 0xD4EE1E, RO, ALL, "0-7"},
    {0x034, 0x8C6C62, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 16-23"},
    {0x038, 0x267DB4, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 16-23"},
    {0x03C, 0x8DD1F2, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 16-23"},
    {0x040, 0x667AF2, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 16-23"},
    {0x044, 0x1B97EF, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 16-23"},
    {0x070, 0x43B46F, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x070, 0xBDD9F6, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x078, 0x9E7642, RW, ALL, "0-11"},
    {0x07C, 0x4EBBC5, WO, 0x0F00C3F8, "0-2; 10; 11; 12; 13; 16-23; 28-31"},
    {0x07C, 0x2DF1B6, RW, ALL, "0-11; 12; 13; 14; 15; 16-23; 24-31"},
    {0x1C0, 0x56720B, WO, 0xFFFF7FF0, "0; 1; 2; 3; 15; 16-31"},
    {0x1C0, 0xDCC03B, RO, ALL, "0; 1; 2-16; 17-31"},
    {0x1C4, 0x92CEB1, RO, ALL, "0-31"},
    {0x1C8, 0xEF0ACA, RO, ALL, "0-31"},
    {0x1CC, 0x790EAC, WO, 0xFFFFFEEE, "0; 4; 8"},
    {0x1D0, 0xAF3FDA, RO, ALL, "0-31"},
    {0x1D4, 0x6B3EB5, RO, ALL, "0-29; 30; 31"},
    {0x1D8, 0xC9D5D6, RO, ALL, "0-31"},
    {0x1DC, 0x24C817, RO, ALL, "0-29; 30; 31"},
    {0x1E0, 0x7A52CA, RW, ALL, "0-31"},
    {0x1E4, 0xE2C56C, RW, ALL, "0-31"},
    {0x1E8, 0xC6FA5D, RW, ALL, "0-31"},
    {0x1EC, 0xB665D7, RW, ALL, "0-31"},
    {0x1F0, 0xCD1558, RW, ALL, "0-31"},
    {0x1F4, 0xE6E0CB, RW, ALL, "0-31"},
    {0x1F8, 0x0BECC2, RW, ALL, "0-31"},
    {0x1FC, 0xB5FA76, RW, ALL, "0-31"},
    {0x2A0, 0xF3C13C, WO, ALL, "0-15; 16-31"},
    {0x2A4, 0xCE0CCA, WO, ALL, "0-15; 16-31"},
    {0x2A8, 0xB531BF, WO, ALL, "0-15; 16-31"},
    {0x2AC, 0x2C8DC6, WO, ALL, "0-15; 16-31"},
    {0x2B0, 0x97A058, WO, ALL, "0-15; 16-31"},
    {0x2B4, 0x1B47A5, WO, ALL, "0-15; 16-31"},
    {0x2B8, 0x8514DA, WO, ALL, "0-15"},
    {0x2BC, 0x1042E0, WO, 0xFFFF00E1, "1; 2; 3; 4; 8; 9; 10; 11; 12; 13; 14; 15"},
    {0x2BC, 0x5B31E4, RO, ALL, "0-3; 30; 31"},
    {0x2C4, 0x7B187C, WO, ALL, "0-3; 8-14; 16; 17; 18; 24-26"},
    {0x2C8, 0x641ED5, WO, ALL, "0-15; 16-31"},
    {0x2CC, 0x074752, WO, ALL, "0-15; 16-31"},
    {0x2D0, 3031395,  WO, ALL, "0-23"},
    {0x2D4, 0x79E0D8, RO, ALL, "29"},
    {0x2D8, 0x8FBAA9, WO, 0xFFFFFFC0, "0; 1; 2; 3; 4; 5"},
    {0x390, 0x3B3230, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 11"},
    {0x394, 0x3C0526, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 11"},
    {0x398, 0xBA9DE6, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 11"},
    {0x39C, 0xA8B7BE, RO, ALL, "0; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; 11"},
    {0x818, 0x51F68F, RO, ALL, "0-14; 15; 16"},
    {0x820, 0xCED166, RO, ALL, "0-11; 15; 16-27; 31"},
    {0x824, 0x7BA3F2, RO, ALL, "0-11; 16"},
    {0x82C, 0x96DB18, RO, ALL, "0-11; 16"},
    {0x834, 0xCABC26, RO, ALL, "0-11; 15; 16-27; 31"},
    {0x838, 0x1EFEA3, RW, ALL, "0-11; 16-27"},
    // the arrays
    {0x050, 0xBE4AAA, WO, 0xFFFFFFFE, "0"},
    {0x054, 0xC602EB, WO, 0xFFFFFFFE, "0"},
    {0x058, 0xF6802D, WO, 0xFFFFFFFE, "0"},
    {0x05C, 0xE1E490, WO, 0xFFFFFFFE, "0"},
    {0x060, 0xA7875A, WO, 0xFFFFFFFE, "0"},
    {0x064, 0x095C29, WO, 0xFFFFFFFE, "0"},
    {0x068, 0xA765C6, WO, 0xFFFFFFFE, "0"},
    {0x06C, 0x918AFB, WO, 0xFFFFFFFE, "0"},
    {0x080, 0x0053A4, WO, 0xFFF0FFFF, "16; 17; 18; 19"},
    {0x084, 0xF7D06A, WO, 0xFFF0FFFF, "16; 17; 18; 19"},
    {0x088, 0x6CE529, WO, 0xFFF0FFFF, "16; 17; 18; 19"},
    {0x08C, 0xBE5CC8, WO, 0xFFF0FFFF, "16; 17; 18; 19"},
    {0x080, 0x6A80F5, RO, ALL, "0-15; 16; 17; 18; 20-22"},
    {0x084, 0x6D3099, RO, ALL, "0-15; 16; 17; 18; 20-22"},
    {0x088, 0xC897A9, RO, ALL, "0-15; 16; 17; 18; 20-22"},
    {0x08C, 0xD87417, RO, ALL, "0-15; 16; 17; 18; 20-22"},
    {0x0A0, 0x50D2CB, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0A4, 0xF37543, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0A8, 0x09E76E, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0AC, 0x52E911, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0B0, 0xECB8AB, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0B4, 0x9FA471, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0B8, 0xDF0349, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0BC, 0x8DECA9, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x0C0, 0x86E9A6, RW, ALL, "0-19; 28; 29; 30; 31"},
    {0x200, 0xBDE4BA, RO, ALL, "0-12; 16; 17; 31"},
    {0x210, 0xFCF6D8, RO, ALL, "0-12; 16; 17; 31"},
    {0x220, 0x6DFF96, RO, ALL, "0-12; 16; 17; 31"},
    {0x230, 0x7DC838, RO, ALL, "0-12; 16; 17; 31"},
    {0x240, 0xEE6955, RO, ALL, "0-12; 16; 17; 31"},
    {0x250, 0x56FF6E, RO, ALL, "0-12; 16; 17; 31"},
    {0x204, 0x6B4476, WO, 0xFFFEE000, "0-12; 16"},
    {0x214, 0x31CB4A, WO, 0xFFFEE000, "0-12; 16"},
    {0x224, 0xDF06C7, WO, 0xFFFEE000, "0-12; 16"},
    {0x234, 0x250C61, WO, 0xFFFEE000, "0-12; 16"},
    {0x244, 0xA66BF0, WO, 0xFFFEE000, "0-12; 16"},
    {0x254, 0x53C93B, WO, 0xFFFEE000, "0-12; 16"},
    {0x208, 0x19AEC4, RO, ALL, "0-31"},
    {0x218, 0x86AD14, RO, ALL, "0-31"},
    {0x228, 0xC1AA2C, RO, ALL, "0-31"},
    {0x238, 0x02E501, RO, ALL, "0-31"},
    {0x248, 0x3DC53C, RO, ALL, "0-31"},
    {0x258, 0xC8512F, RO, ALL, "0-31"},
    {0x208, 0x66C411, WO, ALL, "0-31"},
    {0x218, 0x0D8BF2, WO, ALL, "0-31"},
    {0x228, 0x3F8A4F, WO, ALL, "0-31"},
    {0x238, 0xE9793A, WO, ALL, "0-31"},
    {0x248, 0x382BD6, WO, ALL, "0-31"},
    {0x258, 0xEC1A8C, WO, ALL, "0-31"},
    {0x700, 0xD9E35A, RO, ALL, "0-11; 16"},
    {0x704, 0x84306A, RO, ALL, "0-11; 16"},
    {0x708, 0x5BF8D1, RO, ALL, "0-11; 16"},
    {0x70C, 0xF3E83B, RO, ALL, "0-11; 16"},
    {0x710, 0x57990F, RO, ALL, "0-11; 16"},
    {0x714, 0x5CADC5, RO, ALL, "0-11; 16"},
    {0x718, 0x089B2E, RO, ALL, "0-11; 16"},
    {0x71C, 0x268F7A, RO, ALL, "0-11; 16"},
    {0x720, 0x950619, RO, ALL, "0-11; 16"},
    {0x724, 0xC7AAD4, RO, ALL, "0-11; 16"},
    {0x728, 0x44EB1A, RO, ALL, "0-11; 16"},
    {0x72C, 0x2596C0, RO, ALL, "0-11; 16"},
    {0x730, 0x65BA7E, RO, ALL, "0-11; 16"},
    {0x734, 0x15A820, RO, ALL, "0-11; 16"},
    {0x738, 0xDD3A57, RO, ALL, "0-11; 16"},
    {0x73C, 0x9A0916, RO, ALL, "0-11; 16"},
    {0x740, 0xEEBA6E, RO, ALL, "0-10"},
    {0x744, 0x603DB1, RO, ALL, "0-10"},
    {0x748, 0xE90CEE, RO, ALL, "0-10"},
    {0x74C, 0xEBAE7B, RO, ALL, "0-10"},
};

inline const std::vector<Register> kMeasureUnit = {
    {0x00, 0x0BAEC7, WO, 0xFFFFFE3C, "0; 1; 6; 7; 8"},
    {0x04, 0xFC5103, WO, 0xFFFFFE3C, "0; 1; 6; 7; 8"},
    {0x08, 0x8C5043, WO, 0xFFFFFE3C, "0; 1; 6; 7; 8"},
    {0x10, 0x6681B5, RW, ALL, "0-21; 24-25; 28-30; 31"},
    {0x14, 0x464D90, RW, ALL, "0-21; 24-25; 28-30; 31"},
    {0x18, 0x268BFE, RW, ALL, "0-21; 24-25; 28-30; 31"},
    {0x20, 0x63E53D, RO, ALL, "0-3; 4-5; 6-8; 9; 10-11"},
    {0x24, 0x48AFF5, RO, ALL, "0-3; 4-5; 6-8; 9; 10-11"},
    {0x28, 0xE1DED3, RO, ALL, "0-3; 4-5; 6-8; 9; 10-11"},
    {0x30, 0xB6DABB, RO, ALL, "0-31"},
    {0x34, 0xCC6DD5, RO, ALL, "0-31"},
    {0x38, 0x2742DC, RO, ALL, "0-31"},
    {0x40, 0x987D1B, RO, ALL, "0-3; 4-5; 6-8; 9; 10-11"},
    {0x44, 0x9899F5, RO, ALL, "0-3; 4-5; 6-8; 9; 10-11"},
    {0x48, 0x572502, RO, ALL, "0-3; 4-5; 6-8; 9; 10-11"},
    {0x50, 0xFEE40D, RO, ALL, "0-31"},
    {0x54, 0xF3B223, RO, ALL, "0-31"},
    {0x58, 0xB714F1, RO, ALL, "0-31"},
};

inline const std::vector<Register> kPowerMonitor = {
    {0x00, 0x32D2B7, WO, ALL, "0-15; 16-18"},
    {0x04, 0xEBA6EC, WO, 0x1FB7FFFF, "0-15; 16-18; 19; 22; 29; 30; 31"},
    {0x08, 0xEA03EC, RO, ALL, "0-15; 16-19; 21; 27; 28; 29; 30; 31"},
    {0x0C, 0x120697, RO, ALL, "0-15; 16; 17"},
    {0x10, 0x63250D, RO, ALL, "0-15; 16; 17"},
    {0x14, 0x62AC29, RO, ALL, "0-15; 16; 17"},
};

inline const std::vector<Register> kIna231 = {
    {0, 0xBB1955, RW, ALL, "0-2; 3-5; 6-8; 9-11; 15"},
    {1, 0xE2E837, RO, ALL, "0-15"},
    {2, 0x0953C7, RO, ALL, "0-15"},
    {3, 0x01201B, RO, ALL, "0-15"},
    {4, 0xECF693, RO, ALL, "0-15"},
    {5, 0xE12FD5, RW, ALL, "0-15"},
    {6, 0x81E6E6, RW, ALL, "0; 1; 2; 3; 4; 10; 11; 12; 13; 14; 15"},
    {7, 0x608A95, RW, ALL, "0-15"},
};
// clang-format on

}  // namespace parts
