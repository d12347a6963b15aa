#include "atut/regMapRouteProgrammer.h"

#include "kzapal/protons/statusCodes.h"

namespace atut {

RegMapRouteProgrammer::RegMapRouteProgrammer(tRegMap* map, bool force, nKZAPALS100::tStatus& status)
    : force_(force) {
    maps_.push_back(map, status);
}

void RegMapRouteProgrammer::applyProgrammingAction(uint32_t mapIndex, uint32_t fieldId, uint32_t value,
                                                   nKZAPALS100::tStatus& status) {
    if (status.isFatal()) return;
    if (mapIndex >= maps_.size() || maps_[mapIndex] == nullptr) {
        KZ_SET_CODE(status, nKZAPALS100::kStatusBadParameter);
        return;
    }
    maps_[mapIndex]->write(fieldId, value, force_, status, 0);
}

}  // namespace atut
