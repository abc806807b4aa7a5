# Every test writes its gtest report to test-results/<name>.xml, which scripts/test
# adds up into one "N passed, N failed" line, and none may run for ever. add_test is
# wrapped so that every folder's tests get this without repeating it.
set(TESSEL_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${TESSEL_TEST_RESULTS})

function(add_test)
  _add_test(${ARGV})
  if(ARGV0 STREQUAL "NAME")
    set(name ${ARGV1})
    set(report ${TESSEL_TEST_RESULTS}/${name}.xml)
    if(WIN32)
      # Wine maps the Unix root to drive Z:.
      set(report Z:${report})
    endif()
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "GTEST_OUTPUT=xml:${report}"
      TIMEOUT 900)
    if(WIN32)
      # scripts/wine-run's answer when 32-bit Wine cannot start on this kernel.
      set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
  endif()
endfunction()
