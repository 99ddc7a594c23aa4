# One way to register every test: GoogleTest suites get a main that starts a Qt
# application; Qt Test suites bring their own. All run headless with a pinned locale.
find_package(GTest REQUIRED)

function(kabuka_add_test name)
  cmake_parse_arguments(ARG "QTEST" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kabuka_test_support)
  if(ARG_QTEST)
    target_link_libraries(${name} PRIVATE Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE kabuka_gtest_main GTest::gtest GTest::gmock)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    TIMEOUT 300)
endfunction()
