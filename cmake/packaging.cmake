# What gets installed, and the packages made from it with CPack:
#  - Linux: a Debian package, vreko_<version>_<arch>.deb, with the program, its manual page, desktop
#    entry, icons, AppStream metadata, copyright and changelog;
#  - Windows: vreko-<version>-windows-x64.zip, a folder with vreko.exe, its complete settings file
#    Vreko.INI, LICENSE.txt and README.txt.
# `cmake --build <dir> --target package` builds the one that fits the build directory.
#
# The version is the one of project() in CMakeLists.txt; everything here takes it from there.

# The day the version above was released: change it together with the version.
set(VREKO_RELEASE_DATE 2026-12-08)
# The AppStream ID, reverse-domain.
set(VREKO_APP_ID io.github.vreko.Vreko)
# There is no public site yet: example.org stands in for it (reserved, never anyone's).
set(VREKO_HOMEPAGE https://vreko.example.org/)
set(VREKO_MAINTAINER "The Vreko developers <vreko@example.org>")

set(VREKO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(VREKO_LICENSE_FILE ${PROJECT_SOURCE_DIR}/LICENSE)
set(VREKO_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)

# A date "YYYY-MM-DD" in the form of Debian changelogs (RFC 2822), at noon UTC.
function(vreko_rfc2822_date iso out)
  if(NOT iso MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "not a date: ${iso}")
  endif()
  math(EXPR y "${CMAKE_MATCH_1}")
  math(EXPR m "${CMAKE_MATCH_2}")
  math(EXPR d "${CMAKE_MATCH_3}")
  # Day of the week (Sakamoto's method), 0 for Sunday.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR mi "${m} - 1")
  list(GET offsets ${mi} offset)
  set(yy ${y})
  if(m LESS 3)
    math(EXPR yy "${y} - 1")
  endif()
  math(EXPR wd "(${yy} + ${yy} / 4 - ${yy} / 100 + ${yy} / 400 + ${offset} + ${d}) % 7")
  set(days Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET days ${wd} day)
  list(GET months ${mi} month)
  set(${out} "${day}, ${CMAKE_MATCH_3} ${month} ${y} 12:00:00 +0000" PARENT_SCOPE)
endfunction()

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VREKO_LICENSE_FILE})
file(READ ${VREKO_LICENSE_FILE} VREKO_LICENSE)
if(NOT VREKO_LICENSE MATCHES "Copyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "LICENSE has no copyright line")
endif()
set(VREKO_COPYRIGHT "${CMAKE_MATCH_1}")

# The release date as seconds since 1970 at noon UTC: the time of the package's files when the
# sources are no git checkout (see cmake/source-date-epoch.cmake).
function(vreko_release_epoch iso out)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" ignored "${iso}")
  math(EXPR y "${CMAKE_MATCH_1}")
  math(EXPR m "${CMAKE_MATCH_2}")
  math(EXPR d "${CMAKE_MATCH_3}")
  # Days since 1970-01-01 of a date in the proleptic Gregorian calendar, the year taken to
  # begin in March so that the leap day comes last.
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
    math(EXPR m "${m} + 9")
  else()
    math(EXPR m "${m} - 3")
  endif()
  math(EXPR days "${y} * 365 + ${y} / 4 - ${y} / 100 + ${y} / 400 + (153 * ${m} + 2) / 5 + ${d} - 1 - 719468")
  math(EXPR seconds "${days} * 86400 + 43200")
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

set(CPACK_PACKAGE_NAME vreko)
set(CPACK_PACKAGE_VENDOR "The Vreko developers")
set(CPACK_PACKAGE_CONTACT "${VREKO_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${VREKO_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "switch-off timer: dial a delay, then power off")
set(CPACK_RESOURCE_FILE_LICENSE ${VREKO_LICENSE_FILE})
set(CPACK_STRIP_FILES ON)
# Every time in the package is that of the last commit: two builds of one commit give the same
# package, byte for byte.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/source-date-epoch.cmake)
set(CPACK_VREKO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
vreko_release_epoch(${VREKO_RELEASE_DATE} CPACK_VREKO_RELEASE_EPOCH)
# The same modes whatever the umask of the one who builds: the files' are install()'s own, the
# folders' are set once staged.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/staged-folders.cmake)

if(WIN32)
  # Everything in one folder, the settings file beside vreko.exe with every key, so that no
  # start needs to write it: the folder may be one the user cannot write to (Program Files).
  # Its commands are a Windows user's: a warning in front of everything, and the switch-off.
  if(TARGET vreko)
    install(TARGETS vreko RUNTIME DESTINATION .)
  endif()
  install(FILES ${VREKO_PACKAGING_DIR}/Vreko-windows.INI DESTINATION . RENAME Vreko.INI)
  # Notepad users get Windows line ends.
  configure_file(${VREKO_LICENSE_FILE} ${VREKO_GENERATED_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${VREKO_PACKAGING_DIR}/README-windows.txt.in ${VREKO_GENERATED_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${VREKO_GENERATED_DIR}/LICENSE.txt ${VREKO_GENERATED_DIR}/README.txt DESTINATION .)

  # vreko.exe is stripped when it is built (see CMakeLists.txt): stripping it again would only
  # write the time into its header.
  set(CPACK_STRIP_FILES OFF)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vreko-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  # The files in the order of their names, whatever the file system's order.
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/sorted-zip.cmake)
else()
  include(GNUInstallDirs)
  vreko_rfc2822_date(${VREKO_RELEASE_DATE} VREKO_RELEASE_DATE_RFC2822)

  # The copyright file in Debian's machine-readable form, around the text of LICENSE: the
  # notice after the copyright line, indented, with "." for its blank lines.
  string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n" "" VREKO_LICENSE_TEXT "${VREKO_LICENSE}")
  string(STRIP "${VREKO_LICENSE_TEXT}" VREKO_LICENSE_TEXT)
  string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" VREKO_LICENSE_TEXT "${VREKO_LICENSE_TEXT}")
  string(REPLACE "\n" "\n " VREKO_LICENSE_TEXT " ${VREKO_LICENSE_TEXT}")
  configure_file(${VREKO_PACKAGING_DIR}/copyright.in ${VREKO_GENERATED_DIR}/copyright @ONLY)
  configure_file(${VREKO_PACKAGING_DIR}/vreko.metainfo.xml.in
                 ${VREKO_GENERATED_DIR}/${VREKO_APP_ID}.metainfo.xml @ONLY)
  configure_file(${VREKO_PACKAGING_DIR}/vreko.1.in ${VREKO_GENERATED_DIR}/vreko.1 @ONLY)
  configure_file(${VREKO_PACKAGING_DIR}/changelog.in ${VREKO_GENERATED_DIR}/changelog @ONLY)

  # Manual page and changelog are shipped compressed, without name or time stamp in the gzip
  # header, so that the package is the same at every build.
  set(VREKO_COMPRESSED)
  foreach(f vreko.1 changelog)
    add_custom_command(OUTPUT ${VREKO_GENERATED_DIR}/${f}.gz
                       COMMAND gzip -9 -n -k -f ${VREKO_GENERATED_DIR}/${f}
                       DEPENDS ${VREKO_GENERATED_DIR}/${f} VERBATIM)
    list(APPEND VREKO_COMPRESSED ${VREKO_GENERATED_DIR}/${f}.gz)
  endforeach()
  add_custom_target(vreko_compressed_docs ALL DEPENDS ${VREKO_COMPRESSED})

  if(TARGET vreko)
    install(TARGETS vreko RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES data/vreko.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/vreko.svg DESTINATION ${icons}/scalable/apps)
  install(FILES data/icons/vreko-48.png DESTINATION ${icons}/48x48/apps RENAME vreko.png)
  install(FILES data/icons/vreko-256.png DESTINATION ${icons}/256x256/apps RENAME vreko.png)
  install(FILES ${VREKO_GENERATED_DIR}/${VREKO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${VREKO_GENERATED_DIR}/vreko.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${VREKO_GENERATED_DIR}/copyright ${VREKO_GENERATED_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vreko)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-lato, libnotify-bin, xdg-utils")
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VREKO_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VREKO_HOMEPAGE}")
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vreko shows one small, borderless, always-on-top window with a large
readout. Dial a delay with the arrow keys, the mouse wheel or its two
buttons, in steps of 10 minutes up to two hours. Left alone, the window
hides while the countdown runs; one minute before the end it comes back
counting red seconds and runs a warning command, and at zero it runs the
action command and ends.

By default the warning is a desktop notification (notify-send) and the
action powers the computer off (systemctl poweroff). Both commands are
set in a plain INI settings file. Only one copy runs per user and X
display: starting it again brings the hidden countdown back into view.")
endif()

include(CPack)
