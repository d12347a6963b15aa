// Registries by name: the register maps, storage maps and device windows that user mode reaches
// by name, with "_Ver" and a version for versioned objects ("Triggers_Ver200a13081315").
//
// The entry array has no lock: names are added and removed only by the bring-up and its teardown,
// while no request is served; requests only look up and list. Each registration's own recursive
// lock guards the registered object, never the registry. A registry never deletes the objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include "kzhtl/utility.h"

#include "kzRegiTools/statusCodes.h"
#include "kzRegiTools/version.h"
#include "kzapal/protons/memory.h"
#include "kzapal/protons/synchronization.h"
#include "kzapal/protons/userMemory.h"
#include "kzhtl/string.h"
#include "kzhtl/vector.h"

namespace kzregitools {

using kzvorn_driver::nKZAPAL000::tMutex;

// Bytes per name in getRegistrationNames; longer names are cut without a terminator.
constexpr size_t kRegistrationNameSlotSize = 64;
// A name that user mode sends is refused beyond this length before anything is allocated; every
// registered name with its version is far shorter.
constexpr uint64_t kMaxCallerNameLength = 4096;

// Whether registrations of T carry the object's version texts (getVersion and
// getOldestCompatibleVersion). Device windows are registered without a version: their registry
// specialises this to false.
template <class T>
inline constexpr bool kRegistersVersioned = true;

// Splits "name_Verversion" at the first "_Ver": the length of the registered name, and the text
// after "_Ver" with its length (null and 0 without it).
size_t splitVersionedName(const char* text, const char*& versionText, size_t& versionLength);

// Whether the first length letters of a and b agree.
bool sameLetters(const char* a, const char* b, size_t length);
// The last eight of the first length letters (fewer when the text is shorter) in one word.
inline uint64_t lastLetters(const char* text, size_t length) {
    uint64_t letters = 0;
    if (length >= sizeof letters) {
        __builtin_memcpy(&letters, text + length - sizeof letters, sizeof letters);
    } else {
        for (size_t i = 0; i < length; ++i) letters = letters << 8 | static_cast<unsigned char>(text[i]);
    }
    return letters;
}

class Registration {
public:
    using tStatus = nKZAPALS100::tStatus;

    // Parses both texts (an empty or null version text makes the object unversioned), then
    // creates the lock; failures are left in status.
    Registration(const char* versionText, const char* oldestCompatibleVersionText, tStatus& status);
    virtual ~Registration() = default;
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    virtual bool getSupportsVersioning() const { return supportsVersioning; }
    virtual Version getVersion() const { return version; }
    virtual Version getOldestCompatibleVersion() const { return oldestCompatibleVersion; }
    // Whether the object may be handed out for the requested version (zero: none requested).
    virtual void checkVersion(Version requested, tStatus& status) const;

    // Whether the length letters of text are the version text this object was registered with,
    // which therefore names exactly `version`: a request that names it needs no parse.
    bool hasVersionText(const char* text, size_t length) const {
        return length == versionTextLength_ && sameLetters(text, versionText_, length);
    }

    bool supportsVersioning;
    Version version;
    Version oldestCompatibleVersion;
    tMutex lock;

private:
    char versionText_[Version::kTextSize] = {};
    size_t versionTextLength_ = Version::kTextSize;  // none kept
};

template <class T>
class RegistrationWrapper final : public Registration {
public:
    RegistrationWrapper(T& registered, const char* versionText, const char* oldestCompatibleVersionText,
                        tStatus& status)
        : Registration(versionText, oldestCompatibleVersionText, status), object(&registered) {}

    T* object;  // not owned
};

// The ordered list of names. Names may repeat; lookup and removal take the first match.
template <class W>
class DispatcherBase {
public:
    using tStatus = nKZAPALS100::tStatus;

    DispatcherBase() = default;
    virtual ~DispatcherBase() = default;
    DispatcherBase(const DispatcherBase&) = delete;
    DispatcherBase& operator=(const DispatcherBase&) = delete;

    virtual void add(const char* name, W& wrapper, tStatus& status) {
        if (status.isFatal()) return;
        if (name == nullptr) {
            KZ_SET_CODE(status, kStatusNullPointer);
            return;
        }
        Entry entry;
        entry.wrapper = &wrapper;
        if (!entry.name.assign(name, status)) return;
        entry.lastLetters = lastLetters(entry.name.c_str(), entry.name.size());
        const size_t slot = slotOf(entry.lastLetters, entry.name.size());
        if (!entries_.push_back(kzhtl::move(entry), status)) return;
        // The new entry is the last: it takes its slot only if no earlier entry holds it.
        if (firstAtSlot_[slot] == 0 && entries_.size() < kUnindexed) firstAtSlot_[slot] = uint16_t(entries_.size());
    }

    // Unlinks the first entry with that name and hands its wrapper to the caller.
    virtual W* remove(const char* name, tStatus& status) {
        if (status.isFatal()) return nullptr;
        if (name == nullptr) {
            KZ_SET_CODE(status, kStatusNullPointer);
            return nullptr;
        }
        W* wrapper = unlink(name);
        if (wrapper == nullptr) KZ_SET_CODE(status, kStatusNameNotFound);
        return wrapper;
    }

    virtual W* remove(const char* name) { return unlink(name); }

    // On success (a warning included) hands out the wrapper and, when lock is not null, its lock.
    virtual void getRegistration(const char* name, W*& wrapper, tStatus& status, tMutex** lock) {
        lookUp(name, wrapper, status, lock);
    }

    virtual uint64_t getNumberOfRegistrations() const { return entries_.size(); }

    // Fills a 64-byte slot per name, in adding order; the caller provides 64 bytes per name.
    virtual void getRegistrationNames(char* buffer, tStatus& status) const {
        if (status.isFatal()) return;
        if (buffer == nullptr) {
            KZ_SET_CODE(status, kStatusNullPointer);
            return;
        }
        for (const Entry& entry : entries_) {
            const size_t length = entry.name.size();
            const size_t copied = length < kRegistrationNameSlotSize ? length : kRegistrationNameSlotSize;
            for (size_t i = 0; i < copied; ++i) buffer[i] = entry.name[i];
            if (copied < kRegistrationNameSlotSize) buffer[copied] = '\0';
            buffer += kRegistrationNameSlotSize;
        }
    }

    // Bytes of getRegistrationList's text with its terminator.
    virtual uint64_t getSizeOfRegistrationList() const {
        uint64_t size = 1;
        bool listStarted = false;
        for (const Entry& entry : entries_) {
            if (listStarted) ++size;
            size += entry.name.size();
            listStarted = listStarted || !entry.name.empty();
        }
        return size;
    }

    // The names separated by tabs; a tab only after text, so an empty name adds no separator
    // while the list is still empty.
    virtual void getRegistrationList(kzhtl::String& out, tStatus& status) const {
        if (status.isFatal()) return;
        out.clear();
        for (const Entry& entry : entries_) {
            if (!out.empty() && !out.push_back('\t', status)) return;
            if (!out.append(entry.name, status)) return;
        }
    }

protected:
    struct Entry {
        kzhtl::String name;
        W* wrapper = nullptr;
        uint64_t lastLetters = 0;  // of the name, to pass over most names with one comparison
    };

    static constexpr size_t kNotFound = static_cast<size_t>(-1);

    // getRegistration's work, inlined into the registries' own getRegistration: every request
    // that names an object comes this way.
    [[gnu::always_inline]] inline void lookUp(const char* name, W*& wrapper, tStatus& status, tMutex** lock) {
        if (status.isFatal()) return;
        if (name == nullptr) {
            KZ_SET_CODE(status, kStatusNullPointer);
            return;
        }
        const char* versionText = nullptr;
        size_t versionLength = 0;
        const size_t nameLength = splitVersionedName(name, versionText, versionLength);
        const size_t index = find(name, nameLength);
        W* found = index == kNotFound ? nullptr : entries_[index].wrapper;
        // The version asked for (zero without one); a fault in its text comes before a name not
        // found.
        Version requested;
        if (versionText != nullptr) {
            if (found != nullptr && found->hasVersionText(versionText, versionLength))
                requested = found->version;
            else
                requested.parse(versionText, status);
            if (status.isFatal()) return;
        }
        if (found == nullptr) {
            KZ_SET_CODE(status, kStatusNameNotFound);
            return;
        }
        found->checkVersion(requested, status);
        if (status.isFatal()) return;
        wrapper = found;
        if (lock != nullptr) *lock = &found->lock;
    }

    // The entry that holds a slot is the first of all entries whose last letters and length lead to
    // that slot, so it is also the first with its name: when it has the name asked for, it is the
    // answer. Any other name is looked for in order: the lengths first, then the letters from the
    // end (many registered names share a long prefix and a length, "QuolinDMAChannel0" to "...3",
    // and differ near their end).
    size_t find(const char* name, size_t length) const {
        const uint64_t last = lastLetters(name, length);
        const uint16_t atSlot = firstAtSlot_[slotOf(last, length)];
        if (atSlot != 0 && named(entries_[atSlot - 1u], name, length, last)) return atSlot - 1u;
        const Entry* const first = entries_.begin();
        const Entry* const end = entries_.end();
        for (const Entry* candidate = first; candidate != end; ++candidate)
            if (named(*candidate, name, length, last)) return static_cast<size_t>(candidate - first);
        return kNotFound;
    }

    W* unlink(const char* name) {
        if (name == nullptr) return nullptr;
        const size_t index = find(name, kzhtl::String::textLength(name));
        if (index == kNotFound) return nullptr;
        W* wrapper = entries_[index].wrapper;
        entries_.erase(entries_.begin() + index);
        // Positions moved: every slot again to the first entry that leads to it, the last first.
        for (uint16_t& slot : firstAtSlot_) slot = 0;
        for (size_t i = entries_.size(); i > 0; --i)
            if (i < kUnindexed) firstAtSlot_[slotOf(entries_[i - 1].lastLetters, entries_[i - 1].name.size())] = uint16_t(i);
        return wrapper;
    }

    kzhtl::Vector<Entry> entries_;

private:
    static constexpr size_t kSlots = 256;
    // Entries from this position on are found by the search in order only.
    static constexpr size_t kUnindexed = 0xFFFF;

    static size_t slotOf(uint64_t last, size_t length) {
        return static_cast<size_t>((last + length) * 0x9E3779B97F4A7C15ull >> 56);
    }

    // The last letters are compared first, and so need no second look.
    static bool named(const Entry& entry, const char* name, size_t length, uint64_t last) {
        return entry.lastLetters == last && entry.name.size() == length &&
               (length <= sizeof last || sameLetters(entry.name.c_str(), name, length - sizeof last));
    }

    // Per slot, the position + 1 of the first entry whose last letters and length lead there (0: none).
    uint16_t firstAtSlot_[kSlots] = {};
};

// Builds and owns a registration per name.
template <class T>
class WrapperDispatcher : public DispatcherBase<RegistrationWrapper<T>> {
    using Base = DispatcherBase<RegistrationWrapper<T>>;

public:
    using Wrapper = RegistrationWrapper<T>;
    using tStatus = nKZAPALS100::tStatus;
    using Base::add;
    using Base::getRegistration;

    // Deletes every registration in adding order. Going straight over the entries (rather than
    // through a tab-separated list of the names) needs no memory, so nothing leaks when memory is
    // short at teardown, and a name holding a tab cannot be missed.
    ~WrapperDispatcher() override {
        for (auto& entry : this->entries_) delete entry.wrapper;
    }

    // Acts even when the status already holds an error, so one status can carry the removal of
    // many names and report the first failure.
    Wrapper* remove(const char* name, tStatus& status) override {
        if (name == nullptr) {
            KZ_SET_CODE(status, kStatusNullPointer);
            return nullptr;
        }
        Wrapper* wrapper = this->unlink(name);
        if (wrapper == nullptr) {
            KZ_SET_CODE(status, kStatusNameNotFound);
        } else {
            delete wrapper;
        }
        return nullptr;
    }

    Wrapper* remove(const char* name) override {
        tStatus discarded;
        return remove(name, discarded);
    }

    virtual void add(const char* name, T& object, tStatus& status) {
        if (status.isFatal()) return;
        const char* versionText = "";
        const char* oldestCompatibleVersionText = "";
        if constexpr (kRegistersVersioned<T>) {
            versionText = object.getVersion();
            oldestCompatibleVersionText = object.getOldestCompatibleVersion();
        }
        Wrapper* wrapper = new (status) Wrapper(object, versionText, oldestCompatibleVersionText, status);
        if (wrapper == nullptr) return;
        if (status.isNotFatal()) Base::add(name, *wrapper, status);
        if (status.isFatal()) delete wrapper;
    }

    // object is written in every case: the registered object, or null.
    virtual void getRegistration(const char* name, T*& object, tStatus& status, tMutex** lock) {
        Wrapper* wrapper = nullptr;
        this->lookUp(name, wrapper, status, lock);
        object = wrapper != nullptr ? wrapper->object : nullptr;
    }
};

// Adds the lookup of a name that user mode sends as an address and a length.
template <class T, class WD = WrapperDispatcher<T>>
class Dispatcher : public WD {
public:
    using tStatus = nKZAPALS100::tStatus;
    using tEventDescriptor = kzvorn_driver::nKZAPAL000::tEventDescriptor;
    using WD::getRegistration;

    // The name need not end in a NUL. object is written only when the name could be copied.
    virtual void getRegistration(tEventDescriptor& request, uint64_t nameAddress, uint64_t nameLength, T*& object,
                                 tStatus& status, tMutex** lock) {
        if (status.isFatal()) return;
        if (nameLength > kMaxCallerNameLength) {
            KZ_SET_CODE(status, kStatusNameNotFound);
            return;
        }
        // Registered names fit the frame; only a longer name (which then matches nothing) goes to
        // the allocator.
        char local[kShortNameSize];
        const size_t size = static_cast<size_t>(nameLength) + 1;
        char* name = size <= kShortNameSize ? local : new (status) char[size];
        if (name == nullptr) return;
        name[nameLength] = '\0';
        kzvorn_driver::nKZAPAL000::tUserBuffer(request, nameAddress, nameLength, status)
            .readFromBuffer(0, name, static_cast<uint32_t>(nameLength), status);
        if (status.isNotFatal()) getRegistration(name, object, status, lock);
        if (name != local) delete[] name;
    }

private:
    static constexpr size_t kShortNameSize = 128;
};

}  // namespace kzregitools
