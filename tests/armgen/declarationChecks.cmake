# Builds each case of declarationChecks.cc: case 0 must build, every other case must fail with the
# diagnostic that names its slip. Arguments: COMPILER, SOURCE, INCLUDES (a ;-list).
cmake_minimum_required(VERSION 3.20)
set(expected
    "(builds)"
    "fieldOutsideTheRegister"
    "fieldsOverlapOrAreNotAscending"
    "twoRegistersWithOneIdentifier"
    "twoFieldsWithOneIdentifier"
    "secondViewWithoutAFirstView"
    "keyCountDiffersFromTheArrayCount"
    "initialShadowWiderThanTheRegister"
    "no member named.*writeMod"
    "a constant value is wider than its field"
    "keyWiderThan24Bits"
    "registerWidthNot8_16_32Or64")
set(flags -std=c++17 -O1 -c -o /dev/null)
foreach(include ${INCLUDES})
    list(APPEND flags -I${include})
endforeach()
list(LENGTH expected count)
math(EXPR last "${count} - 1")
foreach(case RANGE ${last})
    list(GET expected ${case} diagnostic)
    execute_process(COMMAND ${COMPILER} ${flags} -DCASE=${case} ${SOURCE}
                    RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
    if(case EQUAL 0)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "case 0 does not build:\n${errors}")
        endif()
    elseif(result EQUAL 0)
        message(FATAL_ERROR "case ${case} builds; it should fail with: ${diagnostic}")
    elseif(NOT errors MATCHES "${diagnostic}")
        message(FATAL_ERROR "case ${case} fails without naming its slip (${diagnostic}):\n${errors}")
    endif()
endforeach()
