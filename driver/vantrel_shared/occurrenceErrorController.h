// The per-block face of the occurrence hardware: disable chosen error sources, start the error
// manager, turn a latched error into a status code, clear everything.
#pragma once

#include <cstdint>

#include "kzhtl/sharedPtr.h"
#include "kzhtl/vector.h"
#include "vantrel_shared/muxInputMap.h"
#include "vantrel_shared/occurrenceMux.h"

namespace vantrel_shared {

class ErrorControllerInterface {
public:
    virtual ~ErrorControllerInterface() {}
    // Only bits 0-15 of each entry are an id; ids the block does not know are skipped.
    virtual void disableErrors(const kzhtl::Vector<uint64_t>& entries, tStatus& status) = 0;
    virtual void enableErrorManager(tStatus& status) = 0;
    virtual void checkForErrors(tStatus& status) = 0;
    virtual uint16_t readErrorStatus(tStatus& status) = 0;
    virtual void getLatchedInputs(kzhtl::Vector<uint16_t>& ids, tStatus& status) = 0;
    virtual void clearErrors(tStatus& status) = 0;
};

class OccurrenceErrorController final : public ErrorControllerInterface {
public:
    // The maps are borrowed and must outlive the controller.
    OccurrenceErrorController(const kzhtl::SharedPtr<ErrorManagerInterface>& manager,
                              const kzhtl::SharedPtr<OccurrenceMuxInterface>& mux, MuxInputMapInterface* inputMap,
                              ErrorMap* errorMap)
        : manager_(manager), mux_(mux), inputMap_(inputMap), errorMap_(errorMap) {}
    ~OccurrenceErrorController() override {
        mux_.reset();
        manager_.reset();
    }

    void disableErrors(const kzhtl::Vector<uint64_t>& entries, tStatus& status) override;
    // Enables the manager even when it stayed latched past the deadline (then 0xBFFA4688).
    void enableErrorManager(tStatus& status) override;
    void checkForErrors(tStatus& status) override;
    uint16_t readErrorStatus(tStatus& status) override;
    void getLatchedInputs(kzhtl::Vector<uint16_t>& ids, tStatus& status) override;
    void clearErrors(tStatus& status) override;

private:
    kzhtl::SharedPtr<ErrorManagerInterface> manager_;
    kzhtl::SharedPtr<OccurrenceMuxInterface> mux_;
    MuxInputMapInterface* inputMap_;
    ErrorMap* errorMap_;
};

}  // namespace vantrel_shared
