# Set once the tests are discovered, like the resource locks.
if(platform_text_threads_tests_TESTS)
  set_tests_properties(${platform_text_threads_tests_TESTS} PROPERTIES ENVIRONMENT_MODIFICATION "OMP_THREAD_LIMIT=unset:")
endif()
