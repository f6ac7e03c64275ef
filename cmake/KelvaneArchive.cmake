# kelvane_archive(<target> HEADERS <file>...): what every delivered static archive shares.
#
# - Include paths: its own folder in the build tree; <prefix>/include once installed, where its
#   headers sit in kelvane/, so that callers write #include <kelvane/...>.
# - The C++ runtime and the mathematics library for programs linked by a C or Fortran driver:
#   the archives are C++ inside, whatever language their callers use.
# - Its installed headers.
# The C++ runtime and the mathematics library, for programs that link `target` with a C or
# Fortran driver.
function(kelvane_cxx_runtime_for_any_linker target)
    target_link_libraries(${target} INTERFACE
        "$<$<NOT:$<LINK_LANGUAGE:CXX>>:stdc++>" "$<$<NOT:$<LINK_LANGUAGE:CXX>>:m>")
endfunction()

function(kelvane_archive target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "HEADERS")
    get_target_property(type ${target} TYPE)
    set(usage PUBLIC)
    if(type STREQUAL "INTERFACE_LIBRARY")
        set(usage INTERFACE)
    endif()
    target_include_directories(${target} ${usage}
        "$<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>"
        "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        kelvane_cxx_runtime_for_any_linker(${target})
    endif()
    list(TRANSFORM arg_HEADERS PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/")
    set_target_properties(${target} PROPERTIES PUBLIC_HEADER "${arg_HEADERS}")
endfunction()
