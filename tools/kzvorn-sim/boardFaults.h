// The board's fault knobs by name, as `kzvorn-sim --fault NAME[=VALUE]` sets them: one table, each
// knob set on the product's options before the board is built or on its blocks after.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/product.h"

namespace kzvornsim {

class BoardFaults {
public:
    // "NAME" or "NAME=VALUE"; false, with why, for a name not in the table or a value it does not take.
    bool add(const std::string& fault, std::string& why);
    void apply(board::ProductOptions& options) const;
    void apply(board::ProductBlocks& blocks) const;

    // One line per knob: its name, its value's meaning if it takes one, and what it does.
    static void list(std::FILE* out);

private:
    struct Chosen {
        size_t knob;
        uint64_t value;
        std::string text;
    };
    std::vector<Chosen> chosen_;
};

}  // namespace kzvornsim
