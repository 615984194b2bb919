# Installation: the programs, the shared modules they load by base name and the
# data they read beside themselves all go into one program folder
# (<prefix>/lib/qorve), because each program finds its siblings and modules in
# the folder of its own executable. <prefix>/bin holds links to the programs;
# the desktop entries, the AppStream metadata, the icons and the manual pages
# go where the desktop and man look for them. CPack turns the same rules into a
# Debian package that lintian accepts.
include(GNUInstallDirs)

set(QORVE_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/qorve)
set(QORVE_PROGRAMS qorve qorve-info qorve-set pakgrab)
set(QORVE_MAINTAINER "QORVE developers <qorve-developers@users.noreply.github.com>"
  CACHE STRING "Maintainer of the Debian package: name <mail address>")
set(QORVE_HOMEPAGE "https://github.com/qorve/qorve"
  CACHE STRING "The project's home page, named by the package and the AppStream metadata")

# What the build makes from data/ for installing: the manual pages and the
# package's changelog compressed as Debian wants them (gzip -9n: the best
# compression, no file name or time stamp, so the same text gives the same
# bytes), and the icon drawn at the sizes desktops look up before the SVG.
find_program(GZIP_PROGRAM gzip REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(QORVE_DATA_DIR ${CMAKE_BINARY_DIR}/data)
set(QORVE_BUILT_DATA)
function(qorve_gzip source output)
  add_custom_command(OUTPUT ${output}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
    COMMAND ${GZIP_PROGRAM} -9nf ${output}
    DEPENDS ${source} VERBATIM)
  set(QORVE_BUILT_DATA ${QORVE_BUILT_DATA} ${output}.gz PARENT_SCOPE)
endfunction()
set(QORVE_ICON_SIZES 16 22 24 32 48 64 128 256)
foreach(size IN LISTS QORVE_ICON_SIZES)
  set(icon ${QORVE_DATA_DIR}/icons/${size}x${size}/qorve.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QORVE_DATA_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${icon} ${PROJECT_SOURCE_DIR}/data/icons/qorve.svg
    DEPENDS ${PROJECT_SOURCE_DIR}/data/icons/qorve.svg VERBATIM)
  list(APPEND QORVE_BUILT_DATA ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The package's version and release date come from the top entry of its
# changelog, whose upstream part must be the project's version.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/debian/changelog entry LIMIT_COUNT 1 REGEX "^qorve ")
string(REGEX MATCH "^qorve \\(([^-)]+)-([^)]+)\\)" entry_version "${entry}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "data/debian/changelog: the top entry (${entry}) is not for version ${PROJECT_VERSION}")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})
file(STRINGS ${PROJECT_SOURCE_DIR}/data/debian/changelog trailer LIMIT_COUNT 1 REGEX "^ -- ")
string(REGEX MATCH ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) " date "${trailer}")
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months "${CMAKE_MATCH_2}" month)
if(NOT date OR month LESS 0)
  message(FATAL_ERROR "data/debian/changelog: no date in \"${trailer}\"")
endif()
math(EXPR month "${month} + 1")
string(REGEX REPLACE "^([0-9])$" "0\\1" month ${month})
string(REGEX REPLACE "^([0-9])$" "0\\1" day ${day})
set(QORVE_RELEASE_DATE ${year}-${month}-${day})
qorve_gzip(${PROJECT_SOURCE_DIR}/data/debian/changelog ${QORVE_DATA_DIR}/changelog.Debian)
install(FILES ${QORVE_DATA_DIR}/changelog.Debian.gz ${PROJECT_SOURCE_DIR}/data/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Every shared module of the source tree (MODULE libraries: VBMP3.so,
# SNESAPU.so, the archiver modules, the image plug-in) ships with the programs.
function(qorve_collect_modules directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  set(found)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "MODULE_LIBRARY")
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    qorve_collect_modules(${subdirectory} below)
    list(APPEND found ${below})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
qorve_collect_modules(${PROJECT_SOURCE_DIR}/src QORVE_MODULES)

foreach(program IN LISTS QORVE_PROGRAMS)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${QORVE_PROGRAM_DIR})
    # A relative link, so the package may be unpacked under any root.
    install(CODE "
      set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(MAKE_DIRECTORY \"\${bin}\")
      file(CREATE_LINK \"../${QORVE_PROGRAM_DIR}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
      message(STATUS \"Installing: \${bin}/${program} -> ../${QORVE_PROGRAM_DIR}/${program}\")")
    qorve_gzip(${PROJECT_SOURCE_DIR}/data/man/${program}.1 ${QORVE_DATA_DIR}/man/${program}.1)
    install(FILES ${QORVE_DATA_DIR}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
# Each module keeps its place relative to the build's program folder (the
# image plug-in lives in its own folder, spi/).
foreach(module IN LISTS QORVE_MODULES)
  get_target_property(folder ${module} LIBRARY_OUTPUT_DIRECTORY)
  set(below "")
  if(folder)
    file(RELATIVE_PATH below ${CMAKE_BINARY_DIR}/bin ${folder})
  endif()
  install(TARGETS ${module} LIBRARY DESTINATION ${QORVE_PROGRAM_DIR}/${below})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/src/player/formats/tags/Codec DESTINATION ${QORVE_PROGRAM_DIR})

# The MIME types the player opens, for its desktop entry. Types the system's
# shared-mime-info database does not know are left to the settings program,
# which registers them per user.
set(QORVE_MIME_TYPES
  audio/ogg audio/x-vorbis+ogg audio/flac audio/x-flac audio/x-ape audio/mpeg audio/x-wav
  audio/x-ms-wma audio/x-aiff audio/basic audio/midi audio/x-xm audio/x-mod audio/x-s3m audio/x-it audio/x-stm
  image/bmp image/png image/gif image/jpeg image/vnd.microsoft.icon image/wmf
  video/x-msvideo video/mpeg video/quicktime video/x-ms-wmv video/x-ogm+ogg
  application/vnd.rn-realmedia audio/vnd.rn-realaudio application/ram
  application/x-lha application/zip application/vnd.rar application/vnd.ms-cab-compressed
  application/x-tar application/gzip application/x-bzip
  text/html application/pdf)
# The same list is what the AppStream metadata says the player provides.
set(QORVE_METAINFO_MEDIATYPES)
foreach(type IN LISTS QORVE_MIME_TYPES)
  string(APPEND QORVE_METAINFO_MEDIATYPES "    <mediatype>${type}</mediatype>\n")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/data/io.github.qorve.Qorve.metainfo.xml.in
  ${QORVE_DATA_DIR}/io.github.qorve.Qorve.metainfo.xml @ONLY)
install(FILES ${QORVE_DATA_DIR}/io.github.qorve.Qorve.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(QORVE_MIME_TYPES "${QORVE_MIME_TYPES};")
# The entries name the programs by their installed path, known only when the
# install runs (cmake --install --prefix, or /usr in the package).
foreach(entry IN ITEMS qorve qorve-set)
  if(NOT TARGET ${entry})
    continue()
  endif()
  install(CODE "
    set(QORVE_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(QORVE_MIME_TYPES \"${QORVE_MIME_TYPES}\")
    set(applications \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
    configure_file(\"${PROJECT_SOURCE_DIR}/data/${entry}.desktop.in\" \"\${applications}/${entry}.desktop\" @ONLY)
    message(STATUS \"Installing: \${applications}/${entry}.desktop\")")
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/qorve.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME qorve)
add_custom_target(qorve_data ALL DEPENDS ${QORVE_BUILT_DATA})

# cpack -G DEB in the build folder makes qorve_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME qorve)
set(CPACK_PACKAGE_VENDOR "QORVE developers")
set(CPACK_PACKAGE_CONTACT "${QORVE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QORVE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QORVE_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compact media player that plays a file and then the rest of its folder")
# The control file keeps these lines as they are: each under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A compact Japanese media player with a tiny always-on-top window: audio in"
  "many formats and tracker modules, pictures with a slideshow, videos,"
  "documents and archives. With its settings program qorve-set and the"
  "archiver-library downloader pakgrab.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY qorve)
set(CPACK_GENERATOR DEB)
# The package carries the programs without their debugging information.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# md5sums and the other control files 0644, as dpkg-deb itself makes them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# dpkg-shlibdeps finds the libraries the programs and modules link
# (DebianPackage.cmake runs it, and finishes the stripping); the GStreamer
# plug-ins, the sound font, the fonts and xdg-utils are loaded or run by name
# and are listed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianPackage.cmake)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-x, qt6-qpa-plugins, fonts-noto-cjk, xdg-utils")
# The URW fonts draw the text of Windows Metafiles.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, timgm6mb-soundfont | fluid-soundfont-gm, fonts-urw-base35")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
