#include "quolinTools/armgen/registerMap.h"

#include "kzapal/protons/memory64.h"
#include "kzapal/protons/statusCodes.h"

namespace arm {

using nKZAPALS100::kStatusBadParameter;
using nKZAPALS100::kStatusBufferTooSmall;
using nKZAPALS100::kStatusFeatureNotSupported;
using nKZAPALS100::kStatusResourceNotFound;

TableMap::TableMap(const MapDesc& desc, RegisterState* states, HardwareAccess* access, Window window)
    : desc_(desc), states_(states), access_(access), window_(window) {
    layout();
}

void TableMap::attachSubMaps(TableMap* const* subMaps, unsigned count) {
    subMaps_ = subMaps;
    subMapCount_ = count;
}

void TableMap::layout() {
    for (unsigned i = 0; i < desc_.count; ++i) {
        const RegisterDesc& r = desc_.registers[i];
        RegisterState& s = states_[i];
        const uint32_t k = r.address;
        s.address = window_.base - window_.first + k;
        s.inWindow = k >= window_.first && k - window_.first < window_.count;
        s.shadow = r.initial;
        s.pending = 0;
        s.dirty = false;
    }
}

void TableMap::reinitializeAll() {
    layout();
    for (unsigned i = 0; i < subMapCount_; ++i)
        if (subMaps_[i] != nullptr) subMaps_[i]->reinitializeAll();
}

void WindowedTableMap::reinitialize() { reinitializeAll(); }

// ---------------------------------------------------------------------------------------------
// Identifiers

TableMap::Target TableMap::wholeByKey(uint32_t keyAndSide) const {
    for (unsigned i = 0; i < desc_.count; ++i) {
        const RegisterDesc& r = desc_.registers[i];
        if (!r.hasIdentifier) continue;
        if (registerKey(r) == keyAndSide) return Target::wholeOf(int(i));
        if (r.readFields != nullptr && readSideKey(r) == keyAndSide) return Target::wholeOf(int(i), true);
    }
    return Target::none();
}

TableMap::Target TableMap::resolveValueId(uint32_t id) const {
    if (id & kWholeRegisterBit) return wholeByKey(id & kRegisterSelectMask);
    // A field identifier must match exactly: key, side and the reversed lowest bit. Two objects
    // may share a key and side; the one that defines the field answers.
    const uint32_t key = id & kKeyMask;
    const bool readSide = (id & kReadSideBit) != 0;
    const unsigned low = reverse6((id >> 24) & 0x3F);
    for (unsigned i = 0; i < desc_.count; ++i) {
        const RegisterDesc& r = desc_.registers[i];
        if (!r.hasIdentifier || r.key != key) continue;
        if (r.fieldReadSide == readSide)
            for (unsigned f = 0; f < r.fields.count; ++f)
                if (r.fields.field[f].low == low) return Target::fieldOf(int(i), r.fields.field[f]);
        if (readSide && r.readFields != nullptr)
            for (unsigned f = 0; f < r.readFields->count; ++f) {
                const FieldDesc& field = r.readFields->field[f];
                if (field.low == low && onStrobes(r, field)) return Target::fieldOf(int(i), field, true);
            }
    }
    return Target::none();
}

TableMap::Target TableMap::resolveRegisterId(uint32_t id) const {
    if (desc_.policy.registerOpsByKey) return wholeByKey(id & kRegisterSelectMask);
    return resolveValueId(id);
}

const FieldList& TableMap::fieldsOf(const Target& t) const {
    const RegisterDesc& r = desc_.registers[t.reg];
    return t.readSide && r.readFields != nullptr ? *r.readFields : r.fields;
}

bool TableMap::isPendingOnce(int reg) const {
    return desc_.registers[reg].kind == Kind::kPending && desc_.policy.pendingSendsOnce;
}

void TableMap::fail(tStatus& status, int64_t code) const {
    nKZAPALS100::setCode(status, code, KZ_COMPONENT, desc_.source, __LINE__);
}

void TableMap::refuse(tStatus& status) const { fail(status, kStatusBadParameter); }

void TableMap::refuse(tStatus& status, uint64_t& output) const {
    if (desc_.policy.zeroOutputOnRefusal) output = 0;
    refuse(status);
}

// ---------------------------------------------------------------------------------------------
// Values

uint64_t TableMap::extract(uint64_t value, const Target& t) const {
    const RegisterDesc& r = desc_.registers[t.reg];
    if (t.whole) return value & widthMask(r.width);
    return (value & fieldMask(t.field)) >> t.field.low;
}

// The value as it lands in the register: a whole value keeps the register's width, a field value
// is reduced (a flag to 0 or 1, a number to its low bits) and moved to its position.
uint64_t TableMap::placed(const Target& t, uint64_t value) const {
    const RegisterDesc& r = desc_.registers[t.reg];
    if (t.whole) return value & widthMask(r.width);
    const FieldDesc& f = t.field;
    const bool flag = f.merge == Merge::kFlag ||
                      (f.merge == Merge::kLowBits && f.width == 1 && desc_.policy.oneBitFieldsAreFlags);
    const uint64_t reduced = flag ? (value != 0 ? 1 : 0) : (value & widthMask(f.width));
    return reduced << f.low;
}

bool TableMap::merge(const Target& t, uint64_t value) {
    const RegisterDesc& r = desc_.registers[t.reg];
    RegisterState& s = states_[t.reg];
    const uint64_t bits = t.whole ? widthMask(r.width) : fieldMask(t.field);
    const uint64_t in = placed(t, value);
    if (r.kind != Kind::kPending) {
        // Nothing ever waits in the pending word of the other kinds.
        const uint64_t shadow = (s.shadow & ~bits) | in;
        if (shadow == s.shadow) return false;
        s.shadow = shadow;
        s.dirty = true;
        return true;
    }
    if (isPendingOnce(t.reg)) {
        // The value goes into the word the next send writes; its strobes then wait in the pending
        // word, replacing what waited there, and a strobe makes the write a change.
        const uint64_t strobes = ~r.keep & widthMask(r.width);
        const uint64_t merged = ((((s.shadow & r.keep) | s.pending) & ~bits) | in);
        if (merged == s.shadow && (merged & strobes) == 0) return false;
        s.pending = uint32_t(merged & strobes);
        s.shadow = merged & r.keep;
        s.dirty = true;
        return true;
    }
    // Strobe bits never enter the shadow; a 1 waits in the pending word until it is written, and a
    // 0 written to a strobe bit leaves a pending 1 in place.
    const uint64_t strobes = ~r.keep & widthMask(r.width);
    const uint32_t pending = s.pending | uint32_t(in & strobes);
    const uint64_t shadow = (s.shadow & ~(bits & ~strobes)) | (in & ~strobes);
    if (shadow == s.shadow && pending == s.pending) return false;
    s.shadow = shadow;
    s.pending = pending;
    s.dirty = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Hardware

bool TableMap::hardwareRead(int reg, uint64_t& value, tStatus& status) {
    const RegisterDesc& r = desc_.registers[reg];
    const RegisterState& s = states_[reg];
    if (!s.inWindow) {
        fail(status, kStatusResourceNotFound);
        return false;
    }
    value = access_->readRegister(s.address, r.width, status) & widthMask(r.width);
    return status.isNotFatal();
}

void TableMap::hardwareWrite(int reg, uint64_t value, tStatus& status) {
    const RegisterDesc& r = desc_.registers[reg];
    const RegisterState& s = states_[reg];
    if (!s.inWindow) {
        fail(status, kStatusResourceNotFound);
        return;
    }
    access_->writeRegister(s.address, r.width, value & widthMask(r.width), status);
}

void TableMap::flushRegister(int reg, bool force, tStatus& status) {
    const RegisterDesc& r = desc_.registers[reg];
    RegisterState& s = states_[reg];
    if (!isShadowed(r.kind) || !(s.dirty || force)) return;
    uint64_t value = s.shadow;
    if (r.kind == Kind::kPending) value = (s.shadow & r.keep) | s.pending;
    if (isPendingOnce(reg)) {
        // The strobes move into the shadow before the write: should it fail, the next send masks
        // them off rather than sending them a second time.
        if (!s.inWindow) return fail(status, kStatusResourceNotFound);
        s.shadow = value;
        s.pending = 0;
    }
    hardwareWrite(reg, value, status);
    if (status.isFatal()) return;  // stays dirty with its shadow
    s.shadow &= r.keep;
    s.pending = 0;
    s.dirty = false;
}

void TableMap::refreshRegister(int reg, tStatus& status) {
    uint64_t value = 0;
    if (!hardwareRead(reg, value, status)) return;
    RegisterState& s = states_[reg];
    s.shadow = value;
    s.pending = 0;
    s.dirty = false;
}

// ---------------------------------------------------------------------------------------------
// Operations on a resolved target (shared by the identifier road and the typed road)

void TableMap::getTarget(const Target& t, uint64_t& value, tStatus& status) const {
    if (t.reg < 0 || !isShadowed(desc_.registers[t.reg].kind)) return refuse(status, value);
    value = extract(states_[t.reg].shadow, t);
}

// Read-side fields are read only.
void TableMap::setTarget(const Target& t, uint64_t value, tStatus& status) {
    if (t.reg < 0) return refuse(status);
    const Kind k = desc_.registers[t.reg].kind;
    if (!isShadowed(k) || !isWritable(k) || (!t.whole && t.readSide)) return refuse(status);
    merge(t, value);
}

// A written field that lies on strobe bits of a register with a read layout cannot be read: a
// read brings in the read layout's bits there.
void TableMap::readTarget(const Target& t, uint64_t& value, tStatus& status) {
    if (t.reg < 0) return refuse(status, value);
    const RegisterDesc& r = desc_.registers[t.reg];
    if (!isReadable(r.kind) || (!t.whole && !t.readSide && r.readFields != nullptr && onStrobes(r, t.field)))
        return refuse(status, value);
    RegisterState& s = states_[t.reg];
    uint64_t word = 0;
    const bool good = hardwareRead(t.reg, word, status);
    if (isShadowed(r.kind)) {
        // A failed read keeps the shadow and answers from it.
        if (good) {
            s.shadow = word;
            s.pending = 0;
            s.dirty = false;
        }
        value = extract(s.shadow, t);
    } else if (good) {
        value = extract(word, t);
    } else if (desc_.policy.allOnesOutsideWindow) {
        value = extract(s.inWindow ? word : ~0ull, t);
    } else {
        value = 0;
    }
}

void TableMap::writeTarget(const Target& t, uint64_t value, bool force, tStatus& status) {
    if (t.reg < 0) return refuse(status);
    const Kind k = desc_.registers[t.reg].kind;
    if (!isWritable(k) || (!t.whole && t.readSide)) return refuse(status);
    if (!isShadowed(k)) return hardwareWrite(t.reg, placed(t, value), status);  // the field alone, every time
    const bool changed = merge(t, value);
    if (!changed && !states_[t.reg].dirty && !force) return;
    flushRegister(t.reg, true, status);
}

// ---------------------------------------------------------------------------------------------
// The interface

void TableMap::get(uint32_t id, uint64_t& value, tStatus& status, uint32_t) {
    if (status.isFatal()) return;
    getTarget(resolveValueId(id), value, status);
}

void TableMap::set(uint32_t id, uint64_t value, tStatus& status, uint32_t) {
    if (status.isFatal()) return;
    setTarget(resolveValueId(id), value, status);
}

void TableMap::read(uint32_t id, uint64_t& value, tStatus& status, uint32_t) {
    if (status.isFatal()) return;
    readTarget(resolveValueId(id), value, status);
}

void TableMap::write(uint32_t id, uint64_t value, bool force, tStatus& status, uint32_t) {
    if (status.isFatal()) return;
    writeTarget(resolveValueId(id), value, force, status);
}

void TableMap::flush(uint32_t id, bool force, tStatus& status, uint32_t) {
    if (status.isFatal()) return;
    const int reg = resolveRegisterId(id).reg;
    if (reg < 0 || !isWritable(desc_.registers[reg].kind)) return refuse(status);
    flushRegister(reg, force, status);
}

void TableMap::refresh(uint32_t id, tStatus& status, uint32_t) {
    if (status.isFatal()) return;
    const int reg = resolveRegisterId(id).reg;
    if (reg < 0) return refuse(status);
    const Kind k = desc_.registers[reg].kind;
    if (!isShadowed(k) || !isReadable(k)) return refuse(status);
    refreshRegister(reg, status);
}

void TableMap::getRegisterFormat(uint32_t id, uint32_t& count, FieldType* types, uint64_t* masks,
                                 tStatus& status) const {
    if (status.isFatal()) return;
    const Target t = wholeByKey(id & kRegisterSelectMask);
    if (t.reg < 0) {
        count = 0;
        return fail(status, kStatusFeatureNotSupported);
    }
    const FieldList& fields = fieldsOf(t);
    if (count < fields.count) return fail(status, kStatusBufferTooSmall);
    count = fields.count;
    for (unsigned i = 0; i < fields.count; ++i) {
        types[i] = fieldTypeOf(fields.field[i]);
        masks[i] = fieldMask(fields.field[i]);
    }
}

void TableMap::flushRegMap(bool force, tStatus& status) {
    if (status.isFatal()) return;
    for (unsigned i = 0; i < desc_.count; ++i) {
        if (!isWritable(desc_.registers[i].kind)) continue;
        tStatus local;
        flushRegister(int(i), force, local);
        nKZAPALS100::merge(status, local);
    }
    for (unsigned i = 0; i < subMapCount_; ++i) {
        if (subMaps_[i] == nullptr) continue;
        tStatus local;
        subMaps_[i]->flushRegMap(force, local);
        nKZAPALS100::merge(status, local);
    }
}

void TableMap::refreshRegMap(tStatus& status) {
    if (status.isFatal()) return;
    for (unsigned i = 0; i < desc_.count; ++i) {
        const Kind k = desc_.registers[i].kind;
        if (!isShadowed(k) || !isReadable(k)) continue;
        tStatus local;
        refreshRegister(int(i), local);
        nKZAPALS100::merge(status, local);
    }
    for (unsigned i = 0; i < subMapCount_; ++i) {
        if (subMaps_[i] == nullptr) continue;
        tStatus local;
        subMaps_[i]->refreshRegMap(local);
        nKZAPALS100::merge(status, local);
    }
}

void TableMap::markDirtyRegMap() {
    for (unsigned i = 0; i < desc_.count; ++i)
        if (isShadowed(desc_.registers[i].kind)) states_[i].dirty = true;
    for (unsigned i = 0; i < subMapCount_; ++i)
        if (subMaps_[i] != nullptr) subMaps_[i]->markDirtyRegMap();
}

// ---------------------------------------------------------------------------------------------
// Typed access

uint64_t Register::readWhole(tStatus& status) {
    uint64_t value = getShadow();
    if (status.isFatal()) {
        // An unshadowed register has no shadow to answer with.
        if (index_ >= 0 && !isShadowed(map_->desc_.registers[index_].kind) && map_->desc_.policy.allOnesOutsideWindow)
            return widthMask(map_->desc_.registers[index_].width);
        return value;
    }
    map_->readTarget(TableMap::Target::wholeOf(index_), value, status);
    return value;
}

uint64_t Register::readFieldAt(const FieldDesc& field, tStatus& status) {
    const TableMap::Target t = TableMap::Target::fieldOf(index_, field);
    if (status.isFatal()) {
        if (t.reg < 0) return 0;
        if (isShadowed(map_->desc_.registers[index_].kind)) return map_->extract(getShadow(), t);
        return map_->desc_.policy.allOnesOutsideWindow ? map_->extract(~0ull, t) : 1;
    }
    uint64_t value = 0;
    map_->readTarget(t, value, status);
    return value;
}

void Register::refresh(tStatus& status) {
    if (status.isFatal()) return;
    if (index_ < 0) return map_->refuse(status);
    const Kind k = map_->desc_.registers[index_].kind;
    if (!isShadowed(k) || !isReadable(k)) return map_->refuse(status);
    map_->refreshRegister(index_, status);
}

void Register::flush(tStatus& status, bool force) {
    if (status.isFatal()) return;
    if (index_ < 0 || !isWritable(map_->desc_.registers[index_].kind)) return map_->refuse(status);
    map_->flushRegister(index_, force, status);
}

void Register::writeRegister(uint64_t value, tStatus& status, bool force) {
    if (status.isFatal()) return;
    map_->writeTarget(TableMap::Target::wholeOf(index_), value, force, status);
}

void Register::setRegister(uint64_t value, tStatus& status) {
    if (status.isFatal()) return;
    map_->setTarget(TableMap::Target::wholeOf(index_), value, status);
}

void Register::writeFieldAt(const FieldDesc& field, uint64_t value, tStatus& status, bool force) {
    if (status.isFatal()) return;
    map_->writeTarget(TableMap::Target::fieldOf(index_, field), value, force, status);
}

void Register::setFieldAt(const FieldDesc& field, uint64_t value, tStatus& status) {
    if (status.isFatal()) return;
    map_->setTarget(TableMap::Target::fieldOf(index_, field), value, status);
}

uint64_t Register::getFieldAt(const FieldDesc& field) const {
    return index_ < 0 ? 0 : map_->extract(getShadow(), TableMap::Target::fieldOf(index_, field));
}

// ---------------------------------------------------------------------------------------------
// Word streams

WordStream::WordStream(const Register& reg) : reg_(reg) {
    const int index = reg.index();
    if (index < 0) return;
    TableMap& map = *reg.map_;
    const RegisterDesc& r = map.desc_.registers[index];
    const RegisterState& s = map.states_[index];
    const bool settlesToZero = (r.kind == Kind::kWriteOnly || r.kind == Kind::kReadWrite) && r.fields.count == 0 &&
                               r.keep == 0 && r.width == 64;
    if (settlesToZero && s.inWindow) address_ = map.access_->directStoreAddress(s.address);
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a word is its bytes in little-endian order");

void WordStream::write(const uint8_t* bytes, uint64_t count, tStatus& status) {
    if (status.isFatal()) return;
    uint64_t word;
    if (address_ == nullptr) {
        for (uint64_t i = 0; i < count && status.isNotFatal(); ++i) {
            __builtin_memcpy(&word, bytes + i * sizeof word, sizeof word);
            reg_.writeRegister(word, status, true);
        }
        return;
    }
    void* const at = address_;
    for (uint64_t i = 0; i < count; ++i) {
        __builtin_memcpy(&word, bytes + i * sizeof word, sizeof word);
        kzvorn_driver::nKZAPAL000::memoryWrite64(at, word);
    }
    stored_ = stored_ || count != 0;
}

// What the last ordinary forced write would have left.
WordStream::~WordStream() {
    if (!stored_) return;
    RegisterState& s = reg_.map_->states_[reg_.index()];
    s.shadow = 0;
    s.pending = 0;
    s.dirty = false;
}

}  // namespace arm
