// Where each subroutine of the loaded package starts in local RAM. Built once from the package at
// the level that loads it and read-only afterwards, so any thread may ask it at any time.
#pragma once

#include <cstdint>

#include "dravikTools/subroutinePackage.h"
#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace draviktools {

class SubroutineRegistrarInterface {
public:
    virtual ~SubroutineRegistrarInterface() {}
    // Replaces the content of both vectors with copies of the tables.
    virtual void getSubroutines(kzhtl::Vector<SubroutineId>& ids, kzhtl::Vector<uint32_t>& startAddresses,
                                nKZAPALS100::tStatus& status) const = 0;
    virtual uint32_t getNumSubroutines(nKZAPALS100::tStatus& status) const = 0;
    // The first entry with the id wins; an id not held gives the not-found status and 0.
    virtual uint32_t getStartAddress(SubroutineId id, nKZAPALS100::tStatus& status) const = 0;
};

class SubroutineRegistrar : public SubroutineRegistrarInterface {
public:
    SubroutineRegistrar(const SubroutinePackageInterface& package, int32_t notFoundStatus,
                        nKZAPALS100::tStatus& status);
    ~SubroutineRegistrar() override {}
    SubroutineRegistrar(const SubroutineRegistrar&) = delete;
    SubroutineRegistrar& operator=(const SubroutineRegistrar&) = delete;

    void getSubroutines(kzhtl::Vector<SubroutineId>& ids, kzhtl::Vector<uint32_t>& startAddresses,
                        nKZAPALS100::tStatus& status) const override;
    uint32_t getNumSubroutines(nKZAPALS100::tStatus& status) const override;
    uint32_t getStartAddress(SubroutineId id, nKZAPALS100::tStatus& status) const override;

private:
    int32_t notFoundStatus_;
    kzhtl::Vector<SubroutineId> ids_;
    kzhtl::Vector<uint32_t> startAddresses_;
};

class SubroutineRegistrarFactory {
public:
    virtual ~SubroutineRegistrarFactory() {}
    // Null when the object cannot be allocated; the caller deletes a registrar it got back while
    // the status holds an error.
    SubroutineRegistrar* create(const SubroutinePackageInterface& package, int32_t notFoundStatus,
                                nKZAPALS100::tStatus& status);
};

}  // namespace draviktools
