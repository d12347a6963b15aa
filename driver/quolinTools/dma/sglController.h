// A DMA stream's transfer lists: a finite list the channel runs once and a continuous list it
// runs as a ring, and the user buffers pinned and mapped into them.
#pragma once

#include <cstdint>

#include "kdut/cleanupOperation.h"
#include "kzapal/protons/dma/dmaMap.h"
#include "kzapal/protons/dma/quolinSGL.h"
#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzapal/protons/synchronization.h"
#include "kzapal/protons/userMemory.h"

namespace quolintools {

namespace detail {
// A list whose first link could not be made is not initialized: -52017.
template <class tList>
bool isInitialized(const tList& list, nKZAPALS100::tStatus& status) {
    if (list.getFirstLink() != nullptr) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
    return false;
}
}  // namespace detail

template <class tList, class tConfiguration, class tMapCore, class tLink>
class ContinuousSGL;

template <class tList, class tConfiguration, class tMapCore, class tLink>
class FiniteSGL : public tList {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tLinkInformation = kzvorn_driver::nKZAPAL000::tLinkInformation;
    using tContinuous = ContinuousSGL<tList, tConfiguration, tMapCore, tLink>;

    FiniteSGL() {}
    ~FiniteSGL() override {}

    virtual void initialize(tConfiguration& configuration, uint32_t linkSize, tStatus& status) {
        tList::initialize(configuration, linkSize, status);
    }
    virtual void uninitialize() {
        disconnect();
        tList::uninitialize();
    }
    virtual void addTransfer(tMapCore& map, tStatus& status) { tList::addTransfer(map, status); }
    virtual void addSelfConfig(uint32_t registerOffset, uint32_t data, uint32_t width, tStatus& status,
                               bool startNewLink) {
        tList::addSelfConfig(registerOffset, data, width, status, startNewLink);
    }
    virtual void commit(tStatus& status) {
        if (status.isFatal() || !detail::isInitialized(*this, status)) return;
        tList::commit();
    }
    virtual void makeFinite(tStatus& status) {
        if (status.isFatal() || !detail::isInitialized(*this, status)) return;
        tList::makeFinite();
    }
    // The last link leads into the ring. Its header changes after the list was committed, so the
    // list's memory is handed to the device again.
    virtual void connect(tContinuous& ring, tStatus& status) {
        if (status.isFatal() || !detail::isInitialized(*this, status) || !detail::isInitialized(ring, status)) return;
        tLink* last = this->getLastLink();
        last->setNext(ring.getHeadOfList());
        last->writeHeader();
        connected_ = true;
        this->commitBlocks();
    }
    virtual bool isEmpty() const {
        return this->getFirstLink() == nullptr || this->getFirstLink()->getUsedLength() == tLink::kHeaderSize;
    }
    virtual operator tLinkInformation() const { return this->getLinkInformation(); }
    virtual void disconnect() {
        tLink* last = this->getLastLink();
        if (last == nullptr) return;
        last->setNext(nullptr);
        last->writeHeader();
        connected_ = false;
        this->commitBlocks();
    }

    bool isConnected() const { return connected_; }

private:
    bool connected_ = false;
};

template <class tList, class tConfiguration, class tMapCore, class tLink>
class ContinuousSGL : public tList {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tLinkInformation = kzvorn_driver::nKZAPAL000::tLinkInformation;

    ContinuousSGL() {}
    ~ContinuousSGL() override {}

    virtual void initialize(tConfiguration& configuration, uint32_t linkSize, tStatus& status) {
        tList::initialize(configuration, linkSize, status);
    }
    virtual void uninitialize() { tList::uninitialize(); }
    virtual void addTransfer(tMapCore& map, tStatus& status) { tList::addTransfer(map, status); }
    virtual void addSelfConfig(uint32_t registerOffset, uint32_t data, uint32_t width, tStatus& status,
                               bool startNewLink) {
        tList::addSelfConfig(registerOffset, data, width, status, startNewLink);
    }
    virtual void makeContinuous(bool ringPairMarking, tStatus& status) {
        tList::makeContinuous(ringPairMarking, status);
    }
    virtual tLink* getHeadOfList() { return this->getFirstLink(); }
    virtual bool isEmpty() const {
        return this->getFirstLink() == nullptr || this->getFirstLink()->getUsedLength() == tLink::kHeaderSize;
    }
    virtual operator tLinkInformation() const { return this->getLinkInformation(); }
};

template <class tList, class tConfiguration, class tMapCore, class tLink>
class FiniteAndContinuousSGL {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tFinite = FiniteSGL<tList, tConfiguration, tMapCore, tLink>;
    using tContinuous = ContinuousSGL<tList, tConfiguration, tMapCore, tLink>;

    FiniteAndContinuousSGL(tFinite* finite, tContinuous* continuous, bool commitOnly)
        : finite_(finite), continuous_(continuous), commitOnly_(commitOnly) {}
    virtual ~FiniteAndContinuousSGL() {}
    FiniteAndContinuousSGL(const FiniteAndContinuousSGL&) = delete;
    FiniteAndContinuousSGL& operator=(const FiniteAndContinuousSGL&) = delete;

    // Closes the lists for a start: the finite list ends, the continuous list is a ring, or the
    // finite list runs once and then enters the ring.
    void commit(tStatus& status) {
        if (status.isFatal()) return;
        const bool finiteEmpty = finite_->isEmpty();
        const bool continuousEmpty = continuous_->isEmpty();
        if (!finiteEmpty && continuousEmpty) {
            if (commitOnly_) finite_->commit(status);
            else finite_->makeFinite(status);
        } else if (finiteEmpty && !continuousEmpty) {
            continuous_->makeContinuous(true, status);
        } else if (!finiteEmpty && !continuousEmpty) {
            finite_->commit(status);
            continuous_->makeContinuous(false, status);
            finite_->connect(*continuous_, status);
        }
    }

    tFinite& getFinite() const { return *finite_; }
    tContinuous& getContinuous() const { return *continuous_; }
    bool isCommitOnly() const { return commitOnly_; }

private:
    tFinite* finite_;
    tContinuous* continuous_;
    bool commitOnly_;
};

using tFiniteSGL = FiniteSGL<kzvorn_driver::nKZAPAL000::tQuolinSGL, kzvorn_driver::nKZAPAL000::tDMAConfiguration,
                             kzvorn_driver::nKZAPAL000::tDMAMapCore, kzvorn_driver::nKZAPAL000::tQuolinSGLChunkyLink>;
using tContinuousSGL =
    ContinuousSGL<kzvorn_driver::nKZAPAL000::tQuolinSGL, kzvorn_driver::nKZAPAL000::tDMAConfiguration,
                  kzvorn_driver::nKZAPAL000::tDMAMapCore, kzvorn_driver::nKZAPAL000::tQuolinSGLChunkyLink>;
using tFiniteAndContinuousSGL =
    FiniteAndContinuousSGL<kzvorn_driver::nKZAPAL000::tQuolinSGL, kzvorn_driver::nKZAPAL000::tDMAConfiguration,
                           kzvorn_driver::nKZAPAL000::tDMAMapCore, kzvorn_driver::nKZAPAL000::tQuolinSGLChunkyLink>;

class SGLController;

// What keeps a stream's lists from being emptied while its channel may still read them.
class TransferListGuardInterface {
public:
    virtual ~TransferListGuardInterface() {}
    // Stops the stream, then empties the lists; a stream that does not stop keeps them.
    virtual void stopAndReset(SGLController& lists, nKZAPALS100::tStatus& status) = 0;
};

class SGLController : public kdut::CleanupOperationInterface {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tDMAConfiguration = kzvorn_driver::nKZAPAL000::tDMAConfiguration;

    static constexpr uint32_t kToDevice = 0;
    static constexpr uint32_t kFromDevice = 1;
    static constexpr uint32_t kEitherDirection = 2;
    static constexpr uint32_t kFiniteList = 0;
    static constexpr uint32_t kContinuousList = 1;
    static constexpr uint32_t kCountZero = 0xBFFA806C;
    static constexpr uint32_t kDirectionNotAllowed = 0xBFFA806F;
    // Per list; a larger request is refused before anything is appended.
    static constexpr uint64_t kMaxDescriptors = 1048576;

    SGLController(tDMAConfiguration& configuration, uint32_t linkSize, uint32_t allowedDirection, tStatus& status)
        : SGLController(configuration, linkSize, allowedDirection, false, status) {}
    SGLController(tDMAConfiguration& configuration, uint32_t linkSize, uint32_t allowedDirection, bool commitOnly,
                  tStatus& status);
    ~SGLController() override;
    SGLController(const SGLController&) = delete;
    SGLController& operator=(const SGLController&) = delete;

    // The owning session's cleanup: through the guard, when there is one.
    void cleanup(tStatus& status) override {
        if (guard_ != nullptr)
            guard_->stopAndReset(*this, status);
        else
            reset(status);
    }
    void setGuard(TransferListGuardInterface* guard) { guard_ = guard; }
    // Pins the buffer, maps it for the device and appends it `count` times to the list of that kind.
    virtual void addBuffer(uint32_t listKind, kzvorn_driver::nKZAPAL000::tUserBuffer& buffer, uint32_t direction,
                           uint32_t count, tStatus& status);
    virtual void releaseBuffers();

    // Empties both lists and releases every buffer (also with an error in the status), then
    // initializes the lists again when the status is good.
    void reset(tStatus& status);
    void commit(tStatus& status);
    tFiniteAndContinuousSGL& getLists() { return lists_; }
    bool isBufferListEmpty() const { return buffers_ == nullptr; }
    kdut::CleanupOperationInterface& getCleanupOperation() { return *this; }

private:
    // A buffer's mapping carries its pinned pages.
    struct tBufferMap : kzvorn_driver::nKZAPAL000::tStandardDMAMap {
        explicit tBufferMap(tDMAConfiguration& configuration) : tStandardDMAMap(configuration) {}
        kzvorn_driver::nKZAPAL000::tPageList pageList;
    };
    struct tBufferRecord {
        tBufferMap* map;
        tBufferRecord* next;
        tBufferRecord* previous;
    };

    bool checkBuffer(uint32_t listKind, const kzvorn_driver::nKZAPAL000::tUserBuffer& buffer, uint32_t direction,
                     uint32_t count, tStatus& status) const;
    void pinAndMap(tBufferMap& map, const kzvorn_driver::nKZAPAL000::tUserBuffer& buffer, uint32_t direction,
                   tStatus& status);
    void append(uint32_t listKind, tBufferMap& map, uint32_t count, tStatus& status);
    void initializeLists(tStatus& status);
    void appendRecord(tBufferRecord* record);

    kzvorn_driver::nKZAPAL000::tMutex mutex_;
    // False when the mutex could not be made: such a controller refuses every request.
    bool usable_;
    tDMAConfiguration* configuration_;
    uint32_t linkSize_;
    tBufferRecord* buffers_ = nullptr;  // head; its previous is the tail
    tFiniteSGL finite_;
    tContinuousSGL continuous_;
    tFiniteAndContinuousSGL lists_;
    uint32_t allowedDirection_;
    uint64_t descriptors_[2] = {0, 0};
    TransferListGuardInterface* guard_ = nullptr;
};

}  // namespace quolintools
