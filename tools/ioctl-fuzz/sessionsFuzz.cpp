// Drives the whole life of the product device from the input, on one thread: load, add device
// (the whole bring-up, as in the ioctl target), then a sequence of operations across up to four
// sessions (open, close, any request with fuzzed bytes, reset to a level, cleanup, the setup-level
// query), ending with removal, what the sessions still open then try, close, delete and unload.
// So the interleavings of sessions, resets and the invalidation they bring are fuzzed.
//
// Besides crashes (AddressSanitizer) and leaks (the stand-in holds after the unload what it held
// before the load, and no event of the life waits on the clock for the next input), the run checks what the sessions see: a session open since before the last
// reset is refused, every other one is served the level the device reached, the device counts the
// sessions open, and after removal no session is served and nothing opens.
#include <cstdint>

#include "fuzzing.h"
#include "kal/sim/clock.h"
#include "kal/sim/faults.h"
#include "kal/sim/publication.h"
#include "kzapalcodegen/ioctlRecords.h"

namespace {

constexpr uint32_t kGetSetupLevel = 0x00202B00;
constexpr uint32_t kReset = 0x00208600;
constexpr uint32_t kCleanup = 0x00208603;
constexpr int32_t kStoppedAtTarget = -52010;
constexpr int kSlots = 4;
constexpr int kOperationsBeforeRemoval = 64;
constexpr int kOperationsAfterRemoval = 16;

enum Operation : uint8_t { kOpen, kClose, kRequest, kFuzzedRequest, kResetTo, kCleanUp, kLevel, kRemove };

struct Slot {
    kal::sim::Session session;
    bool cooling = false;
    bool valid = false;  // opened after the last reset that ran
};

class Run {
public:
    explicit Run(fuzzing::Reader& in) : in_(in) {}

    void operator()() {
        const kal::sim::LiveObjects before = kal::sim::liveObjects();
        once();
        if (kal::sim::liveObjects() != before)
            fuzzing::fail(("left behind: " + kal::sim::describe(kal::sim::liveObjects()) +
                           "; before the load: " + kal::sim::describe(before))
                              .c_str());
    }

    void once() {
        if (kernel_.load() != 0) fuzzing::fail("the load fails");
        function_ = &kernel_.plug(product_.board);
        if (fuzzing::addAtHighestLevel(kernel_, *function_) != 0) fuzzing::fail("add device fails");
        generation_ = device().getResetGeneration();

        for (int i = 0; i < kOperationsBeforeRemoval && !in_.empty(); ++i) {
            const uint8_t op = in_.byte();
            if ((op & 7) == kRemove) break;
            operate(op);
            noteResets();
            checkOpenSessions();
        }
        kernel_.removeDevice(*function_);
        removed_ = true;
        for (int i = 0; i < kOperationsAfterRemoval && !in_.empty(); ++i) operate(in_.byte());
        for (Slot& slot : slots_) slot.session.close();
        kernel_.deleteDevice(*function_);
        kernel_.unload();
    }

private:
    kzvorn_driver::TolvaneDevice& device() { return fuzzing::deviceOf(kernel_, *function_); }

    void operate(uint8_t op) {
        Slot& slot = slots_[(op >> 3) % kSlots];
        switch (static_cast<Operation>(op & 7)) {
            case kOpen: {
                slot.session.close();
                slot.cooling = (op & 0x20) != 0;
                slot.session = kernel_.open(slot.cooling ? "nPXICOOLING_17_2_pxiCooling" : "smu_kzvorn");
                slot.valid = true;
                if (removed_ == static_cast<bool>(slot.session)) fuzzing::fail("open after removal differs", removed_);
                break;
            }
            case kClose: slot.session.close(); break;
            case kRequest:
            case kFuzzedRequest:
                if (slot.session) fuzzing::sendRequest(slot.session, in_);
                break;
            case kResetTo: {
                kzvorn_driver::tResetRecord input{};
                input.targetLevel = in_.byte() % (kzvorn_shared::SetupLevel::kHighest + 2);
                kzvorn_driver::tStatusRecord output{};
                if (!slot.session) break;
                const auto reply = slot.session.ioctl(kReset, &input, sizeof input, &output, sizeof output);
                const bool ran = reply.result == 0 && (output.status == 0 || output.status == kStoppedAtTarget);
                if (removed_ && ran) fuzzing::fail("a reset after removal ran", output.status);
                break;
            }
            case kCleanUp: {
                kzvorn_driver::tStatusRecord input{}, output{};
                if (slot.session) slot.session.ioctl(kCleanup, &input, sizeof input, &output, sizeof output);
                break;
            }
            case kLevel: checkLevel(slot); break;
            case kRemove: break;
        }
    }

    // A reset that ran invalidated every session open then, the one that asked for it included.
    void noteResets() {
        const uint32_t generation = device().getResetGeneration();
        if (generation == generation_) return;
        generation_ = generation;
        for (Slot& slot : slots_) slot.valid = false;
    }

    void checkOpenSessions() {
        uint32_t open = 0;
        for (const Slot& slot : slots_) open += static_cast<bool>(slot.session);
        if (device().getOpenSessionCount() != open) fuzzing::fail("open sessions counted", device().getOpenSessionCount());
    }

    void checkLevel(Slot& slot) {
        if (!slot.session || slot.cooling) return;
        kzvorn_driver::tStatusRecord input{};
        kzvorn_driver::tValue32Record output{0xFFFFFFFF, 1};
        const auto reply = slot.session.ioctl(kGetSetupLevel, &input, sizeof input, &output, sizeof output);
        const bool served = reply.result == 0 && output.status == 0;
        if (removed_) {
            if (served) fuzzing::fail("a session was served after removal");
        } else if (!slot.valid) {
            if (served) fuzzing::fail("an invalidated session was served");
        } else if (!served || output.value != static_cast<uint32_t>(device().getSetupTracker().reached)) {
            fuzzing::fail("the level query of a valid session", output.status);
        }
    }

    fuzzing::Reader& in_;
    fuzzing::ProductBoard product_;
    kal::sim::Kernel kernel_;
    kal::sim::PciFunction* function_ = nullptr;
    Slot slots_[kSlots];
    uint32_t generation_ = 0;
    bool removed_ = false;
};

}  // namespace

// The first life makes what lives as long as the process (the plan, the stand-in's records).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::Reader none(nullptr, 0);
    Run(none).once();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Reader in(data, size);
    fuzzing::resetCallerMemory();
    {
        Run run(in);
        run();
    }
    if (kal::sim::clock().pendingEvents() != 0)
        fuzzing::fail("the life left events scheduled on the clock", static_cast<long long>(kal::sim::clock().pendingEvents()));
    return 0;
}
