// Two-way tables between the occurrence ids that feed one kind of mux and the mux's positions, and
// between error occurrence ids and the status codes that report them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzhtl/map.h"

namespace vantrel_shared {

using tStatus = nKZAPALS100::tStatus;

class MuxInputMapInterface {
public:
    virtual ~MuxInputMapInterface() {}
    // False when the status already holds an error.
    virtual bool containsId(uint16_t id, tStatus& status) = 0;
    // An id or position the map does not hold: 0xBFFA4300 merged in, result 0.
    virtual uint8_t getInputForId(uint16_t id, tStatus& status) = 0;
    virtual uint16_t getIdForInput(uint8_t position, tStatus& status) = 0;
    virtual uint64_t getInputCount() = 0;
};

// A mux input map filled from its ids in position order (position = index). A node that cannot be
// allocated sets -52000 and stops the filling; the half-filled map can be destroyed.
class TableMuxInputMap : public MuxInputMapInterface {
public:
    TableMuxInputMap(const uint16_t* idsByPosition, size_t count, tStatus& status);

    bool containsId(uint16_t id, tStatus& status) override;
    uint8_t getInputForId(uint16_t id, tStatus& status) override;
    uint16_t getIdForInput(uint8_t position, tStatus& status) override;
    uint64_t getInputCount() override;

private:
    kzhtl::Map<uint16_t, uint8_t> idToPosition_;
    kzhtl::Map<uint8_t, uint16_t> positionToId_;
};

// Error occurrence ids and their status codes; the first id inserted for a code is the code's id.
class ErrorMap {
public:
    struct Entry {
        uint16_t id;
        int32_t code;
    };
    ErrorMap(const Entry* entries, size_t count, tStatus& status);
    virtual ~ErrorMap() {}

    virtual bool containsStatus(int32_t code);
    virtual bool containsId(uint16_t id);
    // Callers test first; an absent id answers 0xBFFA468B, an absent code 0.
    virtual int32_t getStatusForId(uint16_t id);
    virtual uint16_t getIdForStatus(int32_t code);

    size_t statusCount() const { return statusToId_.size(); }

private:
    kzhtl::Map<uint16_t, int32_t> idToStatus_;
    kzhtl::Map<int32_t, uint16_t> statusToId_;
};

}  // namespace vantrel_shared
