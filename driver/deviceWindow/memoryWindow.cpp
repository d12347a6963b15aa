#include "deviceWindow/memoryWindow.h"

#include "deviceWindow/statusCodes.h"

namespace devicewindow {

using kzvorn_driver::nKZAPAL000::tAutoLock;
using nKZAPALS100::tStatus;

// Opens on first use and closes only what it opened; the close runs with a fresh status merged into
// the caller's, so a failed access still closes the transaction.
class MemoryWindow::Transaction {
public:
    Transaction(MemoryAccessor& accessor, bool writing) : accessor_(accessor), writing_(writing) {}

    bool open(tStatus& status) {
        if (open_) return true;
        if (status.isFatal()) return false;
        if (writing_) {
            accessor_.beginWrite(status);
        } else {
            accessor_.beginRead(status);
        }
        open_ = status.isNotFatal();
        return open_;
    }

    void close(tStatus& status) {
        if (!open_) return;
        open_ = false;
        tStatus closing;
        if (writing_) {
            accessor_.endWrite(closing);
        } else {
            accessor_.endRead(closing);
        }
        nKZAPALS100::merge(status, closing);
    }

private:
    MemoryAccessor& accessor_;
    bool writing_;
    bool open_ = false;
};

MemoryWindow::MemoryWindow(MemoryAccessor& accessor, tStatus& status)
    : accessor_(&accessor), lock_(status) {
    softCopy_.resize(accessor.getSize(), status);
}

void MemoryWindow::copyOut(uint64_t offset, uint64_t size, char* destination) {
    for (uint64_t i = 0; i < size; ++i) destination[i] = static_cast<char>(softCopy_[offset + i].value);
}

void MemoryWindow::copyIn(const char* source, uint64_t offset, uint64_t size) {
    for (uint64_t i = 0; i < size; ++i) softCopy_[offset + i].setValue(static_cast<uint8_t>(source[i]));
}

void MemoryWindow::fetchRun(uint64_t offset, uint64_t size, tStatus& status) {
    kzhtl::Vector<char> buffer;
    if (!buffer.resize(size, status)) return;
    accessor_->read(offset, size, buffer.data(), status);
    if (status.isFatal()) return;
    for (uint64_t i = 0; i < size; ++i) {
        SoftCopyByte& byte = softCopy_[offset + i];
        byte.value = static_cast<uint8_t>(buffer[i]);
        byte.markClean();
    }
}

void MemoryWindow::writeRun(uint64_t offset, uint64_t size, tStatus& status) {
    kzhtl::Vector<char> buffer;
    if (!buffer.resize(size, status)) return;
    copyOut(offset, size, buffer.data());
    accessor_->write(buffer.data(), offset, size, status);
    for (uint64_t i = 0; i < size; ++i) {
        if (status.isFatal()) {
            softCopy_[offset + i].invalidate();
        } else {
            softCopy_[offset + i].markClean();
        }
    }
}

// Hands each maximal run of selected bytes to fetchRun or writeRun, inside one transaction opened at
// the first run; after a failure the remaining runs do nothing.
template <class tSelected>
void MemoryWindow::transferRuns(uint64_t offset, uint64_t size, bool writing, tSelected selected, tStatus& status) {
    Transaction transaction(*accessor_, writing);
    const uint64_t end = offset + size;
    for (uint64_t start = offset; start < end && status.isNotFatal(); ++start) {
        if (!selected(softCopy_[start])) continue;
        uint64_t stop = start + 1;
        while (stop < end && selected(softCopy_[stop])) ++stop;
        if (transaction.open(status)) {
            if (writing) {
                writeRun(start, stop - start, status);
            } else {
                fetchRun(start, stop - start, status);
            }
        }
        start = stop;
    }
    transaction.close(status);
}

void MemoryWindow::fetchInvalid(uint64_t offset, uint64_t size, tStatus& status) {
    transferRuns(offset, size, false, [](const SoftCopyByte& byte) { return !byte.isValid(); }, status);
}

void MemoryWindow::flushDirty(uint64_t offset, uint64_t size, tStatus& status) {
    transferRuns(offset, size, true, [](const SoftCopyByte& byte) { return byte.isChanged(); }, status);
}

void MemoryWindow::transferWhole(uint64_t offset, uint64_t size, bool writing, tStatus& status) {
    transferRuns(offset, size, writing, [](const SoftCopyByte&) { return true; }, status);
}

void MemoryWindow::flushValid(uint64_t offset, uint64_t size, bool force, tStatus& status) {
    if (force) {
        transferWhole(offset, size, true, status);
    } else {
        flushDirty(offset, size, status);
    }
}

void MemoryWindow::get(uint64_t offset, uint64_t size, char* destination, tStatus& status) {
    if (!checkPointerAndRange(destination, offset, size, status)) return;
    tAutoLock hold(lock_);
    fetchInvalid(offset, size, status);
    if (status.isNotFatal()) copyOut(offset, size, destination);
}

void MemoryWindow::set(const char* source, uint64_t offset, uint64_t size, tStatus& status) {
    if (!checkPointerAndRange(source, offset, size, status)) return;
    tAutoLock hold(lock_);
    copyIn(source, offset, size);
}

void MemoryWindow::flush(uint64_t offset, uint64_t size, bool force, tStatus& status) {
    if (!checkRange(offset, size, status)) return;
    tAutoLock hold(lock_);
    fetchInvalid(offset, size, status);
    if (status.isNotFatal()) flushValid(offset, size, force, status);
}

void MemoryWindow::refresh(uint64_t offset, uint64_t size, tStatus& status) {
    if (!checkRange(offset, size, status)) return;
    tAutoLock hold(lock_);
    transferWhole(offset, size, false, status);
}

void MemoryWindow::read(uint64_t offset, uint64_t size, char* destination, tStatus& status) {
    if (!checkPointerAndRange(destination, offset, size, status)) return;
    tAutoLock hold(lock_);
    refresh(offset, size, status);
    if (status.isNotFatal()) copyOut(offset, size, destination);
}

void MemoryWindow::write(const char* source, uint64_t offset, uint64_t size, bool force, tStatus& status) {
    if (!checkPointerAndRange(source, offset, size, status)) return;
    tAutoLock hold(lock_);
    copyIn(source, offset, size);
    flushValid(offset, size, force, status);
}

}  // namespace devicewindow
