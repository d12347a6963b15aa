// The register-map engine: one implementation of the register-map interface driven by a constant
// table per map. A table row is one register object (key, side, width, kind, initial shadow, keep
// mask and its fields); the engine keeps a shadow, a dirty flag, a pending-strobe word, an address
// and an in-window flag per row, and moves values between the shadows and the hardware through the
// map's hardware access. The rows come from a map's declaration (registerMapDeclaration.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "quolinTools/armgen/dynamicAccessInterfaceBase.h"
#include "kzapal/protons/status.h"

namespace arm {

using nKZAPALS100::tStatus;

constexpr uint32_t kWholeRegisterBit = 0x80000000u;
constexpr uint32_t kReadSideBit = 0x40000000u;
constexpr uint32_t kKeyMask = 0x00FFFFFFu;
constexpr uint32_t kRegisterSelectMask = 0x40FFFFFFu;  // key and side: selects a register
constexpr uint32_t kWholeIdMask = 0xC0FFFFFFu;

// ---------------------------------------------------------------------------------------------
// Table description

// How `set` and `write` reduce a value into a field: the low bits of the value; for a flag, 1 for
// any non-zero value; for a bit, bit 0 of the value whatever the map's policy says of one-bit fields.
enum class Merge : uint8_t { kLowBits, kFlag, kBit };

struct FieldDesc {
    uint8_t low;
    uint8_t width;
    Merge merge;
};

constexpr unsigned kMaxFields = 32;

struct FieldList {
    FieldDesc field[kMaxFields];
    uint8_t count;
};

enum class Kind : uint8_t {
    kReadWrite,         // shadowed
    kWriteOnly,         // shadowed
    kReadOnly,          // shadowed, read side
    kCommand,           // unshadowed read-write: read and written straight, flush does nothing
    kCommandWriteOnly,  // unshadowed write-only
    kCommandReadOnly,   // unshadowed read-only, read side
    kPending,           // shadowed read-write whose strobe bits wait in a pending word
    kFormatOnly,        // known only to getRegisterFormat
};

// What each kind is, in the order of Kind: one look-up on every access instead of a chain of
// comparisons.
namespace kind_detail {
constexpr uint8_t kShadowed = 1, kReadable = 2, kWritable = 4;
constexpr uint8_t kTraits[] = {
    kShadowed | kReadable | kWritable,  // kReadWrite
    kShadowed | kWritable,              // kWriteOnly
    kShadowed | kReadable,              // kReadOnly
    kReadable | kWritable,              // kCommand
    kWritable,                          // kCommandWriteOnly
    kReadable,                          // kCommandReadOnly
    kShadowed | kReadable | kWritable,  // kPending
    0,                                  // kFormatOnly
};
static_assert(sizeof kTraits == uint8_t(Kind::kFormatOnly) + 1, "one entry for each kind");
}  // namespace kind_detail

constexpr bool isShadowed(Kind k) { return (kind_detail::kTraits[uint8_t(k)] & kind_detail::kShadowed) != 0; }
constexpr bool isReadable(Kind k) { return (kind_detail::kTraits[uint8_t(k)] & kind_detail::kReadable) != 0; }
constexpr bool isWritable(Kind k) { return (kind_detail::kTraits[uint8_t(k)] & kind_detail::kWritable) != 0; }
constexpr bool isReadSideKind(Kind k) { return k == Kind::kReadOnly || k == Kind::kCommandReadOnly; }

struct RegisterDesc {
    uint32_t key;      // identifier bits 0-23
    uint32_t address;  // offset from the accessor's base (before the window)
    uint64_t initial;
    uint64_t keep;     // shadow bits that survive a good hardware write
    uint8_t width;     // 8, 16, 32 or 64
    Kind kind;
    bool wholeReadSide;  // bit 30 in the whole-register identifier and the register key
    bool fieldReadSide;  // bit 30 in the field identifiers
    bool hasIdentifier;  // false: reached only by typed use and the walks
    bool secondView;     // shares key and side with an earlier register; only its fields name it
    FieldList fields;
    const char* typeName;  // the declared type the row was made from
    // The fields a read brings in where they differ from the written ones (a register whose
    // strobe bits read back as status); null for every other register.
    const FieldList* readFields;
};

// Registers and fields are 1 to 64 bits wide; no comparison, as every access takes this.
constexpr uint64_t widthMask(unsigned width) { return ~0ull >> (64 - width); }

constexpr uint64_t fieldMask(const FieldDesc& f) { return widthMask(f.width) << f.low; }
// The field's value in a word that holds the whole register.
constexpr uint64_t fieldValue(uint64_t word, const FieldDesc& f) { return (word & fieldMask(f)) >> f.low; }

// Every request that names a field reverses its lowest bit: by table, not bit by bit.
struct tReversed6 {
    uint8_t bits[64];
};
constexpr tReversed6 makeReversed6() {
    tReversed6 table{};
    for (uint32_t v = 0; v < 64; ++v)
        for (int i = 0; i < 6; ++i) table.bits[v] = uint8_t(table.bits[v] | ((v >> i) & 1u) << (5 - i));
    return table;
}
inline constexpr tReversed6 kReversed6 = makeReversed6();
constexpr uint32_t reverse6(uint32_t v) { return kReversed6.bits[v & 0x3F]; }

constexpr uint32_t registerKey(const RegisterDesc& r) { return r.key | (r.wholeReadSide ? kReadSideBit : 0u); }
constexpr uint32_t wholeId(const RegisterDesc& r) { return kWholeRegisterBit | registerKey(r); }
constexpr uint32_t fieldId(const RegisterDesc& r, const FieldDesc& f) {
    return r.key | (r.fieldReadSide ? kReadSideBit : 0u) | (reverse6(f.low) << 24);
}

// A register with a read layout answers on its read side too: its whole identifier with the
// read-side bit, and a read-side identifier for each read field that lies on strobe bits (the
// other read fields are written fields as well, and answer to those fields' identifiers).
constexpr uint32_t readSideKey(const RegisterDesc& r) { return r.key | kReadSideBit; }
constexpr bool onStrobes(const RegisterDesc& r, const FieldDesc& f) {
    return (((widthMask(f.width) << f.low) & ~r.keep)) != 0;
}
constexpr uint32_t readSideFieldId(const RegisterDesc& r, const FieldDesc& f) {
    return r.key | kReadSideBit | (reverse6(f.low) << 24);
}

constexpr FieldType fieldTypeOf(const FieldDesc& f) {
    return f.width == 1 ? kFieldTypeBit
           : f.width <= 8  ? kFieldTypeUpTo8Bits
           : f.width <= 16 ? kFieldTypeUpTo16Bits
                           : kFieldTypeUpTo32Bits;
}

// ---------------------------------------------------------------------------------------------
// Declared register types and rows (see registerMapDeclaration.h for the declaration form)

// A slip in a declaration: reaching one of these in a constant expression stops the build, and the
// compiler names the function and the row that reached it.
inline void fieldOutsideTheRegister() {}
inline void fieldsOverlapOrAreNotAscending() {}
inline void tooManyFieldsInOneRegister() {}
inline void registerWidthNot8_16_32Or64() {}
inline void initialShadowWiderThanTheRegister() {}
inline void keyWiderThan24Bits() {}
inline void keyCountDiffersFromTheArrayCount() {}
inline void twoRegistersWithOneIdentifier() {}
inline void twoFieldsWithOneIdentifier() {}
inline void secondViewWithoutAFirstView() {}
inline void rowCountDiffersFromTheDeclaration() {}

enum RegisterFlag : uint8_t {
    kNoFlags = 0,
    kSecondView = 1,     // another object at the key and side of an earlier one, with fields of its own
    kNoIdentifier = 2,   // reached only by typed use and the walks
};

inline void readFieldNeitherOnStrobesNorAWrittenField() {}

// The next field of a list, above the previous one, bits low to high.
constexpr void appendField(FieldList& fields, unsigned width, unsigned high, unsigned low, Merge merge) {
    if (fields.count >= kMaxFields) tooManyFieldsInOneRegister();
    if (low > high || high >= width) fieldOutsideTheRegister();
    if (fields.count > 0) {
        const FieldDesc& last = fields.field[fields.count - 1];
        if (low < unsigned(last.low + last.width)) fieldsOverlapOrAreNotAscending();
    }
    fields.field[fields.count++] = FieldDesc{uint8_t(low), uint8_t(high - low + 1), merge};
}

// The fields a read brings in, where they differ from the written ones (`ARM_READ_SIDE`).
struct ReadLayout {
    FieldList fields = {};
    constexpr ReadLayout add(unsigned high, unsigned low, Merge merge) const {
        ReadLayout r = *this;
        appendField(r.fields, 64, high, low, merge);
        return r;
    }
};

// A register's kind with its flags and read layout, as a declaration writes it (`RW`,
// `WO | NO_ID`, `PENDING | ARM_READ_SIDE(...)`).
struct RegisterKind {
    constexpr RegisterKind(Kind kind, uint8_t flags = kNoFlags) : kind(kind), flags(flags) {}
    Kind kind;
    uint8_t flags;
    FieldList reads = {};
};
constexpr RegisterKind operator|(RegisterKind k, RegisterFlag f) {
    k.flags = uint8_t(k.flags | f);
    return k;
}
constexpr RegisterKind operator|(RegisterKind k, const ReadLayout& r) {
    k.reads = r.fields;
    return k;
}

// What several registers may share: width, kind, initial shadow, keep mask and fields.
struct RegisterType {
    const char* name = "";
    uint8_t width = 32;
    Kind kind = Kind::kReadWrite;
    uint8_t flags = kNoFlags;
    uint64_t initial = 0;
    uint64_t keep = ~0ull;
    FieldList fields = {};
    FieldList reads = {};

    constexpr RegisterType(const char* name, unsigned width, RegisterKind kind, uint64_t initial, uint64_t keep)
        : name(name), width(uint8_t(width)), kind(kind.kind), flags(kind.flags), initial(initial),
          keep(keep & widthMask(width)), reads(kind.reads) {
        if (width != 8 && width != 16 && width != 32 && width != 64) registerWidthNot8_16_32Or64();
        if (initial & ~widthMask(width)) initialShadowWiderThanTheRegister();
        for (unsigned i = 0; i < reads.count; ++i)
            if (reads.field[i].low + reads.field[i].width > width) fieldOutsideTheRegister();
    }
    // The next field, above the previous one, bits low to high.
    constexpr RegisterType add(unsigned high, unsigned low, Merge merge) const {
        RegisterType t = *this;
        appendField(t.fields, width, high, low, merge);
        return t;
    }
};

// Where a register (or the first register of an array) lies: its offset and, where they differ
// from the offsets, its keys (one per array element).
constexpr unsigned kMaxKeys = 32;
struct Place {
    uint32_t offset = 0;
    uint8_t keyCount = 0;  // 0: the key is the offset
    uint32_t keys[kMaxKeys] = {};
};
constexpr Place at(uint32_t offset) { return Place{offset, 0, {}}; }
template <class... Keys>
constexpr Place at(uint32_t offset, Keys... keys) {
    Place p{offset, uint8_t(sizeof...(Keys)), {}};
    const uint32_t list[] = {uint32_t(keys)...};
    static_assert(sizeof...(Keys) <= kMaxKeys, "too many keys in one array");
    for (unsigned i = 0; i < sizeof...(Keys); ++i) p.keys[i] = list[i];
    return p;
}

// Whether one of the register's fields, written or read-side, answers to a field identifier.
constexpr bool answersField(const RegisterDesc& r, uint32_t id) {
    for (unsigned f = 0; f < r.fields.count; ++f)
        if (fieldId(r, r.fields.field[f]) == id) return true;
    for (unsigned f = 0; r.readFields != nullptr && f < r.readFields->count; ++f)
        if (onStrobes(r, r.readFields->field[f]) && readSideFieldId(r, r.readFields->field[f]) == id) return true;
    return false;
}

// Element i of a register (i 0) or array at a place. Keyed rows take the product maps' identifier
// form: a read-only register's fields carry the read-side bit, its whole-register identifier does not.
constexpr RegisterDesc row(const RegisterType& t, const Place& place, unsigned element, uint32_t stride) {
    RegisterDesc r{};
    r.address = place.offset + element * stride;
    r.key = place.keyCount != 0 ? place.keys[element] : r.address;
    if (r.key > kKeyMask) keyWiderThan24Bits();
    r.initial = t.initial;
    r.keep = t.keep;
    r.width = t.width;
    r.kind = t.kind;
    r.fieldReadSide = isReadSideKind(t.kind);
    r.wholeReadSide = r.fieldReadSide && place.keyCount == 0;
    r.hasIdentifier = (t.flags & kNoIdentifier) == 0;
    r.secondView = (t.flags & kSecondView) != 0;
    r.fields = t.fields;
    r.typeName = t.name;
    if (t.reads.count != 0) {
        r.readFields = &t.reads;
        for (unsigned i = 0; i < t.reads.count; ++i) {
            const FieldDesc& f = t.reads.field[i];
            bool written = false;
            for (unsigned w = 0; w < t.fields.count; ++w)
                written = written || (t.fields.field[w].low == f.low && t.fields.field[w].width == f.width &&
                                      !onStrobes(r, t.fields.field[w]));
            if (!written && (fieldMask(f) & r.keep) != 0) readFieldNeitherOnStrobesNorAWrittenField();
        }
    }
    return r;
}

// The rows of a declared map, in member order, checked as a whole.
template <size_t N>
struct DeclaredRows {
    RegisterDesc rows[N] = {};
    size_t n = 0;

    constexpr void add(const RegisterType& t, const Place& place, unsigned count, uint32_t stride) {
        if (place.keyCount != 0 && place.keyCount != count) keyCountDiffersFromTheArrayCount();
        for (unsigned i = 0; i < count; ++i) {
            if (n >= N) rowCountDiffersFromTheDeclaration();
            rows[n++] = row(t, place, i, stride);
        }
    }
    // No two registers answer to one whole-register identifier and no two fields to one field
    // identifier; a second view follows a register at its key and side.
    constexpr DeclaredRows complete() const {
        if (n != N) rowCountDiffersFromTheDeclaration();
        for (size_t j = 0; j < N; ++j) {
            const RegisterDesc& b = rows[j];
            if (!b.hasIdentifier) continue;
            bool first = false;
            for (size_t i = 0; i < j; ++i) {
                const RegisterDesc& a = rows[i];
                if (!a.hasIdentifier || a.key != b.key) continue;
                if (registerKey(a) == registerKey(b) && !a.secondView) {
                    if (!b.secondView) twoRegistersWithOneIdentifier();
                    first = true;
                }
                if ((a.readFields != nullptr && (readSideKey(a) == registerKey(b) || b.readFields != nullptr)) ||
                    (b.readFields != nullptr && readSideKey(b) == registerKey(a)))
                    twoRegistersWithOneIdentifier();
                for (unsigned f = 0; f < b.fields.count; ++f)
                    if (answersField(a, fieldId(b, b.fields.field[f]))) twoFieldsWithOneIdentifier();
                for (unsigned f = 0; b.readFields != nullptr && f < b.readFields->count; ++f)
                    if (onStrobes(b, b.readFields->field[f]) && answersField(a, readSideFieldId(b, b.readFields->field[f])))
                        twoFieldsWithOneIdentifier();
            }
            if (b.secondView && !first) secondViewWithoutAFirstView();
        }
        return *this;
    }
};

constexpr bool sameName(const char* a, const char* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

// The row of a declared register: the first row made from its type at its place. (Types are told
// apart by name: the compilers do not compare the addresses of two inline constants at compile time.)
template <size_t N>
constexpr int rowIndex(const RegisterDesc (&rows)[N], const RegisterType& type, const Place& place) {
    const uint32_t key = place.keyCount != 0 ? place.keys[0] : place.offset;
    for (size_t i = 0; i < N; ++i)
        if (rows[i].typeName != nullptr && sameName(rows[i].typeName, type.name) && rows[i].address == place.offset &&
            rows[i].key == key)
            return int(i);
    return -1;
}

// The kinds and flags as a declaration writes them.
namespace table {
constexpr Kind RW = Kind::kReadWrite;
constexpr Kind WO = Kind::kWriteOnly;
constexpr Kind RO = Kind::kReadOnly;
constexpr Kind CMD = Kind::kCommand;
constexpr Kind CMD_WO = Kind::kCommandWriteOnly;
constexpr Kind CMD_RO = Kind::kCommandReadOnly;
constexpr Kind PENDING = Kind::kPending;
constexpr Kind FORMAT_ONLY = Kind::kFormatOnly;
constexpr RegisterFlag SECOND_VIEW = kSecondView;
constexpr RegisterFlag NO_ID = kNoIdentifier;
constexpr uint64_t ALL = ~0ull;  // keep mask of a register without strobes
}  // namespace table

// The rules where the register-map families differ.
struct Policy {
    // `get` and `read` store 0 in the output when they refuse an identifier.
    bool zeroOutputOnRefusal;
    // `flush` and `refresh` select the register by id AND 0x40FFFFFF; otherwise the identifier must
    // name the register or one of its fields, as for `get`.
    bool registerOpsByKey;
    // An unshadowed register reads as all ones outside the window and on an incoming error, and
    // a failed read answers what the access returned (otherwise 0); shadowed registers answer
    // from their old shadow either way.
    bool allOnesOutsideWindow;
    // One-bit fields without a kind of their own are flags.
    bool oneBitFieldsAreFlags;
    // Pending-strobe registers: a write replaces the pending word, and a send moves the pending
    // strobes into the shadow before the write, so the strobes of a failed send are masked off by
    // the next one instead of going out again. Otherwise strobes accumulate in the pending word
    // (a 0 leaves a pending 1) and stay there until a send succeeds.
    bool pendingSendsOnce;
};

constexpr Policy kFamilyPolicy{false, false, false, false, false};
constexpr Policy kBridgePolicy{true, true, false, false, false};
constexpr Policy kProductPolicy{true, true, true, true, true};

struct MapDesc {
    const RegisterDesc* registers;
    uint16_t count;
    const char* version;
    const char* source;  // the map's source, named in failures
    Policy policy;
};

template <size_t N>
constexpr MapDesc mapDesc(const RegisterDesc (&registers)[N], const char* version, const char* source,
                          Policy policy) {
    return MapDesc{registers, uint16_t(N), version, source, policy};
}

// The bytes a map's registers span from its base: the size its accessor must cover.
constexpr uint64_t extent(const MapDesc& desc) {
    uint64_t end = 0;
    for (size_t i = 0; i < desc.count; ++i) {
        const uint64_t last = uint64_t(desc.registers[i].address) + desc.registers[i].width / 8;
        if (last > end) end = last;
    }
    return end;
}

// Whether a map's description holds these rows.
constexpr bool describes(const MapDesc& desc, const RegisterDesc* rows, size_t count) {
    if (desc.count != count) return false;
    for (size_t i = 0; i < count; ++i)
        if (desc.registers[i].key != rows[i].key || desc.registers[i].typeName == nullptr ||
            !sameName(desc.registers[i].typeName, rows[i].typeName))
            return false;
    return true;
}

template <size_t N>
constexpr size_t countFields(const RegisterDesc (&registers)[N]) {
    size_t n = 0;
    for (size_t i = 0; i < N; ++i) n += registers[i].fields.count;
    return n;
}

template <size_t N>
constexpr size_t countKind(const RegisterDesc (&registers)[N], Kind kind) {
    size_t n = 0;
    for (size_t i = 0; i < N; ++i) n += registers[i].kind == kind ? 1 : 0;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Run time

struct RegisterState {
    uint64_t shadow;
    uint32_t address;
    uint32_t pending;
    bool dirty;
    bool inWindow;
};

// How a map reaches its registers. An access that fails reports through the status.
class HardwareAccess {
public:
    virtual uint64_t readRegister(uint32_t address, unsigned width, tStatus& status) = 0;
    virtual void writeRegister(uint32_t address, unsigned width, uint64_t value, tStatus& status) = 0;
    // Where a register's plain 64-bit stores may go without this access, when a store through it
    // is exactly that store and cannot fail; null otherwise.
    virtual void* directStoreAddress(uint32_t address) { return nullptr; }

protected:
    ~HardwareAccess() = default;
};

struct Window {
    uint32_t base;
    uint32_t first;
    uint32_t count;
};

constexpr Window kWholeWindow{0, 0, 0xFFFFFFFFu};

class Register;

class TableMap : public DynamicAccessInterfaceBase<tStatus> {
public:
    void get(uint32_t id, uint64_t& value, tStatus& status, uint32_t extension = 0) override;
    void set(uint32_t id, uint64_t value, tStatus& status, uint32_t extension = 0) override;
    void read(uint32_t id, uint64_t& value, tStatus& status, uint32_t extension = 0) override;
    void write(uint32_t id, uint64_t value, bool force, tStatus& status, uint32_t extension = 0) override;
    void flush(uint32_t id, bool force, tStatus& status, uint32_t extension = 0) override;
    void refresh(uint32_t id, tStatus& status, uint32_t extension = 0) override;
    void getRegisterFormat(uint32_t id, uint32_t& count, FieldType* types, uint64_t* masks,
                           tStatus& status) const override;
    void flushRegMap(bool force, tStatus& status) override;
    void refreshRegMap(tStatus& status) override;
    void markDirtyRegMap() override;
    const char* getVersion() const override { return desc_.version; }
    const char* getOldestCompatibleVersion() const override { return desc_.version; }

    const MapDesc& description() const { return desc_; }
    const RegisterState& state(unsigned index) const { return states_[index]; }
    const Window& window() const { return window_; }

protected:
    TableMap(const MapDesc& desc, RegisterState* states, HardwareAccess* access, Window window = kWholeWindow);
    ~TableMap() override = default;

    // Sub-maps that the walks, markDirtyRegMap and reinitialize include after this map's registers.
    // A null entry (a sub-map that was never allocated) is skipped, so a map whose construction
    // failed can still be walked.
    void attachSubMaps(TableMap* const* subMaps, unsigned count);
    // Addresses and window flags from the window; initial shadows; everything clean.
    void layout();
    void reinitializeAll();
    void changeWindow(const Window& window) { window_ = window; }

private:
    friend class Register;
    friend class WordStream;

    // A register (-1: nothing) and one of its fields, or the whole register; `readSide` when the
    // identifier named the register's read layout.
    struct Target {
        int reg;
        bool whole;
        FieldDesc field;
        bool readSide;

        static Target none() { return Target{-1, true, {}, false}; }
        static Target wholeOf(int reg, bool readSide = false) { return Target{reg, true, {}, readSide}; }
        static Target fieldOf(int reg, const FieldDesc& field, bool readSide = false) {
            return Target{reg, false, field, readSide};
        }
    };

    Target resolveValueId(uint32_t id) const;
    Target resolveRegisterId(uint32_t id) const;
    Target wholeByKey(uint32_t keyAndSide) const;
    const FieldList& fieldsOf(const Target& t) const;
    bool isPendingOnce(int reg) const;

    void refuse(tStatus& status) const;
    void refuse(tStatus& status, uint64_t& output) const;
    void fail(tStatus& status, int64_t code) const;

    uint64_t extract(uint64_t value, const Target& t) const;
    uint64_t placed(const Target& t, uint64_t value) const;
    bool merge(const Target& t, uint64_t value);

    // One hardware access each; -52006 outside the window.
    bool hardwareRead(int reg, uint64_t& value, tStatus& status);
    void hardwareWrite(int reg, uint64_t value, tStatus& status);

    void getTarget(const Target& t, uint64_t& value, tStatus& status) const;
    void setTarget(const Target& t, uint64_t value, tStatus& status);
    void readTarget(const Target& t, uint64_t& value, tStatus& status);
    void writeTarget(const Target& t, uint64_t value, bool force, tStatus& status);
    void flushRegister(int reg, bool force, tStatus& status);
    void refreshRegister(int reg, tStatus& status);

    const MapDesc& desc_;
    RegisterState* states_;
    HardwareAccess* access_;
    Window window_;
    TableMap* const* subMaps_ = nullptr;
    unsigned subMapCount_ = 0;
};

// A map with a window and `reinitialize` (interface slot 14).
class WindowedTableMap : public TableMap {
public:
    virtual void reinitialize();
    // The window that the next `reinitialize` lays the registers out in.
    void setWindow(uint32_t base, uint32_t first, uint32_t count) { changeWindow(Window{base, first, count}); }

protected:
    using TableMap::TableMap;
};

// Typed access to one register of a map: the nested register types of the maps derive from it
// and add the generated names (`readDataTransferEnable`, `writePFI_i_Output_Select`, ...).
class Register {
public:
    Register(TableMap& map, int index) : map_(&map), index_(index) {}

    // Reads the hardware into the shadow (clean) and returns it; the shadow, untouched, when the
    // status holds an error on entry or after the read.
    uint32_t readRegister(tStatus& status) { return uint32_t(readWhole(status)); }
    uint64_t readWhole(tStatus& status);
    void refresh(tStatus& status);
    void flush(tStatus& status, bool force = false);
    // The whole register: merged and written as `write` does; an unshadowed one is written at once.
    void writeRegister(uint64_t value, tStatus& status, bool force = false);
    void setRegister(uint64_t value, tStatus& status);

    // A handle made with an index outside the map (-1) refuses every operation.
    uint64_t getShadow() const { return index_ < 0 ? 0 : map_->states_[index_].shadow; }
    uint32_t getPending() const { return index_ < 0 ? 0 : map_->states_[index_].pending; }
    bool isDirty() const { return index_ >= 0 && map_->states_[index_].dirty; }
    bool isInWindow() const { return index_ >= 0 && map_->states_[index_].inWindow; }
    uint32_t address() const { return index_ < 0 ? 0 : map_->states_[index_].address; }
    int index() const { return index_; }

protected:
    // One field of the register, as its declaration gives it. A reader of an unshadowed register
    // returns 1 on an incoming error, so a poll waiting for the bit ends at once.
    uint64_t readFieldAt(const FieldDesc& field, tStatus& status);
    void writeFieldAt(const FieldDesc& field, uint64_t value, tStatus& status, bool force);
    void setFieldAt(const FieldDesc& field, uint64_t value, tStatus& status);
    uint64_t getFieldAt(const FieldDesc& field) const;

private:
    friend class WordStream;

    TableMap* map_;
    int index_;
};

// Forced whole writes of one 64-bit register, many in a row (a data port fed from a buffer). A
// register that is shadowed, writable, has no fields and keeps no shadow bits (keep mask 0) ends
// every such write with shadow 0, nothing pending and clean, whatever the value: when its map can
// store to it directly, each word is one plain store and the shadow is settled once, when the
// stream ends. Any other register takes the ordinary forced write for each word.
class WordStream {
public:
    explicit WordStream(const Register& reg);
    ~WordStream();
    WordStream(const WordStream&) = delete;
    WordStream& operator=(const WordStream&) = delete;

    // `count` words, each the next 8 bytes in little-endian order. Direct stores cannot fail and
    // leave the status alone; the ordinary writes stop at the first failure.
    void write(const uint8_t* bytes, uint64_t count, tStatus& status);

private:
    Register reg_;
    void* address_ = nullptr;
    bool stored_ = false;
};

// The register states of a map with N rows, ahead of the engine base so they exist before it
// lays them out.
template <size_t N>
struct RegisterStates {
    RegisterState states[N];
};

}  // namespace arm
