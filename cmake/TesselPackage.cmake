# Install rules and the Debian package (Linux build). The layout is relocatable: the
# program finds its libraries and the plug-in through paths relative to itself.
#
#   bin/tessel
#   lib/tessel/in_tessel.so, libtessel_platform.so, libtessel_bass.so
#   share/man/man1/tessel.1.gz
#   share/doc/tessel/copyright, README.md, examples/demo.xm, examples/demo.it
set(TESSEL_PRIVATE_LIBDIR lib/tessel)

set_target_properties(tessel PROPERTIES INSTALL_RPATH "$ORIGIN/../${TESSEL_PRIVATE_LIBDIR}")
set_target_properties(in_tessel tessel_platform tessel_bass PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS tessel RUNTIME DESTINATION bin)
install(TARGETS in_tessel tessel_platform tessel_bass LIBRARY DESTINATION ${TESSEL_PRIVATE_LIBDIR})

# Debian wants man pages compressed, and reproducibly (-n: no name or time inside).
set(man_page ${CMAKE_BINARY_DIR}/tessel.1.gz)
add_custom_command(OUTPUT ${man_page}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/host/doc/tessel.1 > ${man_page}
  DEPENDS ${PROJECT_SOURCE_DIR}/host/doc/tessel.1
  COMMENT "Compressing the man page")
add_custom_target(tessel_man_page ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/host/doc/copyright ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/tessel)
install(FILES ${PROJECT_SOURCE_DIR}/samples/demo.xm ${PROJECT_SOURCE_DIR}/samples/demo.it
  DESTINATION share/doc/tessel/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Tessel developers <tessel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "terminal player for tracker modules (MOD, S3M, XM, IT, MO3)")
set(CPACK_PACKAGE_DESCRIPTION
  "tessel plays tracker modules in the terminal through the Tessel input plug-in,\nwith its own BASS 0.8-compatible sound library on libopenmpt and PortAudio.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tessel_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The build keeps its debug information (RelWithDebInfo); the package ships the
# binaries stripped, with no debug package and so no debug links to one.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE OFF)
# Our own libraries are private to the package. dpkg-shlibdeps runs in the staging
# folder, so the folder is named relative to it (usr/lib/tessel).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "usr/${TESSEL_PRIVATE_LIBDIR}")
include(CPack)
