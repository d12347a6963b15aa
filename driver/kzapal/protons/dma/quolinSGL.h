// Scatter-gather link lists: the chains of links in host memory that the bridge's DMA channels
// walk. A link is a 16-byte header {u32 used length of the next link, u32 flags, u64 bus address
// of the next link} followed by entries, little endian: transfer descriptors {u32 byte count,
// u32 0, u64 bus address} and self-configuration entries {u32 data, u32 0x80000000 | width code |
// bridge register offset}. Flag bit 31 ends the list at its link; bit 30 marks a two-link ring.
#pragma once

#include <cstdint>

#include "kzapal/protons/deviceCore.h"
#include "kzapal/protons/dma/dmaMap.h"
#include "kzapal/protons/dma/fences.h"
#include "kzapal/protons/status.h"
#include "kzkal/dma.h"
#include "kzkal/user.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

// What a channel is started with: the first link.
struct tLinkInformation {
    uint64_t busAddress;
    uint32_t usedLength;
};

class tQuolinSGL;

// The driver's record of one link; the link memory belongs to its block.
class tQuolinSGLChunkyLink {
public:
    static constexpr uint32_t kHeaderSize = 16;
    static constexpr uint32_t kDescriptorSize = 16;
    static constexpr uint32_t kSelfConfigSize = 8;
    static constexpr uint32_t kLastLinkFlag = 0x80000000;
    static constexpr uint32_t kRingPairFlag = 0x40000000;

    struct tPlacement {
        uint64_t busAddress;
        uint32_t capacity;
    };

    tQuolinSGLChunkyLink(tQuolinSGLChunkyLink* previous, tPlacement placement, uint8_t* kernelAddress,
                         nKZAPALS100::tStatus& status);
    ~tQuolinSGLChunkyLink() {}
    tQuolinSGLChunkyLink(const tQuolinSGLChunkyLink&) = delete;
    tQuolinSGLChunkyLink& operator=(const tQuolinSGLChunkyLink&) = delete;

    // -52000 when the entry does not fit.
    void addTransfer(uint64_t busAddress, uint32_t byteCount, nKZAPALS100::tStatus& status);
    void addSelfConfig(uint32_t registerOffset, uint32_t data, uint32_t width, nKZAPALS100::tStatus& status);
    // With a link, the list goes on there (the last-link flag is cleared); without, it ends here.
    void setNext(tQuolinSGLChunkyLink* next);
    // Next address and length from the next link; the flags stay.
    void writeHeader();
    void reset();
    void setRingPairFlag();
    bool hasRingPairFlag() const;

    // Entry offsets count from the end of the header.
    static uint32_t findEntryBoundary(const tQuolinSGLChunkyLink& link, uint32_t offset);
    static uint32_t copyEntries(const tQuolinSGLChunkyLink& source, uint32_t from, tQuolinSGLChunkyLink& destination,
                                uint32_t limit);
    static void pullFromFollowing(tQuolinSGLChunkyLink& link, uint32_t limit, const tQuolinSGLChunkyLink* stop);
    static void pullFromPrevious(tQuolinSGLChunkyLink& link, uint32_t target);

    uint32_t getUsedLength() const { return usedLength_; }
    uint32_t getPayloadLength() const { return usedLength_ - kHeaderSize; }
    uint32_t getFlags() const;
    tQuolinSGLChunkyLink* getPrevious() const { return previous_; }
    tQuolinSGLChunkyLink* getNext() const { return next_; }
    uint64_t getBusAddress() const { return busAddress_; }
    uint32_t getCapacity() const { return capacity_; }
    uint8_t* getKernelAddress() const { return kernelAddress_; }

private:
    friend class tQuolinSGL;
    uint32_t freeBytes() const { return usedLength_ < capacity_ ? capacity_ - usedLength_ : 0; }
    uint8_t* payload() const { return kernelAddress_ + kHeaderSize; }
    // The size of the entry that starts at a payload offset.
    uint32_t entrySizeAt(uint32_t offset) const;
    void removeFront(uint32_t count);

    uint32_t usedLength_ = 0;
    tQuolinSGLChunkyLink* previous_;
    tQuolinSGLChunkyLink* next_ = nullptr;
    uint64_t busAddress_;
    uint32_t capacity_;
    uint8_t* kernelAddress_;
};

class tQuolinSGL {
public:
    static constexpr uint32_t kLinkAlignment = 512;
    // Link memory flags: one bus-contiguous segment (1) of the kernel layer's DMA memory (4).
    static constexpr uint32_t kLinkMemoryFlags = 5;
    static constexpr uint32_t kMaxDescriptorBytes = 0xFFFFFFFF;

    // A block of link memory; links start at 512-byte boundaries inside it.
    class tLinkMemory {
    public:
        tLinkMemory() {}
        virtual ~tLinkMemory() {}
        tLinkMemory(const tLinkMemory&) = delete;
        tLinkMemory& operator=(const tLinkMemory&) = delete;

        virtual void consume(uint64_t size);
        virtual void commit() {}
        virtual void reset();

        uint64_t consumed = 0;
        uint64_t busAddress = 0;
        uint64_t usableLength = 0;
        uint8_t* kernelAddress = nullptr;
        tLinkMemory* next = nullptr;  // older block
    };

    template <class tMap>
    class tDMALinkMemory : public tLinkMemory {
    public:
        explicit tDMALinkMemory(tDMAConfiguration& configuration) : map(configuration) {}
        ~tDMALinkMemory() override;
        // Every store to the link memory is made visible before the device is handed the memory.
        void commit() override {
            dmaMemoryFence();
            map.prepareForDMA();
        }

        tPageList pageList;
        tMap map;
    };

    tQuolinSGL() {}
    virtual ~tQuolinSGL();
    tQuolinSGL(const tQuolinSGL&) = delete;
    tQuolinSGL& operator=(const tQuolinSGL&) = delete;

    virtual tLinkMemory* allocateLinkMemory(nKZAPALS100::tStatus& status);

    void initialize(tDMAConfiguration& configuration, uint32_t linkSize, nKZAPALS100::tStatus& status);
    void uninitialize();
    // Back to one empty first link in the oldest block, so that refilling allocates nothing.
    void clear();
    tQuolinSGLChunkyLink* newLink(nKZAPALS100::tStatus& status);
    void addTransfer(uint64_t busAddress, uint32_t byteCount, nKZAPALS100::tStatus& status, bool startNewLink);
    // One descriptor per remaining segment of the map; longer segments take several.
    void addTransfer(tDMAMapCore& map, nKZAPALS100::tStatus& status);
    void addSelfConfig(uint32_t registerOffset, uint32_t data, uint32_t width, nKZAPALS100::tStatus& status,
                       bool startNewLink);
    void commit();
    void makeFinite();
    void makeContinuous(bool ringPairMarking, nKZAPALS100::tStatus& status);
    void makeContinuous(nKZAPALS100::tStatus& status) { makeContinuous(true, status); }
    // Points the last link at the first without flags, and ends the list at its last link; neither
    // commits.
    void linkLastToFirst();
    void endAtLastLink();

    tLinkInformation getLinkInformation() const;
    uint64_t getFirstLinkBusAddress() const { return getLinkInformation().busAddress; }
    uint32_t getFirstLinkUsedLength() const { return getLinkInformation().usedLength; }

    uint32_t getLinkSize() const { return linkSize_; }
    tQuolinSGLChunkyLink* getFirstLink() const { return firstLink_; }
    tQuolinSGLChunkyLink* getLastLink() const { return lastLink_; }
    tLinkMemory* getNewestBlock() const { return blocks_; }

protected:
    // Hands every block to the device again.
    void commitBlocks();

private:
    bool hasFirstLink(nKZAPALS100::tStatus& status) const;
    template <class tAdd>
    void append(tAdd add, nKZAPALS100::tStatus& status, bool startNewLink);
    // Frees the links from `link` on, up to the last link.
    void freeLinksFrom(tQuolinSGLChunkyLink* link);
    void balance();
    uint32_t compact();
    void closeRingPair();
    // A one-link ring is closed over two links that repeat its entries; once entries follow the
    // repeats, a closing takes the repeats out again, so that every entry plays once per lap.
    void dropRingCopies();

    uint32_t linkSize_ = 0;
    tQuolinSGLChunkyLink* firstLink_ = nullptr;
    tQuolinSGLChunkyLink* lastLink_ = nullptr;
    tDMAConfiguration* configuration_ = nullptr;
    tLinkMemory* blocks_ = nullptr;  // newest first
    // The used lengths of the first and the second link right after a one-link ring was repeated
    // into them; 0 when it was not.
    uint32_t ringEntriesEnd_ = 0;
    uint32_t ringCopiesEnd_ = 0;
};

template <class tMap>
tQuolinSGL::tDMALinkMemory<tMap>::~tDMALinkMemory() {
    map.completeDMA(~uint64_t{0});
    map.unmap();
    if (kernelAddress != nullptr)
        nKZKAL220_tPageList_unmapFromKernel(pageList.handle,
                                            kernelAddress - pageList.offset % nKZKAL100_getPageSize());
    map.getConfiguration().freeDMABuffer(pageList);
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
