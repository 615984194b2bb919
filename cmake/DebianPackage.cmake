# Run by CPack on the staged package tree, before it packs it, in place of
# CPackDeb's own steps that do not fit a program folder of private modules:
# CPackDeb's dpkg-shlibdeps step also writes maintainer scripts that run
# ldconfig for any shared object under /usr/lib, though ours are loaded by path
# and never from the linker's cache. So here: the ELF files are stripped of the
# sections strip leaves (.comment, .note, as dh_strip does), and dpkg-shlibdeps
# adds the libraries they link to the package's dependencies.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE files LIST_DIRECTORIES false "${root}/usr/*")
set(elf_files)
foreach(file IN LISTS files)
  if(NOT IS_SYMLINK "${file}")
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      list(APPEND elf_files "${file}")
      execute_process(COMMAND objcopy --remove-section=.comment --remove-section=.note "${file}"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endif()
endforeach()
# dpkg-shlibdeps runs in a source tree (an empty debian/control makes one) on
# files in a package's tree (one with a DEBIAN folder); both go again after.
file(MAKE_DIRECTORY "${root}/debian" "${root}/DEBIAN")
file(TOUCH "${root}/debian/control")
execute_process(COMMAND dpkg-shlibdeps -O ${elf_files}
  WORKING_DIRECTORY "${root}" OUTPUT_VARIABLE substitutions COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${root}/debian" "${root}/DEBIAN")
if(NOT substitutions MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps found no dependencies: ${substitutions}")
endif()
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
