# cmake -DZIP=<archive> -DDESTINATION=<dir> -DREPLAY=<program> [-DEMULATOR=<runner>] -P ReplaySuite.cmake
# Unpacks the conformance suite into the build tree (once) and replays every
# file in it through a fuzz target's replay program.

if(NOT EXISTS "${ZIP}")
    message("conformance suite not found at ${ZIP}: skipped")
    return()
endif()

set(stamp "${DESTINATION}/.unpacked")
if(NOT EXISTS "${stamp}")
    file(REMOVE_RECURSE "${DESTINATION}")
    file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DESTINATION}")
    file(TOUCH "${stamp}")
endif()

# Each file's name goes to stderr before it runs, so the tail of the output
# names the input that failed, followed by the report about it. A cross-built
# program runs through the emulator that CTest would use for it.
execute_process(COMMAND ${EMULATOR} "${REPLAY}" "${DESTINATION}/xmlconf"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    string(LENGTH "${output}" length)
    if(length GREATER 6000)
        math(EXPR start "${length} - 6000")
        string(SUBSTRING "${output}" ${start} -1 output)
    endif()
    message(FATAL_ERROR "replay failed (${result}); output ends with:\n${output}")
endif()
string(REGEX MATCH "replayed [0-9]+ inputs" summary "${output}")
message("${summary}")
