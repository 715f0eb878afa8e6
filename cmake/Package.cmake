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

# Manual pages: levora and gainfix are written by hand (the window has no --help; gainfix's page
# says more than its --help); the other tools' pages are made from their --help by help2man.
set(_man ${CMAKE_CURRENT_BINARY_DIR}/package/man)
file(MAKE_DIRECTORY ${_man})
set(_man_pages ${PROJECT_SOURCE_DIR}/packaging/man/levora.1 ${PROJECT_SOURCE_DIR}/packaging/man/gainfix.1
                ${PROJECT_SOURCE_DIR}/packaging/man/levora-host.1)
foreach(name gainfix314 gainfix315)
    file(WRITE ${_man}/${name}.1 ".so man1/gainfix.1\n")
    list(APPEND _man_pages ${_man}/${name}.1)
endforeach()
find_program(LEVORA_HELP2MAN help2man)
if(LEVORA_HELP2MAN)
    set(_what_levora-level "level the greetings of a Talvio host from the command line")
    set(_what_levora-reg "read and edit the registry of a Levora machine prefix")
    set(_what_levora-path "convert between Windows paths of a Levora machine prefix and host paths")
    set(_what_demohost "create a simulated Talvio host in a Levora machine prefix")
    foreach(tool levora-level levora-reg levora-path demohost)
        add_custom_command(OUTPUT ${_man}/${tool}.1
            COMMAND ${LEVORA_HELP2MAN} --no-info --section=1 --name=${_what_${tool}}
                    --output=${_man}/${tool}.1 $<TARGET_FILE:${tool}>
            DEPENDS ${tool}
            COMMENT "Manual page ${tool}.1"
            VERBATIM)
        list(APPEND _man_pages ${_man}/${tool}.1)
    endforeach()
    add_custom_target(levora_man_pages ALL DEPENDS ${_man_pages})
else()
    message(WARNING "help2man not found: no manual pages for levora-level, levora-reg, levora-path, demohost")
endif()
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME levora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane Systems")
set(CPACK_PACKAGE_CONTACT "Levora maintainers <levora@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "brings the recorded greetings of a Talvio voice-messaging host to one loudness")
set(CPACK_PACKAGE_DESCRIPTION
    "Levora runs the host's gain tool (gainfix) once per greeting, voice name or system prompt and copies the levelled result over the file. It can back the files up first, save the volume options as the host's defaults, restore a backup and write a run log. The package holds the program, the gain tool, the administration tools and a simulated host for trying it out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Nothing links the fonts the windows draw with: the Latin face and the Japanese ones.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-dejavu-core, fonts-dejavu-extra, fonts-ipafont-gothic, fonts-vlgothic, fonts-nanum, fonts-wqy-microhei, qt6-translations-l10n")
# levora-host drives these; Levora itself runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "smbclient, samba-common-bin")
include(CPack)
