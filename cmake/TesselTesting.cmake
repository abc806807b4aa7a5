# Every test writes its gtest report to test-results/<name>.xml, which scripts/test
# adds up into one "N passed, N failed" line, and none may run for ever. add_test is
# wrapped so that every folder's tests get this without repeating it.
set(TESSEL_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${TESSEL_TEST_RESULTS})

# Native tests see one sound device, ALSA's null one, whatever the machine's ALSA
# configuration loads: its plug-ins (PulseAudio's, libavcodec's) are built without our
# sanitizers, whose reports of them would fail the tests.
set(TESSEL_TEST_ENVIRONMENT)
if(NOT WIN32)
  set(alsa_config ${CMAKE_BINARY_DIR}/test-asound.conf)
  file(WRITE ${alsa_config} "pcm.!default { type null }\n")
  list(APPEND TESSEL_TEST_ENVIRONMENT ALSA_CONFIG_PATH=${alsa_config})
endif()

function(add_test)
  _add_test(${ARGV})
  if(ARGV0 STREQUAL "NAME")
    set(name ${ARGV1})
    set(report ${TESSEL_TEST_RESULTS}/${name}.xml)
    if(WIN32)
      # Wine maps the Unix root to drive Z:.
      set(report Z:${report})
    endif()
    set(environment GTEST_OUTPUT=xml:${report} ${TESSEL_TEST_ENVIRONMENT})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" TIMEOUT 900)
    if(WIN32)
      # scripts/wine-run's answer when 32-bit Wine cannot start on this kernel.
      set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
  endif()
endfunction()
