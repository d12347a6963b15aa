// Binds the occurrence objects to this product's isolated FPGA and channel register maps: the
// isolated board's and each channel's error controller, each channel's interrupt controller, and
// the measure-FIFO overflow controller.
#pragma once

#include <cstdint>

#include "kzvorn_driver_codegen/errorMaps.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "vantrel_shared/isoErrorControllers.h"

namespace kzvorn_driver {

class ErrorControllerFactory final : public vantrel_shared::ErrorControllerFactoryInterface {
public:
    static constexpr uint8_t kChannelCount = 4;

    // Everything is borrowed and must outlive the products; the channel maps are indexed by channel.
    ErrorControllerFactory(kzvorn_regmaps::tTolvaneNisoFpgaRegMap& nisoMap, kzvorn_regmaps::tTolvaneIsoFpgaRegMap& isoMap,
                           kzvorn_regmaps::tTolvaneIsoChannelRegMap* const* channelMaps,
                           IsoBoardErrorMuxInputMap* isoBoardInputs, IsoChannelErrorMuxInputMap* channelInputs,
                           IsoChannelInterruptMuxInputMap* interruptInputs, kzvorn_driver_codegen::ErrorMap* errorMap)
        : nisoMap_(nisoMap),
          isoMap_(isoMap),
          channelMaps_(channelMaps),
          isoBoardInputs_(isoBoardInputs),
          channelInputs_(channelInputs),
          interruptInputs_(interruptInputs),
          errorMap_(errorMap) {}
    ~ErrorControllerFactory() override {}

    // Each answers an empty pointer with the status's error: -52000 when an object or its shared
    // pointer cannot be allocated (nothing is leaked), 0xBFFA4303 for a channel above 3.
    kzhtl::SharedPtr<vantrel_shared::ErrorControllerInterface> createIsoBoardErrorController(
        nKZAPALS100::tStatus& status) override;
    kzhtl::SharedPtr<vantrel_shared::ErrorControllerInterface> createChannelErrorController(
        uint8_t channel, nKZAPALS100::tStatus& status) override;
    kzhtl::SharedPtr<vantrel_shared::ChannelInterruptControllerInterface> createChannelInterruptController(
        uint8_t channel, nKZAPALS100::tStatus& status) override;
    kzhtl::SharedPtr<vantrel_shared::MeasureFIFOOverflowStatusControllerInterface>
    createMeasureFIFOOverflowStatusController(nKZAPALS100::tStatus& status) override;

private:
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* channelMap(uint8_t channel, nKZAPALS100::tStatus& status);

    kzvorn_regmaps::tTolvaneNisoFpgaRegMap& nisoMap_;
    kzvorn_regmaps::tTolvaneIsoFpgaRegMap& isoMap_;
    kzvorn_regmaps::tTolvaneIsoChannelRegMap* const* channelMaps_;
    IsoBoardErrorMuxInputMap* isoBoardInputs_;
    IsoChannelErrorMuxInputMap* channelInputs_;
    IsoChannelInterruptMuxInputMap* interruptInputs_;
    kzvorn_driver_codegen::ErrorMap* errorMap_;
};

}  // namespace kzvorn_driver
