// The credit gates of the eight DMA streams in the non-isolated FPGA: data moves on a stream only
// while its credits are enabled. Stream s belongs to channel s / 2; even streams measure (their
// gate is in the channel's measure unit), odd streams source (their gate is the channel's TX
// credit control, and stopping one may need the stream's path reset on the isolated side).
#pragma once

#include <cstdint>

#include "atut/poller.h"
#include "kdut/cleanupOperation.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneIsoChannelRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoFpgaRegMap.h"
#include "kzvorn_regMaps/TolvaneRegisterMap_TolvaneNisoMeasureUnitRegMap.h"

namespace kzvorn_driver {

constexpr bool isMeasureStream(unsigned stream) { return (stream & 1u) == 0; }

// Where stream s's stream-circuit register map lies in the bridge's register BAR.
constexpr uint64_t streamCircuitMapAddress(unsigned stream) { return (uint64_t{stream} + 18) << 13; }

class StreamCreditControllerInterface {
public:
    virtual ~StreamCreditControllerInterface() {}
    virtual void enable(nKZAPALS100::tStatus& status) = 0;
    virtual void disable(nKZAPALS100::tStatus& status) = 0;
    // Disables the credits again; the dispatcher adds it to a session after `enable`.
    virtual kdut::CleanupOperationInterface* getCleanupOperation() = 0;
    virtual void cleanup(nKZAPALS100::tStatus& status) = 0;
};

// Bits 6 (enable) and 7 (disable) of measure unit 0's configuration, both strobes.
class MeasureStreamCreditController final : public StreamCreditControllerInterface,
                                            public kdut::CleanupOperationInterface {
public:
    using tConfigRegister = kzvorn_regmaps::tTolvaneNisoMeasureUnitRegMap::tNisoMeasureUnitConfigRegType;

    explicit MeasureStreamCreditController(const tConfigRegister& config) : config_(config) {}

    void enable(nKZAPALS100::tStatus& status) override {
        if (status.isNotFatal()) config_.writeBit6(1, status);
    }
    void disable(nKZAPALS100::tStatus& status) override {
        if (status.isNotFatal()) config_.writeBit7(1, status);
    }
    kdut::CleanupOperationInterface* getCleanupOperation() override { return this; }
    void cleanup(nKZAPALS100::tStatus& status) override { disable(status); }

private:
    tConfigRegister config_;
};

class SourceStreamCreditController final : public StreamCreditControllerInterface,
                                           public kdut::CleanupOperationInterface {
public:
    using tTxControlRegister = kzvorn_regmaps::tTolvaneNisoFpgaRegMap::tNisoTxCreditControlRegType;
    using tTxStatusRegister = kzvorn_regmaps::tTolvaneNisoFpgaRegMap::tNisoTxCreditStatusRegType;
    using tChannelConfigRegister = kzvorn_regmaps::tTolvaneIsoChannelRegMap::tIsoChannelConfigReg;
    using tChannelStatusRegister = kzvorn_regmaps::tTolvaneIsoChannelRegMap::tIsoChannelStatusReg;

    // How long a stopped stream may take to report it.
    static constexpr auto kStoppedWait = atut::Wait<atut::tSpinPrecise>().pausesUs(1, 128).deadlineUs(100).timeoutStatus(
        nKZAPALS100::kStatusTimeout);

    SourceStreamCreditController(const tTxControlRegister& control, const tChannelConfigRegister& channelConfig,
                                 const tChannelStatusRegister& channelStatus, const tTxStatusRegister& txStatus)
        : control_(control), channelConfig_(channelConfig), channelStatus_(channelStatus), txStatus_(txStatus) {}

    void enable(nKZAPALS100::tStatus& status) override {
        if (status.isNotFatal()) control_.writeStreamStartStb(true, status);
    }
    // A stream that does not report stopped in time is no failure: its path is reset instead, and
    // only that sequence's errors reach the caller.
    void disable(nKZAPALS100::tStatus& status) override;
    kdut::CleanupOperationInterface* getCleanupOperation() override { return this; }
    void cleanup(nKZAPALS100::tStatus& status) override { disable(status); }

private:
    void resetStreamPath(nKZAPALS100::tStatus& status);

    tTxControlRegister control_;
    tChannelConfigRegister channelConfig_;
    tChannelStatusRegister channelStatus_;
    tTxStatusRegister txStatus_;
};

}  // namespace kzvorn_driver
