# Compares the defined dynamic symbols of a shared library with a committed
# list of names, one per line, and fails on any name missing or extra.
#
#   cmake -DLIBRARY=<shared library> -DEXPECTED=<list> -DNM=<nm> -P export_check.cmake
#
# Where the check cannot run (no nm, or the library is not an ELF file, as on
# Windows) it prints NKKIVO_SKIP, which the test registration maps to a
# skipped test.

cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/NameListDiff.cmake)

foreach(required LIBRARY EXPECTED)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "export_check: -D${required}=... is required")
    endif()
endforeach()

if(NOT NM OR NOT EXISTS "${NM}")
    message("NKKIVO_SKIP: no nm program to read the dynamic symbol table")
    return()
endif()

file(READ "${LIBRARY}" magic LIMIT 4 HEX)
if(NOT magic STREQUAL "7f454c46")
    message("NKKIVO_SKIP: ${LIBRARY} is not an ELF shared library")
    return()
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
                OUTPUT_VARIABLE table
                ERROR_VARIABLE errors
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "export_check: nm failed (${status}): ${errors}")
endif()

# Each line is "<address> <type> <name>[@version]".
set(exported "")
string(REPLACE "\n" ";" lines "${table}")
foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^@ ]+)")
        list(APPEND exported "${CMAKE_MATCH_1}")
    endif()
endforeach()
list(REMOVE_DUPLICATES exported)

file(STRINGS "${EXPECTED}" expected REGEX "^[A-Za-z_]")

nkkivo_diff_names("${expected}" "${exported}" missing extra)

list(LENGTH expected expectedCount)
list(LENGTH exported exportedCount)
if(missing OR extra)
    string(REPLACE ";" "\n  " missingText "${missing}")
    string(REPLACE ";" "\n  " extraText "${extra}")
    message(FATAL_ERROR "export_check: ${exportedCount} defined dynamic symbols, "
                        "${expectedCount} expected\n"
                        "missing:\n  ${missingText}\nunexpected:\n  ${extraText}")
endif()
message(STATUS "export_check: exactly the ${expectedCount} expected names are exported")
