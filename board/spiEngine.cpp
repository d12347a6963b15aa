#include "board/spiEngine.h"

#include <memory>
#include <mutex>

#include "board/bar0Map.h"
#include "board/registerFile.h"

namespace board {

namespace {
constexpr uint64_t kReadFormat = bar0::kSpiPort + 0x4;
constexpr uint64_t kWriteFormat = bar0::kSpiPort + 0x8;
constexpr uint64_t kOpcodes = bar0::kSpiPort + 0xC;
}  // namespace

SpiEngine::SpiEngine(Board& board, const std::vector<uint8_t>& image) : board_(board), flash_(image) {}

SpiEngine::SpiEngine(Board& board, SharedFlashBytes image) : board_(board), flash_(std::move(image)) {}

uint8_t SpiEngine::transfer(bool read, uint8_t data) {
    Bar& registers = board_.bar(0);
    const uint32_t format = static_cast<uint32_t>(registers.load(read ? kReadFormat : kWriteFormat, 4));
    const uint32_t opcodes = static_cast<uint32_t>(registers.load(kOpcodes, 4));
    SST25VFFlash::Transfer t;
    t.opcode = static_cast<uint8_t>(read ? opcodes >> 16 : opcodes);
    t.opcodeBits = format & 0x1F;
    t.addressBits = (format >> 16) & 0x3F;
    t.dataBits = (format >> 24) & 0x7F;
    t.address = static_cast<uint32_t>(registers.load(kWindowSelectRegister, 4));
    t.read = read;
    t.data = read ? 0 : data;
    return flash_.transfer(t);
}

// Only byte accesses run transfers; wider ones reach nothing.
uint64_t SpiEngine::read(uint64_t, unsigned width) { return width == 1 ? transfer(true, 0) : ~uint64_t{0}; }

void SpiEngine::write(uint64_t, unsigned width, uint64_t value) {
    if (width == 1) transfer(false, static_cast<uint8_t>(value));
}

namespace {

SpiEngine& install(Board& board, BridgeWindow& window, TimingBlock& timing, std::unique_ptr<SpiEngine> engine) {
    std::lock_guard<BoardLock> guard(board.lock());
    if (!board.bar(0).hasRegionIn(bar0::kSpiPort, bar0::kSpiPortSize)) {
        board.addRegion<RegisterFile>(0, bar0::kSpiPort, bar0::kSpiPortSize, board);
        board.bar(0).store(bar0::kSpiPort, 4, kSpiPortRegister00AtReset);
    }
    SpiEngine& result = *engine;
    window.adoptDataPort(std::move(engine));
    SST25VFFlash& flash = result.flash();
    timing.onWriteProtectLine([&flash](bool high) { flash.setWriteProtectLine(high); });
    return result;
}

}  // namespace

SpiEngine& installSpiEngine(Board& board, BridgeWindow& window, TimingBlock& timing, const std::vector<uint8_t>& image) {
    return install(board, window, timing, std::make_unique<SpiEngine>(board, image));
}

SpiEngine& installSpiEngine(Board& board, BridgeWindow& window, TimingBlock& timing, SharedFlashBytes image) {
    return install(board, window, timing, std::make_unique<SpiEngine>(board, std::move(image)));
}

}  // namespace board
