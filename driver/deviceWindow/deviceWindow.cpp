#include "deviceWindow/deviceWindow.h"

#include "deviceWindow/statusCodes.h"

namespace devicewindow {

bool checkRange(uint64_t offset, uint64_t size, uint64_t limit, int64_t outsideCode, nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return false;
    if (!rangeInside(offset, size, limit)) {
        KZ_SET_CODE(status, outsideCode);
        return false;
    }
    return true;
}

bool checkPointerAndRange(const void* pointer, uint64_t offset, uint64_t size, uint64_t limit, int64_t outsideCode,
                          nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return false;
    if (pointer == nullptr) {
        KZ_SET_CODE(status, kStatusNullPointer);
        return false;
    }
    return checkRange(offset, size, limit, outsideCode, status);
}

}  // namespace devicewindow
