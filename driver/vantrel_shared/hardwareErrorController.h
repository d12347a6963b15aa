// The instrument-wide error control: the non-isolated board's, the isolated board's and the
// channels' error controllers and the channels' interrupt controllers behind one lock, the
// hardware-state check over them and the hardware-errors record.
//
// Lock order: registration lock, alarm or controller lock, this lock, access-port lock. An access
// port that meets a fault runs the device's hardware-state checkers while it holds its port lock,
// and a hardware-error checker among them comes here: the reverse order. On the thread the checker
// composite names its fault-path runner an operation therefore only tries this lock and, when
// another thread holds it, does nothing and leaves the status, so the port's own time-out reports
// a fault that persists. A kernel mutex cannot be tried, so the lock is recursive over a one-count
// semaphore.
#pragma once

#include <cstdint>

#include "kdut/hardwareStateChecker.h"
#include "kzapal/protons/synchronization.h"
#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"
#include "vantrel_shared/channelInterruptMuxController.h"
#include "vantrel_shared/hardwareErrors.h"
#include "vantrel_shared/occurrenceErrorController.h"
#include "vantrel_shared/statusCodes.h"

namespace vantrel_shared {

using ChannelErrorControllers = kzhtl::Vector<kzhtl::SharedPtr<ErrorControllerInterface>>;
using ChannelInterruptControllers = kzhtl::Vector<kzhtl::SharedPtr<ChannelInterruptControllerInterface>>;

template <class tRecord>
class HardwareErrorControllerInterface {
public:
    virtual ~HardwareErrorControllerInterface() {}
    // Entries: id in bits 0-15, channel mask in bits 16-63.
    virtual void disableIsoErrors(const kzhtl::Vector<uint64_t>& entries, tStatus& status) = 0;
    virtual void enableIsoErrorManagers(tStatus& status) = 0;
    virtual void checkErrorState(uint64_t channelMask, tStatus& status) = 0;
    virtual void clearChannelErrors(uint64_t channelMask, tStatus& status) = 0;
    // True when the incoming status holds an error.
    virtual bool hasErrorOccurred(uint64_t channelMask, tStatus& status) = 0;
    // All zero when the incoming status holds an error.
    virtual tRecord getErrors(tStatus& status) = 0;
};

// Recursive over a one-count semaphore, so that it can be tried.
class TryableRecursiveLock {
public:
    explicit TryableRecursiveLock(tStatus& status) : semaphore_(1, status) {}

    // Without wait the lock is only tried; false when another thread holds it.
    bool acquire(bool wait) {
        void* self = nKZKAL100_getThreadHandle();
        if (__atomic_load_n(&owner_, __ATOMIC_RELAXED) != self) {
            if (wait) {
                semaphore_.acquire();
            } else {
                tStatus tried;
                if (!semaphore_.acquire(0, false, tried)) return false;
            }
            __atomic_store_n(&owner_, self, __ATOMIC_RELAXED);
        }
        ++depth_;
        return true;
    }
    void release() {
        if (--depth_ != 0) return;
        __atomic_store_n(&owner_, static_cast<void*>(nullptr), __ATOMIC_RELAXED);
        semaphore_.release();
    }

private:
    kzvorn_driver::nKZAPAL000::tSemaphore semaphore_;
    // Written only by the owner; other threads only compare it with their own handle.
    void* owner_ = nullptr;
    uint32_t depth_ = 0;
};

template <class tRecord>
class HardwareErrorController final : public HardwareErrorControllerInterface<tRecord> {
public:
    // Everything is borrowed; the channel vectors are indexed by channel, and a channel bit at or
    // above their size addresses nothing. The checker composite tells which thread is its fault
    // path's runner.
    HardwareErrorController(ErrorControllerInterface* nisoBoard, ErrorControllerInterface* isoBoard,
                            const ChannelErrorControllers& channels, const ChannelInterruptControllers& interrupts,
                            kdut::HardwareStateCheckerComposite* checkers, tStatus& status)
        : nisoBoard_(nisoBoard),
          isoBoard_(isoBoard),
          channels_(channels),
          interrupts_(interrupts),
          checkers_(checkers),
          lock_(status) {
        rememberedIds_.resize(channels.size(), uint16_t(0), status);
    }
    ~HardwareErrorController() override {}

    void disableIsoErrors(const kzhtl::Vector<uint64_t>& entries, tStatus& status) override {
        Locked locked(*this, status);
        if (!locked) return;
        for (size_t i = 0; i < entries.size() && status.isNotFatal(); ++i) {
            kzhtl::Vector<uint64_t> one;
            one.push_back(entries[i], status);
            isoBoard_->disableErrors(one, status);
            forEachChannel(entries[i] >> 16, [&](size_t c) { channels_[c]->disableErrors(one, status); });
        }
    }

    void enableIsoErrorManagers(tStatus& status) override {
        Locked locked(*this, status);
        if (!locked) return;
        isoBoard_->enableErrorManager(status);
        for (size_t i = 0; i < channels_.size(); ++i) {
            tStatus enabled;
            channels_[i]->enableErrorManager(enabled);
            nKZAPALS100::merge(status, enabled);
            if (status.isNotFatal()) continue;
            tStatus read;
            rememberedIds_[i] = channels_[i]->readErrorStatus(read);
            nKZAPALS100::merge(status, read);
        }
    }

    void checkErrorState(uint64_t channelMask, tStatus& status) override {
        Locked locked(*this, status);
        if (!locked) return;
        // Only on the thread that runs a check already: a fault an access port met while the check
        // read a register ran the checkers, which came back here.
        if (nesting_ > 0) return void(KZ_SET_CODE(status, kStatusUnknownLatchedError));
        ++nesting_;
        nisoBoard_->checkForErrors(status);
        bool withoutCode = false;
        for (size_t c = 0; c < channels_.size() && status.isNotFatal(); ++c) {
            if ((channelMask >> c & 1) == 0) continue;
            tStatus checked;
            channels_[c]->checkForErrors(checked);
            if (checked.code == kStatusUnknownLatchedError)
                withoutCode = true;
            else
                nKZAPALS100::merge(status, checked);
        }
        if (withoutCode) KZ_SET_CODE(status, kStatusUnknownLatchedError);
        --nesting_;
    }

    void clearChannelErrors(uint64_t channelMask, tStatus& status) override {
        Locked locked(*this, status);
        if (!locked) return;
        forEachChannel(channelMask, [&](size_t c) {
            channels_[c]->clearErrors(status);
            if (c < interrupts_.size() && interrupts_[c].get() != nullptr) interrupts_[c]->enableInterrupts(status);
        });
    }

    bool hasErrorOccurred(uint64_t channelMask, tStatus& status) override {
        if (status.isFatal()) return true;
        Locked locked(*this, status);
        if (!locked) return false;
        if (nisoBoard_->readErrorStatus(status) != 0) return true;
        for (size_t c = 0; c < channels_.size() && status.isNotFatal(); ++c)
            if ((channelMask >> c & 1) != 0 && channels_[c]->readErrorStatus(status) != 0) return true;
        return false;
    }

    tRecord getErrors(tStatus& status) override {
        tRecord record;
        Locked locked(*this, status);
        if (!locked) return record;
        record.setBoardErrorId(nisoBoard_->readErrorStatus(status));
        {
            kzhtl::Vector<uint16_t> latched;
            nisoBoard_->getLatchedInputs(latched, status);
            for (size_t i = 0; i < latched.size(); ++i) record.setBoardInputLatched(latched[i]);
        }
        if (record.boardErrorId() != 0) {
            for (size_t c = 0; c < rememberedIds_.size(); ++c) record.setChannelErrorId(unsigned(c), rememberedIds_[c]);
            return record;
        }
        record.setChannelErrorsLive(true);
        for (size_t c = 0; c < channels_.size(); ++c) {
            record.setChannelErrorId(unsigned(c), channels_[c]->readErrorStatus(status));
            kzhtl::Vector<uint16_t> latched;
            channels_[c]->getLatchedInputs(latched, status);
            for (size_t i = 0; i < latched.size(); ++i) record.setChannelInputLatched(unsigned(c), latched[i]);
        }
        return record;
    }

    int32_t nesting() const { return nesting_; }

private:
    // Holds the lock for one operation; false when the status holds an error or when the fault
    // path's runner found the lock taken by another thread.
    class Locked {
    public:
        Locked(HardwareErrorController& owner, const tStatus& status) : owner_(owner) {
            held_ = status.isNotFatal() && owner_.lock_.acquire(!owner_.onFaultPath());
        }
        ~Locked() {
            if (held_) owner_.lock_.release();
        }
        explicit operator bool() const { return held_; }

    private:
        HardwareErrorController& owner_;
        bool held_;
    };

    bool onFaultPath() const { return checkers_ != nullptr && checkers_->isFaultPathRunner(); }

    template <class tAction>
    void forEachChannel(uint64_t channelMask, tAction action) {
        for (size_t c = 0; c < channels_.size(); ++c)
            if ((channelMask >> c & 1) != 0) action(c);
    }

    ErrorControllerInterface* nisoBoard_;
    ErrorControllerInterface* isoBoard_;
    const ChannelErrorControllers& channels_;
    const ChannelInterruptControllers& interrupts_;
    kdut::HardwareStateCheckerComposite* checkers_;
    TryableRecursiveLock lock_;
    kzhtl::Vector<uint16_t> rememberedIds_;
    int32_t nesting_ = 0;
};

// A hardware-state checker for a fixed channel mask.
template <class tRecord>
class HardwareErrorChecker final : public kdut::HardwareStateCheckerInterface {
public:
    HardwareErrorChecker(uint64_t channelMask, HardwareErrorControllerInterface<tRecord>* controller)
        : channelMask_(channelMask), controller_(controller) {}
    ~HardwareErrorChecker() override {}

    void checkHardwareState(tStatus& status) override { controller_->checkErrorState(channelMask_, status); }

private:
    uint64_t channelMask_;
    HardwareErrorControllerInterface<tRecord>* controller_;
};

}  // namespace vantrel_shared
