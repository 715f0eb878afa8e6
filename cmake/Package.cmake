# What the package adds around the program folder: the commands on PATH, the menu entry with its
# icon, the manual pages; and the Debian package itself (cpack -G DEB in a Release build).

# /usr/bin/levora finds the program folder beside it; the tools are links into the folder (they
# find their neighbours through /proc/self/exe, which resolves the link).
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/levora DESTINATION ${CMAKE_INSTALL_BINDIR})
set(_links ${CMAKE_CURRENT_BINARY_DIR}/package/bin)
file(MAKE_DIRECTORY ${_links})
foreach(tool levora-level levora-host levora-reg levora-path demohost)
    file(CREATE_LINK ../${LEVORA_INSTALL_DIR}/${tool} ${_links}/${tool} SYMBOLIC)
    install(FILES ${_links}/${tool} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/levora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 48 128)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/levora-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME levora.png)
endforeach()

# Manual pages, gzipped: levora, gainfix and levora-host are written by hand (the window has no --help;
# gainfix's page says more than its --help); the other tools' pages are made from their --help by
# help2man. gainfix's two other names are links to its page.
set(_man ${CMAKE_CURRENT_BINARY_DIR}/package/man)
file(MAKE_DIRECTORY ${_man})
set(_man_pages)
foreach(page levora gainfix levora-host)
    add_custom_command(OUTPUT ${_man}/${page}.1.gz
        COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/packaging/man/${page}.1 -DOUTPUT=${_man}/${page}.1.gz
                -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/${page}.1 ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
        COMMENT "Manual page ${page}.1"
        VERBATIM)
    list(APPEND _man_pages ${_man}/${page}.1.gz)
endforeach()
foreach(name gainfix314 gainfix315)
    file(CREATE_LINK gainfix.1.gz ${_man}/${name}.1.gz SYMBOLIC)
    install(FILES ${_man}/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
find_program(LEVORA_HELP2MAN help2man)
if(LEVORA_HELP2MAN)
    set(_what_levora-level "level the greetings of a Talvio host from the command line")
    set(_what_levora-reg "read and edit the registry of a Levora machine prefix")
    set(_what_levora-path "convert between Windows paths of a Levora machine prefix and host paths")
    set(_what_demohost "create a simulated Talvio host in a Levora machine prefix")
    set(_subcommands_demohost create,levels)
    foreach(tool levora-level levora-reg levora-path demohost)
        add_custom_command(OUTPUT ${_man}/${tool}.1.gz
            COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${LEVORA_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${tool}>
                    "-DWHAT=${_what_${tool}}" "-DSUBCOMMANDS=${_subcommands_${tool}}"
                    -DINSTALLED_DIR=/usr/${LEVORA_INSTALL_DIR} -DOUTPUT=${_man}/${tool}.1.gz
                    -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
            DEPENDS ${tool} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
            COMMENT "Manual page ${tool}.1"
            VERBATIM)
        list(APPEND _man_pages ${_man}/${tool}.1.gz)
    endforeach()
else()
    message(WARNING "help2man not found: no manual pages for levora-level, levora-reg, levora-path, demohost")
endif()
add_custom_target(levora_man_pages ALL DEPENDS ${_man_pages})
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian wants beside the files: the copyright, the changelog of a native package, and the
# checker's overrides for what is right here.
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/levora)
string(TIMESTAMP LEVORA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(CPACK_PACKAGE_CONTACT "Levora maintainers <levora@orvane.example>")
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/package/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz
    COMMAND gzip -9nkf ${CMAKE_CURRENT_BINARY_DIR}/package/changelog
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/package/changelog
    VERBATIM)
add_custom_target(levora_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz
        DESTINATION ${_doc})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME levora)

# Stripped programs in the package: cpack strips what install(TARGETS) installs; here every
# program of the folder loses the rest as Debian strips it (gainfix's two other names are copies
# installed as plain files, and the compiler's .comment section stays otherwise).
set(CPACK_STRIP_FILES ON)
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        file(GLOB programs \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${LEVORA_INSTALL_DIR}/*\")
        foreach(program IN LISTS programs)
            file(READ \${program} magic LIMIT 4 HEX)
            if(magic STREQUAL 7f454c46 AND NOT IS_SYMLINK \${program})
                execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                        \${program} COMMAND_ERROR_IS_FATAL ANY)
            endif()
        endforeach()
    endif()")

set(CPACK_PACKAGE_NAME levora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane Systems")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "levels the recorded greetings of a Talvio voice-messaging host")
file(READ ${PROJECT_SOURCE_DIR}/packaging/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://levora.orvane.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Nothing links the fonts the windows draw with: the Latin face and the Japanese ones. The Korean
# and Chinese faces serve no shipped language, and the text viewer for the run log is xdg-open; levora-host drives smbclient and net.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-dejavu-extra, fonts-ipafont-gothic, fonts-vlgothic, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-nanum, fonts-wqy-microhei, smbclient, samba-common-bin")
include(CPack)
