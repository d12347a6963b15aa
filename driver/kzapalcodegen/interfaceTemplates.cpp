#include "kzapalcodegen/interfaceTemplates.h"

#include "kzapalcodegen/unmarshaller.h"

namespace kzvorn_driver {

using nKZAPAL000::tEventDescriptor;
using nKZAPALS100::tStatus;

// KZ_INTERFACE names the class whose members a list expands into.
#define KZ_REFUSAL_BODY_Zero(family, operation) nullptr
#define KZ_REFUSAL_BODY_InOut(family, operation) nullptr
#define KZ_REFUSAL_BODY_Own(family, operation) &tKzvornDeviceOperations::family##_##operation##_refused
#define KZ_DEFINE_UNMARSHALLER_OF(family, operation, tInput, tOutput, level, refusal, body, refusalBody)     \
    uint64_t KZ_INTERFACE::unmarshall_##family##_##operation(tEventDescriptor& event, uint64_t inputAddress, \
                                                             uint32_t inputSize, uint64_t outputAddress,     \
                                                             uint32_t outputSize, tStatus& status) {         \
        return unmarshall<tInput, tOutput, level, tRefusalOutput::k##refusal, body, refusalBody>(            \
            operations_, event, inputAddress, inputSize, outputAddress, outputSize, status);                 \
    }
#define KZ_DEFINE_UNMARSHALLER(family, operation, requestCode, tInput, tOutput, level, refusal) \
    KZ_DEFINE_UNMARSHALLER_OF(family, operation, tInput, tOutput, level, refusal,               \
                              &tKzvornDeviceOperations::family##_##operation,                   \
                              KZ_REFUSAL_BODY_##refusal(family, operation))
#define KZ_DEFINE_UNMARSHALLER_NO_BODY(family, operation, requestCode, tInput, tOutput, level, refusal) \
    KZ_DEFINE_UNMARSHALLER_OF(family, operation, tInput, tOutput, level, refusal, nullptr, nullptr)

// The switch is the comparison tree; a code listed twice does not compile.
#define KZ_DECODE_CASE(family, operation, requestCode, tInput, tOutput, level, refusal) \
    case requestCode:                                                                   \
        return unmarshall_##family##_##operation(event, inputAddress, inputSize, outputAddress, outputSize, status);
#define KZ_DEFINE_DECODE(LIST)                                                                                \
    uint64_t KZ_INTERFACE::decodeIOControl(tEventDescriptor& event, uint32_t code, uint64_t inputAddress,     \
                                           uint32_t inputSize, uint64_t outputAddress, uint32_t outputSize,   \
                                           tStatus& status) {                                                 \
        switch (code) {                                                                                       \
            LIST(KZ_DECODE_CASE, KZ_DECODE_CASE)                                                              \
            default:                                                                                          \
                return tDeviceInterface::decodeIOControl(event, code, inputAddress, inputSize, outputAddress, \
                                                         outputSize, status);                                 \
        }                                                                                                     \
    }

#define KZ_INTERFACE tInterfaceTemplate_kzvorn
KZ_DEFINE_DECODE(KZ_KZVORN_IOCTLS)
KZ_KZVORN_IOCTLS(KZ_DEFINE_UNMARSHALLER, KZ_DEFINE_UNMARSHALLER_NO_BODY)
#undef KZ_INTERFACE

#define KZ_INTERFACE tInterfaceTemplate_pxiCooling
KZ_DEFINE_DECODE(KZ_IOCTLS_pxiCooling)
KZ_IOCTLS_pxiCooling(KZ_DEFINE_UNMARSHALLER, KZ_DEFINE_UNMARSHALLER_NO_BODY)
#undef KZ_INTERFACE

}  // namespace kzvorn_driver
