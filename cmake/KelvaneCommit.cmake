# Writes OUTPUT, a header defining KELVANE_COMMIT: the commit the sources are at, with
# "-modified" when the work tree differs from it, or "unknown" outside a git checkout. Run at
# every build; the file changes, and its users rebuild, only when the text does.
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0)
    set(commit unknown)
else()
    execute_process(COMMAND git -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
        OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(changes)
        string(APPEND commit "-modified")
    endif()
endif()
set(text "#define KELVANE_COMMIT \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
    file(WRITE "${OUTPUT}" "${text}")
endif()
