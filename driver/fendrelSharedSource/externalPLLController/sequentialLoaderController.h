// Feeds a serial shift register one word at a time: before each word the status register's busy
// bits must read the idle value, and a word is written only then.
#pragma once

#include <cstddef>
#include <cstdint>

#include "atut/poller.h"
#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace fendrelsharedsource {

template <class tShiftReg, class tStatusReg, uint32_t kBusyMask, uint32_t kBusyValue, int32_t kTimeoutStatus>
class SequentialLoaderController {
public:
    SequentialLoaderController(const tShiftReg& shift, const tStatusReg& state) : shift_(shift), state_(state) {}
    virtual ~SequentialLoaderController() {}

    // In vector order; after a time-out or any other failure no further word is written.
    virtual void loadValues(const kzhtl::Vector<uint32_t>& words, nKZAPALS100::tStatus& status) {
        for (size_t i = 0; i < words.size() && status.isNotFatal(); ++i) {
            atut::waitUntil(kIdle, [&](nKZAPALS100::tStatus& s) { return state_.readRegister(s); },
                            atut::maskedEquals(kBusyMask, kBusyValue), status);
            shift_.writeRegister(words[i], status, true);
        }
    }

private:
    static constexpr auto kIdle =
        atut::Wait<atut::tSleepPrecise>().pausesUs(10, 100).deadlineUs(1000).timeoutStatus(kTimeoutStatus);

    tShiftReg shift_;
    tStatusReg state_;
};

// A loader with its words fixed at compile time.
template <class tShiftReg, class tStatusReg, uint32_t kBusyMask, uint32_t kBusyValue, int32_t kTimeoutStatus,
          uint32_t... kWords>
class SequentialLoaderControllerValuesTemplate {
public:
    SequentialLoaderControllerValuesTemplate(const tShiftReg& shift, const tStatusReg& state) : loader_(shift, state) {}

    // -52000 and nothing sent when the words cannot be put in a vector.
    virtual void loadValues(nKZAPALS100::tStatus& status) {
        static constexpr uint32_t kValues[] = {kWords...};
        kzhtl::Vector<uint32_t> words;
        if (!words.assign(kValues, sizeof...(kWords), status)) return;
        loader_.loadValues(words, status);
    }

private:
    SequentialLoaderController<tShiftReg, tStatusReg, kBusyMask, kBusyValue, kTimeoutStatus> loader_;
};

}  // namespace fendrelsharedsource
