// Configuration images and the downloaders that load them: an image is its target and its bytes,
// which the image object owns; the derived classes only name where the bytes came from.
#pragma once

#include <cstdint>

#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace kdut {

template <class tTarget>
class FirmwareInterface {
public:
    virtual ~FirmwareInterface() {}
    virtual const uint8_t* data() const = 0;
    virtual uint64_t size() const = 0;
    virtual tTarget getTarget() const = 0;
};

template <class tTarget>
class FirmwareBase : public FirmwareInterface<tTarget> {
public:
    explicit FirmwareBase(tTarget target) : target_(target) {}
    FirmwareBase(const FirmwareBase&) = delete;
    FirmwareBase& operator=(const FirmwareBase&) = delete;

    const uint8_t* data() const override { return bytes_.data(); }
    uint64_t size() const override { return bytes_.size(); }
    tTarget getTarget() const override { return target_; }

    // Where the maker puts the image.
    kzhtl::Vector<uint8_t>& bytes() { return bytes_; }

private:
    tTarget target_;
    kzhtl::Vector<uint8_t> bytes_;
};

// Copied from a caller's memory.
template <class tTarget>
class CustomFirmware : public FirmwareBase<tTarget> {
public:
    using FirmwareBase<tTarget>::FirmwareBase;
};

// Decompressed from an LZ4 block the system carries.
template <class tTarget>
class LZ4CompressedFirmware : public FirmwareBase<tTarget> {
public:
    using FirmwareBase<tTarget>::FirmwareBase;
};

// One embedded image: its target, its LZ4 block with the block's size, and the image's size.
template <class tTarget, tTarget kTarget, const unsigned char* kBlock, uint64_t kBlockSize, uint64_t kImageSize,
          class tBase = LZ4CompressedFirmware<tTarget>>
class StowlyFirmware : public tBase {
public:
    static constexpr tTarget kImageTarget = kTarget;
    static constexpr uint64_t kCompressedSize = kBlockSize;
    static constexpr uint64_t kOriginalSize = kImageSize;
    static const unsigned char* block() { return kBlock; }

    StowlyFirmware() : tBase(kTarget) {}
};

template <class tTarget>
class FirmwareDownloaderInterface {
public:
    virtual ~FirmwareDownloaderInterface() {}
    virtual void download(const FirmwareInterface<tTarget>& image, nKZAPALS100::tStatus& status) = 0;
};

}  // namespace kdut
