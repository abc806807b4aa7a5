# The plug-in's resources for POSIX: res/*.rc compiled by windres into the same binary
# resource format the Windows DLL carries, and embedded in the shared object as
# TesselResourceTable, which the platform's FindResourceA reads through dlsym.
#
# windres comes with the mingw-w64 cross toolchain, which the player alone does not
# need: without it the build takes the compiled copies kept beside the scripts
# (res/NAME.res). With it, a test checks those copies are what the scripts compile to;
# to renew them: cp build/linux/plugin/resources/*.res res/
find_program(TESSEL_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres)
set(TESSEL_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TesselEmbedResources.cmake)

function(tessel_add_resources target)
  file(GLOB scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/*.rc)
  # The headers the scripts include (the dialog and control ids): a change recompiles.
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/*.h)
  set(compiled)
  foreach(script ${scripts})
    get_filename_component(name ${script} NAME_WE)
    set(kept ${PROJECT_SOURCE_DIR}/res/${name}.res)
    if(NOT TESSEL_WINDRES)
      if(NOT EXISTS ${kept})
        message(FATAL_ERROR "windres (binutils-mingw-w64-i686) is needed to compile res/${name}.rc")
      endif()
      list(APPEND compiled ${kept})
      continue()
    endif()
    set(output ${CMAKE_CURRENT_BINARY_DIR}/resources/${name}.res)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/resources
      COMMAND ${TESSEL_WINDRES} -i ${script} -O res -o ${output}
      DEPENDS ${script} ${headers}
      COMMENT "Compiling resources ${name}.rc")
    list(APPEND compiled ${output})
    get_property(checked GLOBAL PROPERTY tessel_resources_kept_${name})
    if(NOT TESSEL_PLAYER_ONLY AND NOT checked)
      set_property(GLOBAL PROPERTY tessel_resources_kept_${name} TRUE)
      add_test(NAME resources_kept_${name} COMMAND ${CMAKE_COMMAND} -E compare_files ${kept} ${output})
    endif()
  endforeach()
  set(table ${CMAKE_CURRENT_BINARY_DIR}/resources/resource_table.cpp)
  add_custom_command(OUTPUT ${table}
    COMMAND ${CMAKE_COMMAND} "-DINPUTS=${compiled}" -DOUTPUT=${table} -P ${TESSEL_EMBED_SCRIPT}
    DEPENDS ${compiled} ${TESSEL_EMBED_SCRIPT}
    COMMENT "Embedding the compiled resources")
  target_sources(${target} PRIVATE ${table})
endfunction()
