# Read by CTest after the test programs' tests are discovered: a test whose suite name ends in
# "HeavyTest" (hundreds of MiB, long runs) carries the label "heavy", which CI runs only in the
# optimised build.
foreach(program IN ITEMS test_platform test_logger test_security test_utils test_zip test_api
                         test_storage test_sdk)
  foreach(test IN LISTS ${program}_TESTS)
    if(test MATCHES "HeavyTest\\.")
      set_tests_properties("${test}" PROPERTIES LABELS heavy)
    endif()
  endforeach()
endforeach()
