# Installation: the programs, the shared modules they load by base name and the
# data they read beside themselves all go into one program folder
# (<prefix>/lib/qorve), because each program finds its siblings and modules in
# the folder of its own executable. <prefix>/bin holds links to the programs;
# the desktop entries, the icon and the manual pages go where the desktop
# looks for them. CPack turns the same rules into a Debian package.
include(GNUInstallDirs)

set(QORVE_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/qorve)
set(QORVE_PROGRAMS qorve qorve-info qorve-set pakgrab)

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
    install(FILES ${PROJECT_SOURCE_DIR}/data/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
list(JOIN QORVE_MIME_TYPES ";" QORVE_MIME_TYPES)
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

# cpack -G DEB in the build folder makes qorve_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME qorve)
set(CPACK_PACKAGE_VENDOR "QORVE developers")
set(CPACK_PACKAGE_CONTACT "QORVE developers <qorve@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compact media player that plays a file and then the rest of its folder")
set(CPACK_PACKAGE_DESCRIPTION
  "A compact Japanese media player with a tiny always-on-top window: audio in many formats and tracker modules, pictures with a slideshow, videos, documents and archives. With its settings program qorve-set and the archiver-library downloader pakgrab.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY qorve)
set(CPACK_GENERATOR DEB)
# The package carries the programs without their debugging information.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# dpkg-shlibdeps finds the libraries the programs and modules link; the
# GStreamer plug-ins, the sound font, the fonts and xdg-utils are loaded or run
# by name and are listed here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-x, qt6-qpa-plugins, fonts-noto-cjk, xdg-utils")
# The URW fonts draw the text of Windows Metafiles.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, timgm6mb-soundfont | fluid-soundfont-gm, fonts-urw-base35")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
