# The Windows package (cpack, or the "package" target): two ZIPs side by side.
#   tessel-VERSION-windows-i686.zip: laid out as the player's folder, BASS.dll and its
#     MP3 decoder at the top and the plug-in in Plugins, with a text for Windows users
#     and the licences of everything linked into the DLLs;
#   tessel-VERSION-windows-i686-sources.zip: what the LGPL asks to come with
#     libmpg123-0.dll (scripts/codecs-mingw --sources).
set(TESSEL_PACKAGE_NAME tessel-${PROJECT_VERSION}-windows-i686)
set(TESSEL_SOURCES_PACKAGE_NAME ${TESSEL_PACKAGE_NAME}-sources)

install(TARGETS tessel_bass RUNTIME DESTINATION . COMPONENT player)
install(IMPORTED_RUNTIME_ARTIFACTS tessel_mpg123 RUNTIME DESTINATION . COMPONENT player)
# The decoder comes from its build with its debug sections; the package needs none.
install(CODE "
  execute_process(COMMAND ${CMAKE_STRIP} --strip-all
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/$<TARGET_FILE_NAME:tessel_mpg123>\" RESULT_VARIABLE stripped)
  if(NOT stripped EQUAL 0)
    message(FATAL_ERROR \"${CMAKE_STRIP} failed on $<TARGET_FILE_NAME:tessel_mpg123>\")
  endif()" COMPONENT player)
install(TARGETS in_tessel RUNTIME DESTINATION Plugins COMPONENT player)

# Windows' own editors expect CRLF line ends.
file(READ ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt readme)
string(REPLACE "@SOURCES_ZIP@" "${TESSEL_SOURCES_PACKAGE_NAME}.zip" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README-Tessel.txt "${readme}")
install(FILES ${CMAKE_BINARY_DIR}/package/README-Tessel.txt DESTINATION . COMPONENT player)

# libopenmpt, libogg and libvorbis (BSD), and mpg123 (LGPL 2.1), as their sources state them.
# sources.txt names the Debian source packages they were built from.
foreach(text libopenmpt libogg libvorbis mpg123 sources)
  install(FILES ${TESSEL_OPENMPT_PREFIX}/share/licences/${text}.txt DESTINATION licences COMPONENT player)
endforeach()
# The mingw-w64 runtime and winpthreads, and GCC's libstdc++ and libgcc (under the
# GCC Runtime Library Exception), as Debian's toolchain packages state them.
install(FILES /usr/share/doc/mingw-w64-common/copyright
  DESTINATION licences RENAME mingw-w64-runtime-and-winpthreads.txt COMPONENT player)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright
  DESTINATION licences RENAME gcc-runtime-libstdc++-libgcc.txt COMPONENT player)

# mpg123's Debian source as apt fetched it, the scripts and BUILD.txt with the flags.
# Fetched once per machine (like the build it describes); without it the package is
# made without its sources, and the package test says so.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/codecs-mingw --sources ${TESSEL_MINGW_TRIPLET}
  OUTPUT_VARIABLE mpg123_sources OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE mpg123_sources_status)
set(TESSEL_PACKAGE_COMPONENTS player)
if(mpg123_sources_status EQUAL 0 AND IS_DIRECTORY "${mpg123_sources}")
  install(DIRECTORY ${mpg123_sources}/ DESTINATION mpg123 COMPONENT sources
    PATTERN .complete EXCLUDE)
  install(FILES ${TESSEL_OPENMPT_PREFIX}/share/licences/mpg123.txt DESTINATION mpg123 RENAME COPYING.txt
    COMPONENT sources)
  list(APPEND TESSEL_PACKAGE_COMPONENTS sources)
else()
  message(WARNING "mpg123's sources could not be fetched (scripts/codecs-mingw --sources): "
    "the package is made without ${TESSEL_SOURCES_PACKAGE_NAME}.zip")
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tessel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${TESSEL_PACKAGE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TESSEL_PACKAGE_COMPONENTS})
set(CPACK_ARCHIVE_PLAYER_FILE_NAME ${TESSEL_PACKAGE_NAME})
set(CPACK_ARCHIVE_SOURCES_FILE_NAME ${TESSEL_SOURCES_PACKAGE_NAME})
include(CPack)
