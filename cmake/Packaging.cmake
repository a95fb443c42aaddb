# Installation beyond the binary, and the Debian package built by `cpack -G DEB`
# in the build directory. Included from the top-level CMakeLists.txt after the
# binary's install rule, so GNUInstallDirs is already loaded.

set(MENDRA_MAN_SOURCE ${PROJECT_SOURCE_DIR}/doc/mendra.1)
set(MENDRA_MAN_DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian installs manual pages compressed. The page is compressed at build time
# into the build tree, so doc/mendra.1 stays plain roff that `man ./doc/mendra.1`
# shows from the sources. -n leaves the name and time stamp out of the gzip
# header, so the same page always gives the same bytes.
find_program(MENDRA_GZIP gzip)
option(MENDRA_COMPRESS_MAN "Install the manual page compressed with gzip" ON)

if(MENDRA_COMPRESS_MAN AND MENDRA_GZIP)
  set(MENDRA_MAN_BUILD_DIR ${PROJECT_BINARY_DIR}/doc)
  set(MENDRA_MAN_GZ ${MENDRA_MAN_BUILD_DIR}/mendra.1.gz)
  # gzip replaces its input file by the .gz, so it works on a copy.
  add_custom_command(
    OUTPUT ${MENDRA_MAN_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MENDRA_MAN_BUILD_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${MENDRA_MAN_SOURCE} ${MENDRA_MAN_BUILD_DIR}/mendra.1
    COMMAND ${MENDRA_GZIP} -n -9 -f ${MENDRA_MAN_BUILD_DIR}/mendra.1
    DEPENDS ${MENDRA_MAN_SOURCE}
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(mendra_man ALL DEPENDS ${MENDRA_MAN_GZ})
  install(FILES ${MENDRA_MAN_GZ} DESTINATION ${MENDRA_MAN_DESTINATION})
else()
  install(FILES ${MENDRA_MAN_SOURCE} DESTINATION ${MENDRA_MAN_DESTINATION})
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mendra)
set(CPACK_PACKAGE_VENDOR "mendra developers")
set(CPACK_PACKAGE_CONTACT "mendra developers <mendra@localhost>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "re-time subtitle files after cuts in recorded video")
# One line of the package description per string; dpkg shows the lines as
# they are, so they are kept below 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "mendra re-times Advanced SubStation Alpha (.ass) and SubRip (.srt)"
  "subtitle files after scenes or commercials have been cut out of recorded"
  "TV. The kept frame ranges come from an AviUtl deleted-frame list, the Trim"
  "calls of an AviSynth script, a VirtualDub job or a TMPGEnc keyframe list."
  "On request it also measures the start delay of the recorded MPEG-2"
  "transport stream and adds it to every subtitle time.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# mendra_<version>_<arch>.deb, the name apt and dpkg users expect.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

# Let dpkg-shlibdeps compute the library dependencies from the binary itself
# where dpkg-dev is installed; otherwise name the runtime libraries the binary
# links against in every build.
find_program(MENDRA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(MENDRA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libpugixml1v5")
endif()

# `make package_source`: the sources without build trees or repository data.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build[^/]*/" "\\\\.swp$")

include(CPack)
