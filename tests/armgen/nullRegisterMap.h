// A register map that does nothing: test maps override the operations they watch.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "quolinTools/armgen/dynamicAccessInterfaceBase.h"

namespace armtest {

struct NullRegisterMap : arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus> {
    using tStatus = nKZAPALS100::tStatus;
    void get(uint32_t, uint64_t&, tStatus&, uint32_t) override {}
    void set(uint32_t, uint64_t, tStatus&, uint32_t) override {}
    void read(uint32_t, uint64_t&, tStatus&, uint32_t) override {}
    void write(uint32_t, uint64_t, bool, tStatus&, uint32_t) override {}
    void flush(uint32_t, bool, tStatus&, uint32_t) override {}
    void refresh(uint32_t, tStatus&, uint32_t) override {}
    void getRegisterFormat(uint32_t, uint32_t&, arm::FieldType*, uint64_t*, tStatus&) const override {}
    void flushRegMap(bool, tStatus&) override {}
    void refreshRegMap(tStatus&) override {}
    void markDirtyRegMap() override {}
    const char* getVersion() const override { return "1.0.0d0"; }
    const char* getOldestCompatibleVersion() const override { return "1.0.0d0"; }
};

}  // namespace armtest
