#include "board/sst25vfFlash.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace board {

SST25VFFlash::SST25VFFlash() = default;

// A whole image is the array as it stands; anything else lands on an erased chip.
SST25VFFlash::SST25VFFlash(const std::vector<uint8_t>& image) {
    if (image.size() == kSize)
        image_ = std::make_shared<const std::vector<uint8_t>>(image);
    else
        load(0, image);
}

SST25VFFlash::SST25VFFlash(SharedFlashBytes image) : image_(std::move(image)) {
    if (image_ != nullptr && image_->size() != kSize) std::abort();
}

uint8_t SST25VFFlash::byteAt(uint32_t address) const {
    if (const auto& own = sectors_[address / kSectorSize]) return own[address % kSectorSize];
    return image_ != nullptr ? (*image_)[address] : 0xFF;
}

uint8_t* SST25VFFlash::ownSector(uint32_t address) {
    auto& own = sectors_[address / kSectorSize];
    if (own == nullptr) {
        own.reset(static_cast<uint8_t*>(std::malloc(kSectorSize)));
        if (own == nullptr) std::abort();
        const uint32_t start = address & ~(kSectorSize - 1);
        if (image_ != nullptr)
            std::copy_n(image_->begin() + start, kSectorSize, own.get());
        else
            std::fill_n(own.get(), kSectorSize, 0xFF);
    }
    return own.get();
}

// Addresses wrap at the end of the chip.
void SST25VFFlash::load(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (size_t done = 0; done < bytes.size();) {
        const uint32_t at = static_cast<uint32_t>((address + done) % kSize);
        const size_t run = std::min(bytes.size() - done, size_t{kSectorSize - at % kSectorSize});
        std::copy_n(bytes.begin() + done, run, ownSector(at) + at % kSectorSize);
        done += run;
    }
}

std::vector<uint8_t> SST25VFFlash::contents(uint32_t address, uint32_t size) const {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = byteAt(static_cast<uint32_t>((address + i) % kSize));
    return bytes;
}

bool SST25VFFlash::writeProtectLine() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return lineHigh_;
}

uint8_t SST25VFFlash::statusRegister() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return status_;
}

std::vector<SST25VFFlash::LogEntry> SST25VFFlash::takeLog() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<LogEntry> taken = log_.entries();
    log_.clear();
    return taken;
}

void SST25VFFlash::setBusyReads(unsigned erase, unsigned program) {
    std::lock_guard<std::mutex> hold(mutex_);
    eraseBusyReads_ = erase;
    programBusyReads_ = program;
}

void SST25VFFlash::setLogging(bool on) {
    std::lock_guard<std::mutex> hold(mutex_);
    logging_ = on;
}

void SST25VFFlash::setStuckBusy(bool stuck) {
    std::lock_guard<std::mutex> hold(mutex_);
    stuckBusy_ = stuck;
}

void SST25VFFlash::setNeverReady(bool neverReady) {
    std::lock_guard<std::mutex> hold(mutex_);
    neverReady_ = neverReady;
}

void SST25VFFlash::setDropPrograms(bool drop) {
    std::lock_guard<std::mutex> hold(mutex_);
    dropPrograms_ = drop;
}

void SST25VFFlash::setWriteProtectLine(bool high) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (high == lineHigh_) return;
    lineHigh_ = high;
    if (logging_) log_.push({LogEntry::kWriteProtectLine, {}, high});
}

uint8_t SST25VFFlash::readStatusLocked() {
    if (busyReadsLeft_ != 0) --busyReadsLeft_;
    const bool busy = busyReadsLeft_ != 0 || stuckBusy_;
    return static_cast<uint8_t>(status_ | (busy ? kBusy : 0));
}

void SST25VFFlash::startOperation(unsigned busyReads) {
    status_ &= static_cast<uint8_t>(~kWriteEnableLatch);
    // The first status read after the command already counts.
    busyReadsLeft_ = busyReads + 1;
}

uint8_t SST25VFFlash::transfer(const Transfer& request) {
    std::lock_guard<std::mutex> hold(mutex_);
    Transfer t = request;
    t.address = t.addressBits >= 32 ? t.address : t.address & ((1u << t.addressBits) - 1);
    const uint32_t address = t.address % kSize;
    const bool busy = busyReadsLeft_ != 0;
    uint8_t result = 0xFF;
    const bool enabled = (status_ & kWriteEnableLatch) != 0;

    if (t.opcode == kReadStatusRegister && t.read) {
        result = readStatusLocked();
    } else if (busy) {
        // An erase or program in progress ignores everything but status reads.
    } else if (t.opcode == kRead && t.read) {
        result = byteAt(address);
    } else if (t.read) {
        // Nothing drives the bus for a read of a write command.
    } else if (t.opcode == kWriteEnable) {
        if (!neverReady_) status_ |= kWriteEnableLatch;
    } else if (t.opcode == kEnableWriteStatusRegister) {
        statusWriteEnabled_ = true;
    } else if (t.opcode == kWriteStatusRegister) {
        // A low write-protect line locks the status register.
        if ((statusWriteEnabled_ || enabled) && lineHigh_) {
            status_ = static_cast<uint8_t>((status_ & ~kBlockProtect) | (t.data & kBlockProtect));
        }
        statusWriteEnabled_ = false;
        status_ &= static_cast<uint8_t>(~kWriteEnableLatch);
    } else if (t.opcode == kByteProgram && enabled) {
        if (!arrayProtected() && !dropPrograms_) ownSector(address)[address % kSectorSize] &= t.data;
        startOperation(programBusyReads_);
    } else if (t.opcode == kSectorErase && enabled) {
        if (!arrayProtected()) {
            std::fill_n(ownSector(address), kSectorSize, 0xFF);
        }
        startOperation(eraseBusyReads_);
    }
    if (t.read) t.data = result;
    if (logging_) log_.push({LogEntry::kTransfer, t, false});
    return result;
}

std::vector<std::string> SST25VFFlash::describe(const std::vector<LogEntry>& log, bool foldPolls) {
    std::vector<std::string> lines;
    char text[64];
    for (const LogEntry& entry : log) {
        const Transfer& t = entry.transfer;
        if (entry.kind == LogEntry::kWriteProtectLine) {
            lines.push_back(entry.lineHigh ? "WP high" : "WP low");
            continue;
        }
        if (foldPolls && t.opcode == kReadStatusRegister && t.read) {
            if (lines.empty() || lines.back() != "poll") lines.push_back("poll");
            continue;
        }
        int n = std::snprintf(text, sizeof text, "%02X", t.opcode);
        if (t.addressBits != 0) n += std::snprintf(text + n, sizeof text - n, " @%06X", t.address);
        if (t.dataBits != 0) n += std::snprintf(text + n, sizeof text - n, t.read ? " -> %02X" : " = %02X", t.data);
        lines.push_back(text);
    }
    return lines;
}

}  // namespace board
