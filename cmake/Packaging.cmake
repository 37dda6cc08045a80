# Installation and the Debian packages.
#
#   cmake --install build [--prefix /usr]     quellso, quellso-tool, quellso-panel-sim, their
#                                             manual pages, the desktop entry, the order
#                                             archives' file type, the AppStream metadata, the
#                                             icons, the release notes, the copyright and the
#                                             changelog
#   cpack --config build/CPackConfig.cmake    two .deb files for `apt install ./quellso*.deb`:
#                                             quellso-cli (the command-line tool and the panel
#                                             simulator, no display's libraries) and quellso
#                                             (the program and its desktop files), which
#                                             depends on quellso-cli
#
# Every file installed belongs to one of two components, one per package: `cli` and
# `quellso`.

include(GNUInstallDirs)

# ---- the release: version and date --------------------------------------------------------
#
# The newest entry of resources/debian/changelog must name the project's version, and the
# newest release of the AppStream metadata both that version and the entry's date, so the
# package never says two things about itself.  The date also goes into the manual pages.
set(QUELLSO_METAINFO ${PROJECT_SOURCE_DIR}/resources/invalid.quellso.quellso.metainfo.xml)
file(STRINGS ${PROJECT_SOURCE_DIR}/resources/debian/changelog quellso_changelog)
list(GET quellso_changelog 0 quellso_changelog_head)
string(REGEX MATCH "^quellso \\(([^)]+)\\)" quellso_match "${quellso_changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "resources/debian/changelog: the newest entry is for version '${CMAKE_MATCH_1}', "
                      "the project is version ${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}.")
endif()
list(FILTER quellso_changelog INCLUDE REGEX "^ -- ")
list(GET quellso_changelog 0 quellso_trailer)
if(NOT quellso_trailer MATCHES "  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "resources/debian/changelog: no date in the newest entry's last line: '${quellso_trailer}'")
endif()
set(quellso_day ${CMAKE_MATCH_1})
set(quellso_year ${CMAKE_MATCH_3})
set(quellso_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND quellso_months ${CMAKE_MATCH_2} quellso_month)
math(EXPR quellso_month "${quellso_month} + 1")
string(REGEX REPLACE "^([0-9])$" "0\\1" quellso_month ${quellso_month})
string(REGEX REPLACE "^([0-9])$" "0\\1" quellso_day ${quellso_day})
set(QUELLSO_RELEASE_DATE ${quellso_year}-${quellso_month}-${quellso_day})
file(READ ${QUELLSO_METAINFO} quellso_metainfo_text)
if(NOT quellso_metainfo_text MATCHES "<release version=\"${PROJECT_VERSION}\" date=\"${QUELLSO_RELEASE_DATE}\"")
  message(FATAL_ERROR "${QUELLSO_METAINFO}: the newest <release> must be version=\"${PROJECT_VERSION}\" "
                      "date=\"${QUELLSO_RELEASE_DATE}\", as the changelog's newest entry.")
endif()
# A change to either file configures anew, so the checks above run again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/resources/debian/changelog ${QUELLSO_METAINFO})

# ---- files made at build time ---------------------------------------------------------------
#
# Manual pages with the version and date filled in, and everything Debian wants compressed,
# compressed as Debian does it: gzip -9n (best compression, no name or time stamp inside).
find_program(QUELLSO_GZIP gzip REQUIRED)
set(quellso_package_dir ${PROJECT_BINARY_DIR}/package)
set(quellso_compressed)
function(quellso_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$1\" -9n -c \"$2\" > \"$3\"" gzip ${QUELLSO_GZIP} ${source} ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
endfunction()
set(quellso_programs_quellso quellso)
set(quellso_programs_cli quellso-tool quellso-panel-sim)
foreach(component quellso cli)
  foreach(program ${quellso_programs_${component}})
    configure_file(${PROJECT_SOURCE_DIR}/resources/man/${program}.1.in ${quellso_package_dir}/${program}.1 @ONLY)
    quellso_gzip(${quellso_package_dir}/${program}.1 ${quellso_package_dir}/${program}.1.gz)
    list(APPEND quellso_compressed ${quellso_package_dir}/${program}.1.gz)
    install(FILES ${quellso_package_dir}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${component})
  endforeach()
endforeach()
quellso_gzip(${PROJECT_SOURCE_DIR}/resources/debian/changelog ${quellso_package_dir}/changelog.gz)
list(APPEND quellso_compressed ${quellso_package_dir}/changelog.gz)
add_custom_target(quellso_package_files ALL DEPENDS ${quellso_compressed})

# ---- what is installed ----------------------------------------------------------------------
#
# The programs install from their folders (app/, tools/), the manual pages above.

install(FILES resources/quellso.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT quellso)
# The order archives' file type, which the desktop entry opens (shared-mime-info).
install(FILES resources/quellso-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME quellso.xml
        COMPONENT quellso)
install(FILES ${QUELLSO_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT quellso)
# The icon in the usual sizes of the hicolor theme, and the scalable one.
foreach(size 16 22 24 32 48 64 128 256)
  set(picture icon${size}.png)
  if(size EQUAL 48)
    set(picture icon.png)  # the 48-pixel icon is also the window icon's small size
  endif()
  install(FILES resources/pictures/${picture} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quellso.png COMPONENT quellso)
endforeach()
install(FILES resources/pictures/icon.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME quellso.svg COMPONENT quellso)
# Help > Release Notes opens "Readme.txt"; the program finds this copy beside its own prefix.
# It lives outside share/doc, which a system may leave out.
install(FILES resources/Readme.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/quellso COMPONENT quellso)
install(FILES resources/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quellso
        COMPONENT quellso)

foreach(component quellso cli)
  set(quellso_package quellso)
  if(component STREQUAL cli)
    set(quellso_package quellso-cli)
  endif()
  # Each package carries the copyright and the changelog in its own folder, as Debian asks.
  install(FILES resources/debian/copyright ${quellso_package_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${quellso_package} COMPONENT ${component})
  # Stripped as Debian strips (dh_strip): besides the symbols, the compiler's notes.  Runs
  # after the programs' own install rules, which come from the folders added before this file.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program ${quellso_programs_${component}})
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()" COMPONENT ${component})
endforeach()

# ---- the Debian packages -------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL quellso cli)
set(CPACK_PACKAGE_NAME quellso)
set(CPACK_DEBIAN_QUELLSO_PACKAGE_NAME quellso)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME quellso-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quellso project")
set(CPACK_PACKAGE_CONTACT "The Quellso developers <developers@quellso.invalid>")
# Each package's description starts with its own summary line: an empty common summary keeps
# CPack from putting one summary in front of both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_QUELLSO_DESCRIPTION
    "Order and nameplate data entry for chiller control panels
For the people who commission chiller control panels, in the field and at the
factory.  The program holds one chiller unit's order and nameplate data (41
text fields) in one window and moves it between data files (.dat), which it
reads and writes, order archives from the factory (.upz), which it reads, and
the chiller's control panel, over a serial line (19200 bit/s, odd parity),
through a built-in serial port or a USB serial adapter.

The command-line tool and the panel simulator come with it, in the package
quellso-cli.")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "Chiller panel order data from scripts, and a panel simulator
quellso-tool reads and writes the data files and order archives of the
quellso program from scripts, and reads, writes and checks a chiller's
control panel over a serial line, as the program does.  quellso-panel-sim
answers as a chiller panel on a pseudo-terminal, for trying the program and
for training.

Neither program needs a display: this package installs on a machine without
a desktop, such as a factory end-of-line station.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE quellso)
# The shared libraries the programs link become Depends through dpkg-shlibdeps: Qt 6 Core,
# libharu (the commissioning report) and the C++ runtime for quellso-cli, Qt 6 Widgets besides
# for quellso.  quellso also needs quellso-cli of its own version, the font its layout is drawn
# for (Liberation Sans) and Qt's platform plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_QUELLSO_DEPENDS cli)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_QUELLSO_PACKAGE_DEPENDS "fonts-liberation2, qt6-qpa-plugins")
# Help > Release Notes opens the notes through xdg-open (xdg-utils); qt6-wayland is Qt's
# platform plugin for Wayland, which the program takes on a Wayland desktop without XWayland.
set(CPACK_DEBIAN_QUELLSO_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
include(CPack)
