#include "kzapal/protons/dma/quolinSGL.h"

#include <new>

#include "kzapal/protons/memory.h"
#include "kzapal/protons/statusCodes.h"
#include "kzkal/memory.h"

namespace kzvorn_driver {
namespace nKZAPAL000 {

namespace {

using nKZAPALS100::tStatus;
using tLink = tQuolinSGLChunkyLink;

// Indexed by the access width in bytes.
constexpr uint32_t kWidthCodes[] = {0x18000000, 0x00000000, 0x08000000, 0x18000000, 0x10000000};
constexpr uint32_t kMaxSelfConfigWidth = 4;
constexpr uint32_t kSelfConfigMarker = 0x80000000;
// The register offset shares the control word with the width code from bit 27 up.
constexpr uint32_t kRegisterOffsetLimit = 0x08000000;
static_assert(sizeof(kWidthCodes) / sizeof(kWidthCodes[0]) == kMaxSelfConfigWidth + 1, "one code per width");

// Link memory is little endian, as is the processor.
void store32(uint8_t* at, uint32_t value) { __builtin_memcpy(at, &value, sizeof value); }
void store64(uint8_t* at, uint64_t value) { __builtin_memcpy(at, &value, sizeof value); }
uint32_t load32(const uint8_t* at) {
    uint32_t value;
    __builtin_memcpy(&value, at, sizeof value);
    return value;
}

constexpr uint32_t kNextLengthOffset = 0;
constexpr uint32_t kFlagsOffset = 4;
constexpr uint32_t kNextAddressOffset = 8;

bool selfConfigAllowed(uint32_t registerOffset, uint32_t width) {
    return width <= kMaxSelfConfigWidth && registerOffset < kRegisterOffsetLimit;
}

uint32_t replicate(uint32_t data, uint32_t width) {
    if (width == 1) return data | data << 8 | data << 16 | data << 24;
    if (width == 2) return data | data << 16;
    return data;
}

void freeLink(tLink* link) {
    link->~tLink();
    nKZKAL100_free(link);
}

}  // namespace

tLink::tQuolinSGLChunkyLink(tLink* previous, tPlacement placement, uint8_t* kernelAddress, tStatus& status)
    : previous_(previous), busAddress_(placement.busAddress), capacity_(placement.capacity),
      kernelAddress_(kernelAddress) {
    if (status.isFatal()) return;
    if (previous_ != nullptr) previous_->setNext(this);
    usedLength_ = kHeaderSize;
    // The whole header, so that an empty link never points at an earlier link's memory.
    nKZKAL240_memSet(kernelAddress_, 0, kHeaderSize);
}

void tLink::addTransfer(uint64_t busAddress, uint32_t byteCount, tStatus& status) {
    if (status.isFatal()) return;
    if (freeBytes() < kDescriptorSize) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    uint8_t* entry = kernelAddress_ + usedLength_;
    store32(entry, byteCount);
    store32(entry + 4, 0);
    store64(entry + 8, busAddress);
    usedLength_ += kDescriptorSize;
}

void tLink::addSelfConfig(uint32_t registerOffset, uint32_t data, uint32_t width, tStatus& status) {
    if (status.isFatal()) return;
    if (!selfConfigAllowed(registerOffset, width)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    if (freeBytes() < kSelfConfigSize) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return;
    }
    uint8_t* entry = kernelAddress_ + usedLength_;
    store32(entry, replicate(data, width));
    store32(entry + 4, kSelfConfigMarker | kWidthCodes[width] | registerOffset);
    usedLength_ += kSelfConfigSize;
}

// Linking on clears the last-link flag, so a list closed, extended and closed again runs to its new
// end, and a closed finite list chained into a ring enters it.
void tLink::setNext(tLink* next) {
    next_ = next;
    uint32_t flags = getFlags();
    if (next != nullptr) {
        next->previous_ = this;
        flags &= ~kLastLinkFlag;
    } else {
        flags |= kLastLinkFlag;
    }
    store32(kernelAddress_ + kFlagsOffset, flags);
}

void tLink::writeHeader() {
    store32(kernelAddress_ + kNextLengthOffset, next_ != nullptr ? next_->usedLength_ : 0);
    store64(kernelAddress_ + kNextAddressOffset, next_ != nullptr ? next_->busAddress_ : 0);
}

void tLink::reset() {
    nKZKAL240_memSet(kernelAddress_, 0, kHeaderSize);
    usedLength_ = kHeaderSize;
    previous_ = nullptr;
    next_ = nullptr;
}

void tLink::setRingPairFlag() { store32(kernelAddress_ + kFlagsOffset, getFlags() | kRingPairFlag); }
bool tLink::hasRingPairFlag() const { return (getFlags() & kRingPairFlag) != 0; }
uint32_t tLink::getFlags() const { return load32(kernelAddress_ + kFlagsOffset); }

uint32_t tLink::entrySizeAt(uint32_t offset) const {
    return load32(payload() + offset + 4) == 0 ? kDescriptorSize : kSelfConfigSize;
}

void tLink::removeFront(uint32_t count) {
    if (count == 0) return;
    nKZKAL180_memMove(payload(), payload() + count, getPayloadLength() - count);
    usedLength_ -= count;
}

// The 8 bytes before a cut are a whole self-configuration entry or the address half of a
// descriptor when their second word is not 0; otherwise (a descriptor's count half, or an address
// whose upper word is 0) only a walk from the start tells.
uint32_t tLink::findEntryBoundary(const tLink& link, uint32_t offset) {
    const uint32_t cut = offset & ~7u;
    if (cut == 0) return 0;
    if (load32(link.payload() + cut - 4) != 0) return cut;
    uint32_t position = 0;
    while (position < cut - 8) position += link.entrySizeAt(position);
    return position == cut - 8 ? cut - 8 : cut;
}

uint32_t tLink::copyEntries(const tLink& source, uint32_t from, tLink& destination, uint32_t limit) {
    const uint32_t available = source.getPayloadLength();
    if (from >= available) return 0;
    const uint32_t room = destination.freeBytes() < limit ? destination.freeBytes() : limit;
    const uint32_t rest = available - from;
    uint32_t count = rest <= room ? rest : 0;
    if (rest > room) {
        const uint32_t boundary = findEntryBoundary(source, from + room);
        count = boundary > from ? boundary - from : 0;
    }
    nKZKAL180_memMove(destination.kernelAddress_ + destination.usedLength_, source.payload() + from, count);
    destination.usedLength_ += count;
    return count;
}

void tLink::pullFromFollowing(tLink& link, uint32_t limit, const tLink* stop) {
    for (tLink* source = link.next_; link.usedLength_ < limit && source != stop && source != nullptr;
         source = source->next_) {
        source->removeFront(copyEntries(*source, 0, link, limit - link.usedLength_));
        if (source->getPayloadLength() != 0) return;
    }
}

void tLink::pullFromPrevious(tLink& link, uint32_t target) {
    if (link.usedLength_ >= target || link.previous_ == nullptr) return;
    const uint32_t need = target - link.usedLength_;
    tLink& previous = *link.previous_;
    const uint32_t available = previous.getPayloadLength();
    uint32_t cut = 0;
    if (need < available) {
        cut = findEntryBoundary(previous, available - need);
        if (cut < available - need) cut += previous.entrySizeAt(cut);
    }
    const uint32_t taken = available - cut;
    if (taken > link.freeBytes()) return;
    nKZKAL180_memMove(link.payload() + taken, link.payload(), link.getPayloadLength());
    nKZKAL180_memMove(link.payload(), previous.payload() + cut, taken);
    link.usedLength_ += taken;
    previous.usedLength_ -= taken;
}

void tQuolinSGL::tLinkMemory::consume(uint64_t size) {
    consumed = (consumed + size + kLinkAlignment - 1) / kLinkAlignment * kLinkAlignment;
}

void tQuolinSGL::tLinkMemory::reset() {
    consumed = 0;
    next = nullptr;
}

tQuolinSGL::~tQuolinSGL() { uninitialize(); }

tQuolinSGL::tLinkMemory* tQuolinSGL::allocateLinkMemory(tStatus& status) {
    if (status.isFatal()) return nullptr;
    auto* block = new (status) tDMALinkMemory<tStandardDMAMap>(*configuration_);
    if (block == nullptr) return nullptr;
    const uint64_t pageSize = nKZKAL100_getPageSize();
    const uint64_t size = (uint64_t{linkSize_} + pageSize - 1) / pageSize * pageSize;
    configuration_->allocateDMABuffer(block->pageList, size, kLinkMemoryFlags, status, kLinkAlignment);
    if (status.isNotFatal()) {
        const uint64_t inPage = block->pageList.offset % pageSize;
        void* kernel = nKZKAL220_tPageList_mapToKernel(block->pageList.handle, block->pageList.offset / pageSize,
                                                       (size + inPage + pageSize - 1) / pageSize);
        if (kernel == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        else block->kernelAddress = static_cast<uint8_t*>(kernel) + inPage;
    }
    block->map.map(block->pageList, 0, size, 0, status);
    if (status.isFatal()) return block;
    const tSGLSegment segment = block->map.nextSGLSegment();
    block->busAddress = segment.address;
    block->usableLength = segment.length;
    // Links are placed only inside the first segment, which must hold one at least.
    if (segment.length < linkSize_) KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
    return block;
}

void tQuolinSGL::initialize(tDMAConfiguration& configuration, uint32_t linkSize, tStatus& status) {
    if (status.isFatal()) return;
    uninitialize();
    configuration_ = &configuration;
    linkSize_ = linkSize;
    firstLink_ = newLink(status);
}

// The chain may go on beyond the last link (into a ring that a finite list leads into), so the
// walk ends at the list's own last link.
void tQuolinSGL::freeLinksFrom(tLink* link) {
    while (link != nullptr) {
        tLink* next = link->next_;
        const bool last = link == lastLink_;
        freeLink(link);
        if (last) break;
        link = next;
    }
}

void tQuolinSGL::clear() {
    tLinkMemory* oldest = blocks_;
    if (firstLink_ != nullptr) {
        if (lastLink_ != firstLink_) freeLinksFrom(firstLink_->next_);
        firstLink_->reset();
        lastLink_ = firstLink_;
        while (oldest != nullptr && oldest->next != nullptr) oldest = oldest->next;
    } else {
        oldest = nullptr;
    }
    while (blocks_ != oldest) {
        tLinkMemory* older = blocks_->next;
        delete blocks_;
        blocks_ = older;
    }
    if (oldest != nullptr) {
        oldest->reset();
        oldest->consume(linkSize_);
    }
    ringEntriesEnd_ = 0;
    ringCopiesEnd_ = 0;
}

void tQuolinSGL::uninitialize() {
    clear();
    if (firstLink_ != nullptr) freeLink(firstLink_);
    delete blocks_;
    firstLink_ = nullptr;
    lastLink_ = nullptr;
    blocks_ = nullptr;
}

tLink* tQuolinSGL::newLink(tStatus& status) {
    if (configuration_ == nullptr) KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
    if (status.isFatal()) return nullptr;
    tLinkMemory* block = blocks_;
    if (block == nullptr || block->consumed > block->usableLength || block->usableLength - block->consumed < linkSize_) {
        block = allocateLinkMemory(status);
        if (status.isFatal() || block == nullptr) {
            delete block;
            return nullptr;
        }
        block->next = blocks_;
        blocks_ = block;
    }
    void* memory = nKZKAL100_malloc(sizeof(tLink));
    if (memory == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusMemoryFull);
        return nullptr;
    }
    tLink* link = new (memory) tLink(lastLink_, {block->busAddress + block->consumed, linkSize_},
                                     block->kernelAddress + block->consumed, status);
    if (status.isFatal()) {
        freeLink(link);
        return nullptr;
    }
    block->consume(linkSize_);
    lastLink_ = link;
    return link;
}

// A list whose first link could not be made takes nothing.
bool tQuolinSGL::hasFirstLink(tStatus& status) const {
    if (firstLink_ != nullptr) return true;
    KZ_SET_CODE(status, nKZAPALS100::kStatusNoKernelMapping);
    return false;
}

template <class tAdd>
void tQuolinSGL::append(tAdd add, tStatus& status, bool startNewLink) {
    if (startNewLink && lastLink_->usedLength_ != tLink::kHeaderSize && newLink(status) == nullptr) return;
    tStatus fits;
    add(*lastLink_, fits);
    if (fits.isNotFatal() || newLink(status) == nullptr) return;
    add(*lastLink_, status);
}

void tQuolinSGL::addTransfer(uint64_t busAddress, uint32_t byteCount, tStatus& status, bool startNewLink) {
    if (status.isFatal() || !hasFirstLink(status)) return;
    if (byteCount == 0) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    append([&](tLink& link, tStatus& s) { link.addTransfer(busAddress, byteCount, s); }, status, startNewLink);
}

// A segment longer than a descriptor can count becomes several descriptors.
void tQuolinSGL::addTransfer(tDMAMapCore& map, tStatus& status) {
    if (status.isFatal() || !hasFirstLink(status)) return;
    while (status.isNotFatal() && map.moreSGLSegments()) {
        tSGLSegment segment = map.nextSGLSegment();
        do {
            const uint64_t count = segment.length < kMaxDescriptorBytes ? segment.length : kMaxDescriptorBytes;
            addTransfer(segment.address, static_cast<uint32_t>(count), status, false);
            segment.address += count;
            segment.length -= count;
        } while (segment.length != 0 && status.isNotFatal());
    }
}

void tQuolinSGL::addSelfConfig(uint32_t registerOffset, uint32_t data, uint32_t width, tStatus& status,
                               bool startNewLink) {
    if (status.isFatal() || !hasFirstLink(status)) return;
    // Checked before a link is opened for it, so a refused entry appends nothing.
    if (!selfConfigAllowed(registerOffset, width)) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    append([&](tLink& link, tStatus& s) { link.addSelfConfig(registerOffset, data, width, s); }, status,
           startNewLink);
}

void tQuolinSGL::commitBlocks() {
    for (tLinkMemory* block = blocks_; block != nullptr; block = block->next) block->commit();
}

void tQuolinSGL::commit() {
    if (firstLink_ == nullptr) return;
    for (tLink* link = firstLink_; link != nullptr; link = link->next_) {
        link->writeHeader();
        if (link == lastLink_) break;
    }
    commitBlocks();
}

void tQuolinSGL::makeFinite() {
    if (firstLink_ == nullptr) return;
    dropRingCopies();
    lastLink_->setNext(nullptr);
    commit();
}

void tQuolinSGL::linkLastToFirst() {
    if (firstLink_ == nullptr) return;
    dropRingCopies();
    lastLink_->setNext(firstLink_);
}

void tQuolinSGL::endAtLastLink() {
    if (firstLink_ == nullptr) return;
    dropRingCopies();
    lastLink_->setNext(nullptr);
}

// The repeats stay while nothing follows them, so closing an unchanged ring again changes nothing.
// Entries added later went behind them, into the second link and links after it; taking the
// repeats out leaves the entries in the order they were added, for the balance to pack.
void tQuolinSGL::dropRingCopies() {
    if (ringEntriesEnd_ == 0) return;
    tLink* second = firstLink_->next_;
    if (second == lastLink_ && second->usedLength_ == ringCopiesEnd_) return;
    firstLink_->usedLength_ = ringEntriesEnd_;
    second->removeFront(ringCopiesEnd_ - tLink::kHeaderSize);
    ringEntriesEnd_ = 0;
    ringCopiesEnd_ = 0;
}

uint32_t tQuolinSGL::compact() {
    const tLink* stop = lastLink_->next_;
    uint32_t nonEmpty = 0;
    for (tLink* link = firstLink_; link != nullptr && link != stop;) {
        tLink::pullFromFollowing(*link, linkSize_, stop);
        if (link->getPayloadLength() != 0) {
            ++nonEmpty;
            link = link->next_;
            continue;
        }
        tLink* end = link->previous_;
        tLink* next = lastLink_->next_;
        freeLinksFrom(link);
        lastLink_ = end;
        end->setNext(next);
        break;
    }
    return nonEmpty;
}

void tQuolinSGL::balance() {
    if (firstLink_ == lastLink_) return;
    if (firstLink_->next_ == lastLink_ && lastLink_->hasRingPairFlag()) return;
    const uint32_t nonEmpty = compact();
    const uint32_t used = lastLink_->usedLength_;
    if (nonEmpty == 0 || used > linkSize_ / 2) return;
    uint32_t share = tLink::kDescriptorSize * ((linkSize_ - used) / tLink::kDescriptorSize / nonEmpty);
    if (share == 0) share = tLink::kDescriptorSize;
    const uint32_t target = linkSize_ - share;
    if (used >= target || lastLink_ == firstLink_) return;
    tLink* link = lastLink_;
    do {
        tLink::pullFromPrevious(*link, target);
        link = link->previous_;
    } while (link->usedLength_ < target && link != firstLink_);
}

void tQuolinSGL::closeRingPair() {
    lastLink_->setNext(firstLink_);
    lastLink_->setRingPairFlag();
}

// A one-link list becomes two links that repeat its entries without a seam, so the ring never
// plays a partial copy.
void tQuolinSGL::makeContinuous(bool ringPairMarking, tStatus& status) {
    if (status.isFatal() || !hasFirstLink(status)) return;
    // An empty ring would spin the channel on headers.
    if (firstLink_->getPayloadLength() == 0) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    dropRingCopies();
    balance();
    if (firstLink_ == lastLink_) {
        // Counted once the balance has pulled every entry into the first link.
        const uint32_t entries = firstLink_->getPayloadLength();
        tLink* second = newLink(status);
        if (second == nullptr) return;
        uint32_t copied;
        while ((copied = tLink::copyEntries(*firstLink_, 0, *firstLink_, entries)) == entries) {
        }
        if (copied != 0) tLink::copyEntries(*firstLink_, copied, *second, entries - copied);
        while (second->freeBytes() >= entries) tLink::copyEntries(*firstLink_, 0, *second, entries);
        ringEntriesEnd_ = tLink::kHeaderSize + entries;
        ringCopiesEnd_ = second->usedLength_;
    }
    if (ringPairMarking && firstLink_->next_ == lastLink_ && firstLink_ != lastLink_) closeRingPair();
    else lastLink_->setNext(firstLink_);
    commit();
}

tLinkInformation tQuolinSGL::getLinkInformation() const {
    if (firstLink_ == nullptr) return {0, 0};
    return {firstLink_->busAddress_, firstLink_->usedLength_};
}

}  // namespace nKZAPAL000
}  // namespace kzvorn_driver
