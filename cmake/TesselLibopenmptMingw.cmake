# libopenmpt for the Windows build, as the imported target tessel_openmpt: cross-built
# from Debian's source package by scripts/libopenmpt-mingw and cached under
# ~/.cache/tessel/, so only the first configure on a machine pays for it. Its sample
# decoders come with it (scripts/codecs-mingw): libvorbisfile, libvorbis and libogg
# linked in, and libmpg123 as the DLL tessel_mpg123, which goes beside BASS.dll.
if(NOT TARGET tessel_openmpt)
  message(STATUS "libopenmpt for ${CMAKE_SYSTEM_NAME} ${CMAKE_SYSTEM_PROCESSOR}: scripts/libopenmpt-mingw")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/libopenmpt-mingw ${TESSEL_MINGW_TRIPLET}
    OUTPUT_VARIABLE openmpt_prefix OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE openmpt_status)
  if(NOT openmpt_status EQUAL 0 OR NOT EXISTS ${openmpt_prefix}/lib/libopenmpt.a
     OR NOT EXISTS ${openmpt_prefix}/bin/libmpg123-0.dll)
    message(FATAL_ERROR "libopenmpt could not be built for Windows (scripts/libopenmpt-mingw)")
  endif()
  message(STATUS "libopenmpt for Windows: ${openmpt_prefix}")
  set(TESSEL_OPENMPT_PREFIX ${openmpt_prefix} CACHE INTERNAL "")
  add_library(tessel_mpg123 SHARED IMPORTED GLOBAL)
  set_target_properties(tessel_mpg123 PROPERTIES
    IMPORTED_LOCATION ${openmpt_prefix}/bin/libmpg123-0.dll
    IMPORTED_IMPLIB ${openmpt_prefix}/lib/libmpg123.dll.a)
  add_library(tessel_openmpt STATIC IMPORTED GLOBAL)
  set(lib ${openmpt_prefix}/lib)
  set_target_properties(tessel_openmpt PROPERTIES
    IMPORTED_LOCATION ${lib}/libopenmpt.a
    INTERFACE_INCLUDE_DIRECTORIES ${openmpt_prefix}/include
    # What its .pc names for static linking, in the order the archives need each other.
    INTERFACE_LINK_LIBRARIES "${lib}/libvorbisfile.a;${lib}/libvorbis.a;${lib}/libogg.a;tessel_mpg123;ole32;rpcrt4")
endif()
