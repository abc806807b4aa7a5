# The Windows package (cpack, or the "package" target): a ZIP laid out as the player's
# folder, BASS.dll and its MP3 decoder at the top and the plug-in in Plugins, with a
# text for Windows users and the licences of everything linked into the DLLs.
install(TARGETS tessel_bass RUNTIME DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS tessel_mpg123 RUNTIME DESTINATION .)
install(TARGETS in_tessel RUNTIME DESTINATION Plugins)

# Windows' own editors expect CRLF line ends.
file(READ ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README-Tessel.txt "${readme}")
install(FILES ${CMAKE_BINARY_DIR}/package/README-Tessel.txt DESTINATION .)

# libopenmpt, libogg and libvorbis (BSD), and mpg123 (LGPL 2.1), as their sources state them.
# sources.txt names the Debian source packages they were built from.
foreach(text libopenmpt libogg libvorbis mpg123 sources)
  install(FILES ${TESSEL_OPENMPT_PREFIX}/share/licences/${text}.txt DESTINATION licences)
endforeach()
# The mingw-w64 runtime and winpthreads, and GCC's libstdc++ and libgcc (under the
# GCC Runtime Library Exception), as Debian's toolchain packages state them.
install(FILES /usr/share/doc/mingw-w64-common/copyright
  DESTINATION licences RENAME mingw-w64-runtime-and-winpthreads.txt)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright
  DESTINATION licences RENAME gcc-runtime-libstdc++-libgcc.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tessel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tessel-${PROJECT_VERSION}-windows-i686)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
