// The member list that the hardware-state checker composite and the cleanup composite share:
// members in order of addition, not owned.
#pragma once

#include <cstddef>

#include "kzapal/protons/status.h"
#include "kzapal/protons/statusCodes.h"
#include "kzhtl/vector.h"

namespace kdut {
namespace internal {

template <class tMember>
class StatusChainedCompositeKernel {
public:
    StatusChainedCompositeKernel() = default;
    StatusChainedCompositeKernel(size_t capacity, nKZAPALS100::tStatus& status) { members_.reserve(capacity, status); }
    virtual ~StatusChainedCompositeKernel() {}
    StatusChainedCompositeKernel(const StatusChainedCompositeKernel&) = delete;
    StatusChainedCompositeKernel& operator=(const StatusChainedCompositeKernel&) = delete;

    virtual void add(tMember* member, nKZAPALS100::tStatus& status) { members_.push_back(member, status); }

    // Removes the first occurrence and returns its index; -52006 (and size()) when absent.
    virtual size_t remove(tMember* member, nKZAPALS100::tStatus& status) {
        if (status.isFatal()) return members_.size();
        const size_t index = find(member);
        if (index == members_.size()) {
            KZ_SET_CODE(status, nKZAPALS100::kStatusResourceNotFound);
            return index;
        }
        members_.erase(members_.begin() + index);
        return index;
    }

    virtual void clear() { members_.clear(); }
    virtual bool contains(tMember* member) const { return find(member) != members_.size(); }

    size_t size() const { return members_.size(); }
    size_t capacity() const { return members_.capacity(); }
    tMember* at(size_t index) const { return members_[index]; }

private:
    size_t find(tMember* member) const {
        size_t index = 0;
        while (index < members_.size() && members_[index] != member) ++index;
        return index;
    }

    kzhtl::Vector<tMember*> members_;
};

}  // namespace internal
}  // namespace kdut
