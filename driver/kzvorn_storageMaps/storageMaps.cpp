#include "kzvorn_storageMaps/calibrationStorageMap.h"
#include "kzvorn_storageMaps/manufacturingStorageMap.h"
#include "kzvorn_storageMaps/poscStorageMap.h"
#include "kzvoltixCalibrationTools/storageMaps/headerStorageMap.h"
#include "vantrel_shared/channelCalibrationStorageMaps.h"

template class vantrel_shared::ChannelCalibrationStorageMaps<kzvorn_storagemaps::CalibrationStorageMap>;
