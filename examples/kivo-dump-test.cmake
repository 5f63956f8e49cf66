# Runs kivo-dump and checks its output, its messages and its exit status.
#   cmake -DKIVO_DUMP=<tool> -DEXAMPLES_DIR=<dir> -DWORK_DIR=<dir>
#         -DGROUP=sample|errors|usage|deep [-DEMULATOR=<runner>] -P kivo-dump-test.cmake
# Every file the tool reads is written into WORK_DIR and named relative to
# it, so messages carry short, predictable names. A failed check is reported
# and the remaining checks still run; the script then exits non-zero.
cmake_minimum_required(VERSION 3.25)

foreach(required KIVO_DUMP EXAMPLES_DIR WORK_DIR GROUP)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "kivo-dump-test.cmake needs -D${required}=...")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(usage_line "usage: kivo-dump [--piece N] [--stats] [--quiet] [--] FILE|- ...\n")

# run_dump(<label> [INPUT <file>] ARGS <arguments...>) runs the tool and sets
# out, err and rc in the caller's scope; <label> names the run in failures.
function(run_dump label)
    cmake_parse_arguments(PARSE_ARGV 1 run "" "INPUT" "ARGS")
    set(input_option)
    if(DEFINED run_INPUT)
        set(input_option INPUT_FILE "${WORK_DIR}/${run_INPUT}")
    endif()
    execute_process(COMMAND ${EMULATOR} "${KIVO_DUMP}" ${run_ARGS}
        WORKING_DIRECTORY "${WORK_DIR}" ${input_option}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
    set(rc "${result}" PARENT_SCOPE)
    set(out "${output}" PARENT_SCOPE)
    set(err "${error}" PARENT_SCOPE)
    set(current_run "${label}" PARENT_SCOPE)
endfunction()

function(fail what)
    message(SEND_ERROR "[${current_run}] ${what}")
endfunction()

function(expect_equal what actual expected)
    if(NOT actual STREQUAL expected)
        fail("${what}:\n--- expected ---\n${expected}\n--- actual ---\n${actual}\n---")
    endif()
endfunction()

function(expect_match what actual pattern)
    if(NOT actual MATCHES "${pattern}")
        fail("${what} does not match ${pattern}:\n${actual}")
    endif()
endfunction()

function(write_input name content)
    file(WRITE "${WORK_DIR}/${name}" "${content}")
endfunction()

# A refused document: status 1, nothing on standard output, and exactly one
# line naming the file and expat's position and message, whatever the size
# of the pieces and wherever the text comes from.
function(expect_refused label name content line column message)
    write_input("${name}" "${content}")
    set(report "not well-formed: line ${line}, column ${column}: ${message}\n")
    foreach(piece 65536 1)
        run_dump("${label}, --piece ${piece}" ARGS --piece ${piece} "${name}")
        expect_equal("exit status" "${rc}" 1)
        expect_equal("standard output" "${out}" "")
        expect_equal("standard error" "${err}" "kivo-dump: ${name}: ${report}")
    endforeach()
    run_dump("${label}, standard input" INPUT "${name}" ARGS -)
    expect_equal("exit status" "${rc}" 1)
    expect_equal("standard output" "${out}" "")
    expect_equal("standard error" "${err}" "kivo-dump: standard input: ${report}")
endfunction()

function(expect_usage_error label)
    run_dump("${label}" ARGS ${ARGN})
    expect_equal("exit status" "${rc}" 2)
    expect_equal("standard output" "${out}" "")
    expect_match("standard error" "${err}" "^kivo-dump: [^\n]+\n${usage_line}$")
endfunction()

function(check_sample)
    file(COPY "${EXAMPLES_DIR}/sample.xml" DESTINATION "${WORK_DIR}")
    file(READ "${EXAMPLES_DIR}/sample.expected" expected)
    # A checkout may have turned the line ends of the expected file into CR LF.
    string(REPLACE "\r\n" "\n" expected "${expected}")

    # Pieces of one byte cut every name and every multi-byte character.
    foreach(piece 1 2 7 64 65536 100000000)
        run_dump("--piece ${piece}" ARGS --piece ${piece} sample.xml)
        expect_equal("exit status" "${rc}" 0)
        expect_equal("outline" "${out}" "${expected}")
        expect_equal("standard error" "${err}" "")
    endforeach()
    run_dump("options after the file" ARGS sample.xml --piece 3)
    expect_equal("outline" "${out}" "${expected}")
    expect_equal("exit status" "${rc}" 0)
    run_dump("standard input" INPUT sample.xml ARGS -)
    expect_equal("outline" "${out}" "${expected}")
    expect_equal("exit status" "${rc}" 0)

    run_dump("two files" ARGS sample.xml sample.xml)
    expect_equal("exit status" "${rc}" 0)
    expect_equal("outline" "${out}" "# sample.xml\n${expected}# sample.xml\n${expected}")

    file(SIZE "${WORK_DIR}/sample.xml" sample_bytes)
    run_dump("statistics" ARGS --stats --quiet sample.xml)
    expect_equal("exit status" "${rc}" 0)
    expect_equal("standard output" "${out}" "")
    expect_match("statistics" "${err}"
        "^kivo-dump: sample.xml: 16 tags, 23 attributes, max depth 4, ${sample_bytes} bytes, [0-9]+[.][0-9]+ s, ([0-9]+[.][0-9] MB/s|too fast to rate)\n$")

    write_input(escapes.xml
        "<e q='say \"hi\"' b='back\\slash' t='a&#9;b'>&#9;x&#9;y&#13;z&#10;&#127;!</e>")
    run_dump("escapes" ARGS escapes.xml)
    expect_equal("outline" "${out}"
        "e q=\"say \\\"hi\\\"\" b=\"back\\\\slash\" t=\"a\\tb\" = \"x\\ty\\rz\\n\\x7F!\"\n")

    write_input("--stats" "<a/>")
    run_dump("a file named like an option" ARGS -- --stats)
    expect_equal("exit status" "${rc}" 0)
    expect_equal("outline" "${out}" "a\n")
endfunction()

function(check_errors)
    expect_refused("mismatched end tag" mismatch.xml "<a>\n  <b>\n</a>\n" 3 3 "mismatched tag")
    expect_refused("undefined entity" entity.xml "<a>&nope;</a>" 1 4 "undefined entity")
    expect_refused("repeated attribute" twice.xml "<a x='1' x='2'/>" 1 10 "duplicate attribute")
    expect_refused("empty file" empty.xml "" 1 1 "no element found")
    expect_refused("document cut short" short.xml "<a><b></b>" 1 11 "no element found")
    # Longer than a piece and than any output buffer: had the tool printed
    # while parsing, part of the outline would be on standard output.
    string(REPEAT "<i a='1'>x</i>\n" 6000 items)
    expect_refused("junk after a long document" junk.xml "<r>${items}</r>\n<r/>\n"
        6002 1 "junk after document element")

    run_dump("missing file" ARGS missing.xml)
    expect_equal("exit status" "${rc}" 2)
    expect_equal("standard output" "${out}" "")
    expect_equal("standard error" "${err}" "kivo-dump: missing.xml: No such file or directory\n")

    file(MAKE_DIRECTORY "${WORK_DIR}/folder")
    run_dump("folder" ARGS folder)
    expect_equal("exit status" "${rc}" 2)
    expect_equal("standard output" "${out}" "")
    expect_match("standard error" "${err}" "^kivo-dump: folder: [^\n]+\n$")

    # Each file is handled on its own; the worst status wins.
    write_input(good.xml "<g/>")
    run_dump("good, missing and refused files" ARGS good.xml missing.xml mismatch.xml good.xml)
    expect_equal("exit status" "${rc}" 2)
    expect_equal("outline" "${out}" "# good.xml\ng\n# good.xml\ng\n")
    expect_equal("standard error" "${err}"
        "kivo-dump: missing.xml: No such file or directory\nkivo-dump: mismatch.xml: not well-formed: line 3, column 3: mismatched tag\n")
endfunction()

function(check_usage)
    write_input(a.xml "<a/>")
    expect_usage_error("no file")
    expect_usage_error("options but no file" --stats)
    expect_usage_error("piece without a number" a.xml --piece)
    expect_usage_error("piece without a number, last" --piece)
    expect_usage_error("piece of zero" --piece 0 a.xml)
    expect_usage_error("negative piece" --piece -5 a.xml)
    expect_usage_error("piece with trailing letters" --piece 12x a.xml)
    expect_usage_error("piece beyond an int" --piece 2147483648 a.xml)
    expect_usage_error("unknown long option" --bogus a.xml)
    expect_usage_error("unknown short option" -x a.xml)

    run_dump("help" ARGS --help)
    expect_equal("exit status" "${rc}" 0)
    expect_equal("standard error" "${err}" "")
    expect_match("help" "${out}" "^${usage_line}.*--piece N.*--stats.*--quiet.*Exit status")
endfunction()

function(check_deep)
    # Up to level 32 each level indents by two more spaces; deeper lines keep
    # the indentation of level 32 and show their depth.
    string(REPEAT "<d>" 40 opening)
    string(REPEAT "</d>" 40 closing)
    write_input(forty.xml "${opening}${closing}")
    set(expected "")
    set(indent "")
    foreach(depth RANGE 1 40)
        if(depth LESS_EQUAL 32)
            string(APPEND expected "${indent}d\n")
            string(APPEND indent "  ")
        else()
            string(APPEND expected "${last_indent}[${depth}] d\n")
        endif()
        if(depth EQUAL 31)
            set(last_indent "${indent}")
        endif()
    endforeach()
    run_dump("forty levels" ARGS forty.xml)
    expect_equal("exit status" "${rc}" 0)
    expect_equal("outline" "${out}" "${expected}")

    # Deep enough to overflow any call stack, had the tool or the library
    # recursed once per level.
    string(REPEAT "<d>" 1000000 opening)
    string(REPEAT "</d>" 1000000 closing)
    write_input(million.xml "${opening}${closing}")
    run_dump("a million levels" ARGS --stats --quiet million.xml)
    expect_equal("exit status" "${rc}" 0)
    expect_equal("standard output" "${out}" "")
    expect_match("statistics" "${err}"
        "^kivo-dump: million.xml: 1000000 tags, 0 attributes, max depth 1000000, 7000000 bytes, ")
endfunction()

if(GROUP STREQUAL "sample")
    check_sample()
elseif(GROUP STREQUAL "errors")
    check_errors()
elseif(GROUP STREQUAL "usage")
    check_usage()
elseif(GROUP STREQUAL "deep")
    check_deep()
else()
    message(FATAL_ERROR "unknown group ${GROUP}")
endif()
