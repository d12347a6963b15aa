#include "tools/stowly/stowlyData.h"

#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "board/crc32.h"
#include "board/fpgaImage.h"
#include "board/subroutineTag.h"
#include "dravikTools/sequencerInstruction.h"
#include "dravikTools/systemSubroutineIds.h"
#include "fpga/firmware/fpgaSignatures.h"

namespace stowly {

namespace {

// splitmix64: a fixed, portable sequence, so every build produces the same bytes.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
        return z ^ (z >> 31);
    }

private:
    uint64_t state_;
};

using draviktools::SequencerField;

template <SequencerField F, class Instruction>
void setRandomField(Instruction& instruction, Random& random) {
    if constexpr (Instruction::template has<F>()) {
        // Small operands keep the package compressible, as real sequencer code is.
        const uint64_t value = F == SequencerField::kOperand ? random.next() % 4096 : random.next();
        instruction.template set<F>(static_cast<uint32_t>(value));
    }
}

template <unsigned Number, size_t... Fields>
uint64_t randomInstruction(Random& random, std::index_sequence<Fields...>) {
    draviktools::SequencerInstruction<Number> instruction;
    (setRandomField<static_cast<SequencerField>(Fields)>(instruction, random), ...);
    return instruction.word();
}

template <unsigned Number>
uint64_t randomInstruction(Random& random) {
    return randomInstruction<Number>(random, std::make_index_sequence<draviktools::kSequencerFieldCount>());
}

using InstructionMaker = uint64_t (*)(Random&);

template <size_t... Forms>
constexpr std::array<InstructionMaker, sizeof...(Forms)> instructionMakers(std::index_sequence<Forms...>) {
    return {&randomInstruction<Forms + 1>...};
}

constexpr auto kInstructionMakers =
    instructionMakers(std::make_index_sequence<draviktools::kSequencerInstructionFormCount>());

uint64_t randomNonTagInstruction(Random& random) {
    for (;;) {
        const uint64_t word = kInstructionMakers[random.next() % kInstructionMakers.size()](random);
        if (!board::isSubroutineTag(word)) return word;
    }
}

// Subroutine bodies are runs taken from a pool of instructions, the way real sequencer code
// repeats its idioms; that keeps the compressed block small.
class BodyWriter {
public:
    explicit BodyWriter(Random& random) : random_(random) {
        for (uint64_t& word : pool_) word = randomNonTagInstruction(random_);
    }

    void append(std::vector<uint64_t>& words, size_t count) {
        while (count > 0) {
            const size_t from = random_.next() % pool_.size();
            const size_t run = std::min<size_t>(count, 4 + random_.next() % 13);
            for (size_t k = 0; k < run; ++k) words.push_back(pool_[(from + k) % pool_.size()]);
            count -= run;
        }
    }

private:
    Random& random_;
    std::array<uint64_t, 256> pool_;
};

uint64_t tagInstruction(uint32_t id) {
    return draviktools::SequencerInstruction22().setBits32_47(board::kSubroutineTagMarker).setOperand(id).word();
}

// Lengths vary around the mean in pairs that cancel, so they always add up to wordCount.
std::vector<size_t> subroutineLengths(size_t count, size_t wordCount, Random& random) {
    std::vector<size_t> lengths(count, wordCount / count);
    const size_t mean = wordCount / count;
    for (size_t i = 0; i + 1 < count; i += 2) {
        const size_t delta = mean > 1 ? random.next() % (mean / 2) : 0;
        lengths[i] += delta;
        lengths[i + 1] -= delta;
    }
    lengths.back() += wordCount % count;
    return lengths;
}

}  // namespace

std::vector<uint8_t> buildFpgaImage(uint16_t target, uint32_t signature, size_t size) {
    if (size < board::kFpgaImageHeaderSize || size > UINT32_MAX) {
        throw std::invalid_argument("an image holds its header and at most 4 GiB");
    }
    // A repeated 4 KiB block with its index in front: compresses well, yet no two blocks are equal.
    constexpr size_t kBlock = 4096;
    std::array<uint8_t, kBlock> block;
    Random random(0xF96A0000u + target);
    for (uint8_t& b : block) b = static_cast<uint8_t>(random.next());

    std::vector<uint8_t> image(size);
    for (size_t p = board::kFpgaImageHeaderSize; p < size; ++p) {
        const size_t offset = p - board::kFpgaImageHeaderSize;
        const size_t index = offset / kBlock;
        const size_t inBlock = offset % kBlock;
        image[p] = inBlock < 4 ? static_cast<uint8_t>(index >> (8 * inBlock)) : block[inBlock];
    }
    board::FpgaImageHeader header;
    header.target = target;
    header.signature = signature;
    header.length = static_cast<uint32_t>(size);
    header.crc = board::crc32(image.data() + board::kFpgaImageHeaderSize, size - board::kFpgaImageHeaderSize);
    board::encodeFpgaImageHeader(header, image.data());
    return image;
}

std::vector<uint8_t> builtInFpgaImage(uint16_t target) {
    const std::array<uint32_t, 2> signatures = builtInFpgaSignatures();
    switch (target) {
        case 0: return buildFpgaImage(0, signatures[0], kNisoFpgaImageSize);
        case 1: return buildFpgaImage(1, signatures[1], kIsoFpgaImageSize);
    }
    throw std::invalid_argument("only the two FPGAs have images");
}

std::array<uint32_t, 2> builtInFpgaSignatures() {
    return {kzvorn_driver::kNisoFpgaSignature, kzvorn_driver::kIsoFpgaSignature};
}

std::vector<uint8_t> SubroutinePackageData::bytes() const {
    std::vector<uint8_t> out;
    out.reserve(words.size() * 8);
    for (uint64_t word : words) {
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    return out;
}

namespace {

void putLittleEndian(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t takeLittleEndian(const std::vector<uint8_t>& in, size_t& at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{in[at + i]} << (8 * i);
    at += bytes;
    return value;
}

}  // namespace

std::vector<uint8_t> packageFile(const SubroutinePackageData& package) {
    if (package.ids.size() != package.startAddresses.size())
        throw std::invalid_argument("every id needs its start address");
    std::vector<uint8_t> out;
    putLittleEndian(out, package.words.size(), 4);
    putLittleEndian(out, package.ids.size(), 4);
    for (uint64_t word : package.words) putLittleEndian(out, word, 8);
    for (uint32_t id : package.ids) putLittleEndian(out, id, 4);
    for (uint32_t address : package.startAddresses) putLittleEndian(out, address, 4);
    return out;
}

bool readPackageFile(const std::vector<uint8_t>& bytes, SubroutinePackageData& package) {
    if (bytes.size() < 8) return false;
    size_t at = 0;
    const uint64_t words = takeLittleEndian(bytes, at, 4);
    const uint64_t entries = takeLittleEndian(bytes, at, 4);
    if (bytes.size() != 8 + 8 * words + 8 * entries) return false;
    package = SubroutinePackageData{};
    for (uint64_t i = 0; i < words; ++i) package.words.push_back(takeLittleEndian(bytes, at, 8));
    for (uint64_t i = 0; i < entries; ++i) package.ids.push_back(static_cast<uint32_t>(takeLittleEndian(bytes, at, 4)));
    for (uint64_t i = 0; i < entries; ++i)
        package.startAddresses.push_back(static_cast<uint32_t>(takeLittleEndian(bytes, at, 4)));
    return true;
}

SubroutinePackageData buildSubroutinePackage(const std::vector<uint32_t>& ids, size_t wordCount) {
    if (wordCount < ids.size()) throw std::invalid_argument("every subroutine needs its tag word");
    Random random(0x5EB00000u + ids.size());
    SubroutinePackageData package;
    package.ids = ids;
    package.words.reserve(wordCount);
    BodyWriter body(random);
    if (!ids.empty()) {
        const std::vector<size_t> lengths = subroutineLengths(ids.size(), wordCount, random);
        for (size_t i = 0; i < ids.size(); ++i) {
            package.startAddresses.push_back(static_cast<uint32_t>(package.words.size()));
            package.words.push_back(tagInstruction(ids[i]));
            body.append(package.words, lengths[i] - 1);
        }
    }
    body.append(package.words, wordCount - package.words.size());
    return package;
}

std::vector<uint32_t> builtInSubroutineIds() {
    // The system's ids sit at every seventh entry; generated ids fill the rest.
    std::vector<uint32_t> ids(kSubroutinePackageEntryCount, 0);
    for (size_t k = 0; k < draviktools::kSystemSubroutineCount; ++k) {
        ids[3 + 7 * k] = draviktools::kSystemSubroutineIds[k];
    }
    Random random(0x1D5u);
    for (uint32_t& id : ids) {
        while (id == 0) {
            const auto candidate = static_cast<uint32_t>(random.next());
            if (candidate != 0 && std::find(ids.begin(), ids.end(), candidate) == ids.end()) id = candidate;
        }
    }
    return ids;
}

SubroutinePackageData builtInSubroutinePackage() {
    return buildSubroutinePackage(builtInSubroutineIds(), kSubroutinePackageWordCount);
}

std::vector<uint8_t> compressBlock(const std::vector<uint8_t>& bytes) {
    if (bytes.size() > LZ4_MAX_INPUT_SIZE) throw std::invalid_argument("too large for one LZ4 block");
    const int sourceSize = static_cast<int>(bytes.size());
    std::vector<uint8_t> block(static_cast<size_t>(LZ4_compressBound(sourceSize)));
    const int written = LZ4_compress_HC(reinterpret_cast<const char*>(bytes.data()),
                                        reinterpret_cast<char*>(block.data()), sourceSize,
                                        static_cast<int>(block.size()), LZ4HC_CLEVEL_DEFAULT);
    if (written <= 0) throw std::runtime_error("LZ4 compression failed");
    block.resize(static_cast<size_t>(written));
    return block;
}

}  // namespace stowly
