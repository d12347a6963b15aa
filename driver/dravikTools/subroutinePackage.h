// A subroutine package: the instruction words that go into local RAM from address 0, and two
// parallel tables naming the subroutines in it (entry i of both describes subroutine i).
#pragma once

#include <cstdint>

#include "dravikTools/systemSubroutineIds.h"
#include "kzapal/protons/status.h"
#include "kzhtl/vector.h"

namespace draviktools {

class SubroutinePackageInterface {
public:
    virtual ~SubroutinePackageInterface() {}
    virtual const kzhtl::Vector<uint64_t>& getInstructions() const = 0;
    virtual const kzhtl::Vector<SubroutineId>& getSubroutineIds() const = 0;
    virtual const kzhtl::Vector<uint32_t>& getStartAddresses() const = 0;
};

class SubroutinePackage : public SubroutinePackageInterface {
public:
    // Copies words, then ids, then addresses; after a failure (-52000) the later vectors stay empty.
    SubroutinePackage(const uint64_t* words, uint64_t wordCount, const SubroutineId* ids,
                      const uint32_t* startAddresses, uint64_t count, nKZAPALS100::tStatus& status);
    ~SubroutinePackage() override {}
    SubroutinePackage(const SubroutinePackage&) = delete;
    SubroutinePackage& operator=(const SubroutinePackage&) = delete;

    const kzhtl::Vector<uint64_t>& getInstructions() const override { return words_; }
    const kzhtl::Vector<SubroutineId>& getSubroutineIds() const override { return ids_; }
    const kzhtl::Vector<uint32_t>& getStartAddresses() const override { return startAddresses_; }

private:
    kzhtl::Vector<uint64_t> words_;
    kzhtl::Vector<SubroutineId> ids_;
    kzhtl::Vector<uint32_t> startAddresses_;
};

class SubroutinePackageFactory {
public:
    virtual ~SubroutinePackageFactory() {}
    // Null when the object cannot be allocated; the caller owns the result, and deletes it when
    // the status holds an error.
    virtual SubroutinePackage* create(const uint64_t* words, uint64_t wordCount, const SubroutineId* ids,
                                      const uint32_t* startAddresses, uint64_t count, nKZAPALS100::tStatus& status);
};

// A package the system carries: one LZ4 block of little-endian words with its compressed and
// decompressed sizes, and the two tables stored as they are.
struct StoredSubroutinePackage {
    const unsigned char* block;
    uint64_t compressedSize;
    uint64_t originalSize;
    const SubroutineId* ids;
    const uint32_t* startAddresses;
    uint64_t count;
};

// The system's own package.
const StoredSubroutinePackage& builtInSubroutinePackage();

// The block must decompress to exactly its stated size, a whole number of words (-52005
// otherwise): a damaged block must not load zeros into local RAM under the package's ids.
SubroutinePackage* createStoredSubroutinePackage(const StoredSubroutinePackage& stored, SubroutinePackageFactory& factory,
                                                 nKZAPALS100::tStatus& status);

}  // namespace draviktools
