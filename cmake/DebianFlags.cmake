# A Release build takes Debian's hardening flags from dpkg-buildflags, as a Debian package build
# would (fortified functions, stack protector, read-only relocations bound at start-up). The
# optimisation and debug levels stay those of the build type; the package strips the programs.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
    return()
endif()
find_program(LEVORA_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT LEVORA_DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags not found: the Release build is not hardened")
    return()
endif()

function(_levora_dpkg_flags kind out)
    # +all: bindnow is not among Debian's defaults, but the package wants it.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${LEVORA_DPKG_BUILDFLAGS} --get ${kind}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g[0-9]*|O[0-9s]?)$")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

_levora_dpkg_flags(CPPFLAGS _cpp)
_levora_dpkg_flags(CXXFLAGS _cxx)
_levora_dpkg_flags(CFLAGS _c)
_levora_dpkg_flags(LDFLAGS _ld)
add_compile_options(${_cpp} "$<$<COMPILE_LANGUAGE:CXX>:${_cxx}>" "$<$<COMPILE_LANGUAGE:C>:${_c}>")
add_link_options(${_ld})
string(JOIN " " _shown ${_cpp} ${_cxx} ${_ld})
message(STATUS "Hardening flags from dpkg-buildflags: ${_shown}")
