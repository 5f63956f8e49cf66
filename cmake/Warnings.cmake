# Strict warnings for our own targets; errors when NKKIVO_WARNINGS_AS_ERRORS.
function(nkkivo_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
        if(NKKIVO_WARNINGS_AS_ERRORS)
            target_compile_options(${target} PRIVATE /WX)
        endif()
        return()
    endif()
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wcast-qual
        $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual>)
    if(NKKIVO_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
