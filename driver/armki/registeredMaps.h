// The names a register-map set registers, as one table per set: each row names the registry, the
// name and the map, and states the version the name is registered with, which the registry reads
// from the map; the row checks at compile time that the map answers with that version.
#pragma once

#include <cstddef>

#include "armki/armDispatcher.h"
#include "kzhtl/utility.h"
#include "quolinTools/armgen/registerMap.h"

namespace armki {

template <class tSet>
struct RegisteredMap {
    ARMDispatcher& (*registry)(tSet& set);
    const char* name;
    arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus>* (*map)(tSet& set);  // null when not built
};

// Registers every row's map, in order, until a registration fails or a map was not built (its
// builder recorded why).
template <class tSet, size_t N>
void registerMaps(tSet& set, const RegisteredMap<tSet> (&rows)[N], nKZAPALS100::tStatus& status) {
    for (size_t i = 0; i < N && status.isNotFatal(); ++i) {
        arm::DynamicAccessInterfaceBase<nKZAPALS100::tStatus>* map = rows[i].map(set);
        if (map == nullptr) return;
        rows[i].registry(set).add(rows[i].name, *map, status);
    }
}

// Removes every row's name, the last registered first; a name never registered is no error.
template <class tSet, size_t N>
void unregisterMaps(tSet& set, const RegisteredMap<tSet> (&rows)[N]) {
    for (size_t i = N; i > 0; --i) {
        nKZAPALS100::tStatus dropped;
        rows[i - 1].registry(set).remove(rows[i - 1].name, dropped);
    }
}

}  // namespace armki

// One row, over the set `s`: ARMKI_REGISTERED_MAP(Set, s.registry_, "Quolin", &s.quolin, kVersion).
#define ARMKI_REGISTERED_MAP(tSet, registryOfS, name, mapOfS, mapVersion)                                          \
    ::armki::RegisteredMap<tSet>{                                                                               \
        [](tSet & s) -> ::armki::ARMDispatcher& { return registryOfS; }, name,                                  \
        [](tSet & s) -> ::arm::DynamicAccessInterfaceBase<::nKZAPALS100::tStatus>* {                            \
            static_assert(                                                                                      \
                ::arm::sameName(::kzhtl::RemoveCVRefT<decltype(*(mapOfS))>::kDescription.version, mapVersion),     \
                name " is registered with its map's version");                                                  \
            return mapOfS;                                                                                      \
        }},
