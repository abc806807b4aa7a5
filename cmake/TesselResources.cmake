# The plug-in's resources for POSIX: res/*.rc compiled by windres into the same binary
# resource format the Windows DLL carries, and embedded in the shared object as
# TesselResourceTable, which the platform's FindResourceA reads through dlsym.
find_program(TESSEL_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres)
set(TESSEL_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TesselEmbedResources.cmake)

function(tessel_add_resources target)
  if(NOT TESSEL_WINDRES)
    message(FATAL_ERROR "windres (binutils-mingw-w64-i686) is needed to compile res/*.rc")
  endif()
  file(GLOB scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/*.rc)
  # The headers the scripts include (the dialog and control ids): a change recompiles.
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/*.h)
  set(compiled)
  foreach(script ${scripts})
    get_filename_component(name ${script} NAME_WE)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/resources/${name}.res)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/resources
      COMMAND ${TESSEL_WINDRES} -i ${script} -O res -o ${output}
      DEPENDS ${script} ${headers}
      COMMENT "Compiling resources ${name}.rc")
    list(APPEND compiled ${output})
  endforeach()
  set(table ${CMAKE_CURRENT_BINARY_DIR}/resources/resource_table.cpp)
  add_custom_command(OUTPUT ${table}
    COMMAND ${CMAKE_COMMAND} "-DINPUTS=${compiled}" -DOUTPUT=${table} -P ${TESSEL_EMBED_SCRIPT}
    DEPENDS ${compiled} ${TESSEL_EMBED_SCRIPT}
    COMMENT "Embedding the compiled resources")
  target_sources(${target} PRIVATE ${table})
endfunction()
