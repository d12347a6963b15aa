// The board's SST25VF serial flash as an SPI device: 1 MiB, 4 KiB sector erase, byte program that
// can only clear bits, a status register with busy, write-enable latch and block-protect bits, and
// a write-protect line input. The SPI engine of the bridge hands it one transfer per data-window
// access; tests may call it directly.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/boundedLog.h"

namespace board {

// An image several chips may start from (boards are built by the hundred in some tests and once
// for every input of a fuzz target).
using SharedFlashBytes = std::shared_ptr<const std::vector<uint8_t>>;

class SST25VFFlash {
public:
    static constexpr uint32_t kSize = 0x100000;
    static constexpr uint32_t kSectorSize = 0x1000;

    static constexpr uint8_t kReadStatusRegister = 0x05;
    static constexpr uint8_t kWriteEnable = 0x06;
    static constexpr uint8_t kEnableWriteStatusRegister = 0x50;
    static constexpr uint8_t kWriteStatusRegister = 0x01;
    static constexpr uint8_t kRead = 0x03;
    static constexpr uint8_t kByteProgram = 0x02;
    static constexpr uint8_t kSectorErase = 0x20;

    static constexpr uint8_t kBusy = 0x01;
    static constexpr uint8_t kWriteEnableLatch = 0x02;
    // BP0-BP3; any of them set protects the whole array in this model.
    static constexpr uint8_t kBlockProtect = 0x3C;

    // One SPI transfer: the bit counts come from the bridge's transfer format, the direction from
    // the data-window access.
    struct Transfer {
        uint8_t opcode = 0;
        uint32_t opcodeBits = 8;
        uint32_t address = 0;
        uint32_t addressBits = 0;
        uint32_t dataBits = 0;
        bool read = false;
        uint8_t data = 0;
    };

    struct LogEntry {
        enum Kind { kTransfer, kWriteProtectLine } kind;
        Transfer transfer;  // for kTransfer; for a read, data holds the byte returned
        bool lineHigh;      // for kWriteProtectLine: the new level
    };

    // Erased, its status register protected (0x0C) and the write-protect line low, as at power-up.
    SST25VFFlash();
    // Holds the image, erased beyond it.
    explicit SST25VFFlash(const std::vector<uint8_t>& image);
    // Starts from a whole image without copying it: a sector is copied when first programmed or
    // erased.
    explicit SST25VFFlash(SharedFlashBytes image);

    // Returns the byte read (0xFF when nothing drives the bus).
    uint8_t transfer(const Transfer& transfer);
    void setWriteProtectLine(bool high);

    bool writeProtectLine() const;
    uint8_t statusRegister() const;
    std::vector<uint8_t> contents(uint32_t address, uint32_t size) const;
    void load(uint32_t address, const std::vector<uint8_t>& bytes);
    // The latest kLogCapacity entries, oldest first; the log is empty afterwards.
    std::vector<LogEntry> takeLog();
    // On by default; off, the chip allocates nothing (for allocation-failure tests).
    void setLogging(bool on);
    static constexpr size_t kLogCapacity = kAccessLogCapacity;
    // The log as text, one entry per string ("WP high", "06", "02 @001000 = 5A", "05 -> 03"), with
    // each run of status-register reads folded into one "poll" when foldPolls is set.
    static std::vector<std::string> describe(const std::vector<LogEntry>& log, bool foldPolls);

    // Status reads an erase or a program keeps the chip busy for.
    void setBusyReads(unsigned erase, unsigned program);
    // Fault knobs. Stuck busy: the busy bit always reads set, though commands still act. Never
    // ready: the write-enable latch never sets. Dropped program: byte programs leave the array as
    // it is, while the chip behaves as if it programmed.
    void setStuckBusy(bool stuck);
    void setNeverReady(bool neverReady);
    void setDropPrograms(bool drop);

private:
    uint8_t readStatusLocked();
    bool arrayProtected() const { return (status_ & kBlockProtect) != 0; }
    // Ends a program or erase: the latch clears and the chip stays busy for some reads.
    void startOperation(unsigned busyReads);

    uint8_t byteAt(uint32_t address) const;
    // The sector's own bytes, copied from the image (or erased) on first use.
    uint8_t* ownSector(uint32_t address);

    struct Free {
        void operator()(uint8_t* bytes) const { std::free(bytes); }
    };
    static constexpr uint32_t kSectors = kSize / kSectorSize;

    mutable std::mutex mutex_;
    // The array: a sector's own bytes where it has them, else the image's (erased without one).
    // The copies bypass the system's allocator, as the chip changes inside driver calls.
    SharedFlashBytes image_;
    std::array<std::unique_ptr<uint8_t[], Free>, kSectors> sectors_;
    uint8_t status_ = 0x0C;
    bool statusWriteEnabled_ = false;
    bool lineHigh_ = false;
    unsigned busyReadsLeft_ = 0;
    unsigned eraseBusyReads_ = 3;
    unsigned programBusyReads_ = 1;
    bool stuckBusy_ = false;
    bool neverReady_ = false;
    bool dropPrograms_ = false;
    bool logging_ = true;
    BoundedLog<LogEntry> log_{kLogCapacity};
};

}  // namespace board
