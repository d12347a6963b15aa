// Setup level 10: the subroutine package (the built-in one, or the reset's replacement) written
// into the sequencers' local RAM from address 0, the registrar made from it, and the end word at
// the last address. The package itself lives only while the level runs.
#pragma once

#include <cstdint>

#include "dravikTools/localRAMController.h"
#include "dravikTools/sequencerInstruction.h"
#include "dravikTools/statusCodes.h"
#include "dravikTools/subroutinePackage.h"
#include "dravikTools/subroutineRegistrar.h"
#include "kzapal/protons/deviceCore.h"
#include "kzhtl/sharedPtr.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"

namespace kzvorn_driver {

// The five package fields of the custom reset parameters: all zero for the built-in package,
// all given for a replacement in the resetting caller's memory.
struct SubroutinePackageFields {
    uint64_t words;
    uint32_t wordCount;
    uint64_t ids;
    uint64_t startAddresses;
    uint32_t count;
};

// The package the fields select. A replacement is checked before anything is allocated or copied
// (counts up to the local RAM's size, else -52005) and its start addresses after the copy (each
// inside local RAM, else -52005); part of the fields given: 0xBFFA432A. Null on failure.
draviktools::SubroutinePackage* createLevelPackage(const nKZAPAL000::tEventDescriptor* request,
                                                   const SubroutinePackageFields& fields,
                                                   const draviktools::StoredSubroutinePackage& builtIn,
                                                   nKZAPALS100::tStatus& status);

template <class tIsoFpgaRegMap>
class LocalRAMConfigureOver {
public:
    static constexpr uint16_t kEndWordAddress = 0xFFFF;

    LocalRAMConfigureOver(const nKZAPAL000::tEventDescriptor* request, const SubroutinePackageFields& fields,
                          tIsoFpgaRegMap& map, nKZAPALS100::tStatus& status,
                          const draviktools::StoredSubroutinePackage& builtIn =
                              draviktools::builtInSubroutinePackage())
        : controller_(map, status), loader_(controller_, 0) {
        if (status.isFatal()) return;
        draviktools::SubroutinePackage* made = createLevelPackage(request, fields, builtIn, status);
        // Deletes the package on an error, and at the end of the level.
        const kzhtl::SharedPtr<draviktools::SubroutinePackageInterface> package(made, status);
        if (status.isFatal()) return;
        loadSubroutinePackage(*package, status);
        writeEndWord(status);
    }
    virtual ~LocalRAMConfigureOver() {}
    LocalRAMConfigureOver(const LocalRAMConfigureOver&) = delete;
    LocalRAMConfigureOver& operator=(const LocalRAMConfigureOver&) = delete;

    // Empty until a package was written.
    const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface>& getRegistrar() const { return registrar_; }
    draviktools::LocalRAMControllerInterface& getController() { return controller_; }

    void loadSubroutinePackage(const draviktools::SubroutinePackageInterface& package, nKZAPALS100::tStatus& status) {
        loader_.load(package, status);
        if (status.isFatal()) return;
        draviktools::SubroutineRegistrarFactory factory;
        const kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface> registrar(
            factory.create(package, static_cast<int32_t>(draviktools::kStatusSubroutineNotFound), status), status);
        if (status.isNotFatal()) registrar_ = registrar;
    }

    void writeEndWord(nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return;
        kzhtl::Vector<uint64_t> end;
        if (end.resize(1, draviktools::kLocalRamEndWord, status)) controller_.write(end, kEndWordAddress, status);
    }

private:
    kzhtl::SharedPtr<draviktools::SubroutineRegistrarInterface> registrar_;
    draviktools::LocalRAMController<tIsoFpgaRegMap> controller_;
    draviktools::SubroutinePackageLoader loader_;
};

using LocalRAMConfigure = LocalRAMConfigureOver<kzvorn_regmaps::tTolvaneIsoFpgaRegMap>;

}  // namespace kzvorn_driver
