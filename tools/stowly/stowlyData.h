// Builders of the data the driver carries in its read-only data (the two FPGA configuration
// images and the sequencer subroutine package), shared by the build-time generator and by tests
// that need replacement images and packages with chosen faults.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace stowly {

constexpr size_t kNisoFpgaImageSize = 2192012;
constexpr size_t kIsoFpgaImageSize = 6692572;
constexpr size_t kSubroutinePackageWordCount = 8634;
constexpr size_t kSubroutinePackageEntryCount = 123;

// An image in the board's format (board/fpgaImage.h): header, then deterministic filler that
// depends on the target and the size. size must hold at least the header. Replacements with a
// fault come from here too: another signature or size, or any byte past the header flipped
// afterwards for a CRC the board rejects.
std::vector<uint8_t> buildFpgaImage(uint16_t target, uint32_t signature, size_t size);

// The image the driver carries for target 0 or 1.
std::vector<uint8_t> builtInFpgaImage(uint16_t target);
// The signatures those two images give their FPGAs (non-isolated, isolated).
std::array<uint32_t, 2> builtInFpgaSignatures();

struct SubroutinePackageData {
    std::vector<uint64_t> words;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> startAddresses;

    // The words as the little-endian bytes of the embedded block.
    std::vector<uint8_t> bytes() const;
};

// A package of wordCount words holding one subroutine per id, in table order at ascending start
// addresses from 0. Each subroutine starts with a tag word naming its id; its other words are
// instructions of the sequencer's forms, none of them a tag. wordCount must be at least ids.size().
SubroutinePackageData buildSubroutinePackage(const std::vector<uint32_t>& ids, size_t wordCount);

// The 123 ids of the package the driver carries: the system's own 16 among generated ones.
std::vector<uint32_t> builtInSubroutineIds();

// The package the driver carries.
SubroutinePackageData builtInSubroutinePackage();

// A replacement package as a file for a reset's record: the word count and the entry count (32
// bits each), then the words, the ids and the start addresses, all little-endian.
std::vector<uint8_t> packageFile(const SubroutinePackageData& package);
// False for bytes that are not such a file.
bool readPackageFile(const std::vector<uint8_t>& bytes, SubroutinePackageData& package);

// One LZ4 block (no frame) holding the bytes.
std::vector<uint8_t> compressBlock(const std::vector<uint8_t>& bytes);

}  // namespace stowly
