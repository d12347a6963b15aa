#include "board/occurrenceHardware.h"

namespace board {

OccurrenceMuxModel::OccurrenceMuxModel(std::vector<uint16_t> idsByPosition, ErrorManagerModel* manager)
    : manager_(manager) {
    for (uint16_t id : idsByPosition) inputs_.push_back(Input{id});
}

int OccurrenceMuxModel::positionOf(uint16_t id) const {
    for (size_t p = 0; p < inputs_.size(); ++p)
        if (inputs_[p].id == id) return int(p);
    return -1;
}

namespace {
constexpr uint32_t kEnableAction = 1;
constexpr uint32_t kDisableAction = 2;
constexpr uint32_t kDisconnectAction = 8;
constexpr uint32_t kTriggerDisconnectAction = 9;
}  // namespace

void OccurrenceMuxModel::configure(uint32_t word) {
    selected_ = (word >> 16) & 0xFF;
    const bool present = selected_ < inputs_.size();
    const uint32_t action = word >> 28;
    if (action == kEnableAction) routed_ = selected_;
    if ((action == kDisableAction && routed_ == selected_) || action == kDisconnectAction ||
        action == kTriggerDisconnectAction)
        routed_.reset();
    if (present && action == kEnableAction) inputs_[selected_].enabled = true;
    if (present && action == kDisableAction) inputs_[selected_].enabled = false;
    if (word & (1u << 10))
        for (Input& input : inputs_) input.latched = false;
    if (present && (word & (1u << 11))) inputs_[selected_].latched = false;
    if (word & (1u << 12)) armed_ = true;
    if (word & (1u << 13)) armed_ = false;
}

uint32_t OccurrenceMuxModel::status() const {
    uint32_t word = (uint32_t(selected_) << 16) | (armed_ ? 1u << 12 : 0) | (1u << 13);
    if (selected_ < inputs_.size()) {
        const Input& input = inputs_[selected_];
        word |= input.id & 0xFFFu;
        if (input.latched) word |= 1u << 14;
        if (input.live) word |= 1u << 15;
    }
    return word;
}

void OccurrenceMuxModel::raise(uint16_t id) {
    const int p = positionOf(id);
    if (p < 0) return;
    Input& input = inputs_[size_t(p)];
    input.live = true;
    if (!input.enabled) return;
    input.latched = true;
    if (manager_ != nullptr) manager_->inputLatched(id);
}

void OccurrenceMuxModel::drop(uint16_t id) {
    const int p = positionOf(id);
    if (p >= 0) inputs_[size_t(p)].live = false;
}

void OccurrenceMuxModel::latch(unsigned position, bool latched) {
    if (position < inputs_.size()) inputs_[position].latched = latched;
}

std::vector<uint16_t> OccurrenceMuxModel::latchedIds() const {
    std::vector<uint16_t> ids;
    for (const Input& input : inputs_)
        if (input.latched) ids.push_back(input.id);
    return ids;
}

void ErrorManagerModel::configure(uint32_t word) {
    if (word & 1u) enabled_ = true;
    if (word & 2u) {
        enabled_ = false;
        latchedId_ = 0;
    }
}

void ErrorManagerModel::inputLatched(uint16_t id) {
    if (enabled_ && latchedId_ == 0) latchedId_ = id;
}

}  // namespace board
