#pragma once

#include "kzkal/pci.h"
#include "kzkal/types.h"

typedef struct nKZKAL200_tDriverOperations nKZKAL200_tDriverOperations;

// The driver-operations record. The kernel layer owns it; the driver's entry point writes only
// the name and the eleven callbacks.
struct nKZKAL200_tDriverOperations {
    uint64_t kernelLayer[3];
    const char* name;
    uint64_t kernelLayer2;
    int32_t (*open)(void* ignored, void** slot);  // slot: the interface on entry, the session on return
    void (*close)(void* session);
    int32_t (*read)(void* session, uint64_t address, uint64_t size, uint64_t ignored, uint64_t* count);
    int32_t (*write)(void* session, uint64_t address, uint64_t size, uint64_t ignored, uint64_t* count);
    int32_t (*ioctl)(void* session, uint32_t code, uint64_t argument);
    void (*unload)(nKZKAL200_tDriverOperations* record);
    int32_t (*addDevice)(const nKZKAL200_tPCIDevice* pci, void* ignored, void** slot);
    void (*removeDevice)(void* device);
    int32_t (*mapMemory)(void* session, uint16_t argument, void* description, uint32_t* flag, void** map);
    void (*unmapMemory)(void* map);
    void (*deleteDevice)(void* device);
};

KZKAL_EXTERN_C int32_t nKZKAL200_registerDriver(nKZKAL200_tDriverOperations* record);
KZKAL_EXTERN_C void nKZKAL200_unregisterDriver(nKZKAL200_tDriverOperations* record);

// Null when refused. The kernel later opens the interface with it in the open callback's slot.
KZKAL_EXTERN_C void* nKZKAL240_registerDeviceInterface(void* driver, void* device, const char* name, uint32_t index,
                                                       void* interface);
KZKAL_EXTERN_C void nKZKAL200_unregisterDeviceInterface(void* handle);
KZKAL_EXTERN_C void nKZKAL240_notifyUserspaceAddEvent(void* handle);

// Scopes: 0 device, 1 bus, 2 interface. Null when refused; unregister accepts null.
KZKAL_EXTERN_C void* nKZKAL200_registerProperty(uint32_t scope, void* owner, const char* name, const void* value,
                                                uint32_t size);
KZKAL_EXTERN_C void nKZKAL200_unregisterProperty(void* handle);

#ifdef __cplusplus
static_assert(offsetof(nKZKAL200_tDriverOperations, name) == 24, "driver-operations record layout");
static_assert(offsetof(nKZKAL200_tDriverOperations, open) == 40, "driver-operations record layout");
static_assert(offsetof(nKZKAL200_tDriverOperations, unload) == 80, "driver-operations record layout");
static_assert(offsetof(nKZKAL200_tDriverOperations, deleteDevice) == 120, "driver-operations record layout");
#endif
