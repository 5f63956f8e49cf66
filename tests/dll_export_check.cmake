# Reads a Windows DLL's export and import tables with objdump and fails unless
# it exports exactly the names of a committed list, one per line, undecorated,
# and imports from system DLLs only.
#
#   cmake -DLIBRARY=<dll> -DEXPECTED=<list> -DOBJDUMP=<objdump> -P dll_export_check.cmake

cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/NameListDiff.cmake)

foreach(required LIBRARY EXPECTED OBJDUMP)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "dll_export_check: -D${required}=... is required")
    endif()
endforeach()

execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
                OUTPUT_VARIABLE headers
                ERROR_VARIABLE errors
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "dll_export_check: objdump failed (${status}): ${errors}")
endif()

# The export names follow the "[Ordinal/Name Pointer] Table" line, one
# "[ n] name" per line, up to the first blank line. A decorated name
# (_name or name@8) is a different string and so counts as both missing and
# unexpected.
set(exported "")
set(imported "")
set(inExportNames FALSE)
string(REPLACE "\n" ";" lines "${headers}")
foreach(line IN LISTS lines)
    if(line MATCHES "Ordinal/Name Pointer\\] Table")
        set(inExportNames TRUE)
    elseif(inExportNames AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
        list(APPEND exported "${CMAKE_MATCH_1}")
    elseif(inExportNames)
        set(inExportNames FALSE)
    endif()
    if(line MATCHES "^[ \t]*DLL Name: (.+)$")
        list(APPEND imported "${CMAKE_MATCH_1}")
    endif()
endforeach()

file(STRINGS "${EXPECTED}" expected REGEX "^[A-Za-z_]")

nkkivo_diff_names("${expected}" "${exported}" missing extra)

# What every Windows installation has; a MinGW runtime DLL (libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll) here means the runtime was not linked
# in and hosts would have to ship it.
set(foreign "")
foreach(dll IN LISTS imported)
    string(TOLOWER "${dll}" lower)
    if(NOT lower MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\\.dll$")
        list(APPEND foreign "${dll}")
    endif()
endforeach()

list(LENGTH expected expectedCount)
list(LENGTH exported exportedCount)
if(missing OR extra OR foreign)
    string(REPLACE ";" "\n  " missingText "${missing}")
    string(REPLACE ";" "\n  " extraText "${extra}")
    string(REPLACE ";" "\n  " foreignText "${foreign}")
    message(FATAL_ERROR "dll_export_check: ${exportedCount} exported names, "
                        "${expectedCount} expected\n"
                        "missing:\n  ${missingText}\nunexpected:\n  ${extraText}\n"
                        "non-system DLLs imported:\n  ${foreignText}")
endif()
string(REPLACE ";" ", " importedText "${imported}")
message(STATUS "dll_export_check: exactly the ${expectedCount} expected names are "
               "exported; imports only from ${importedText}")
