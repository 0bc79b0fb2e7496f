# quill_add_gui_test(NAME SOURCE... [LIBRARIES LIB...]): a Windows GoogleTest program that drives
# real windows through the GUI test bench (tests/gui/gui_bench.h). Its tests carry the label
# `display` (`ctest -L display` runs them, `-LE display` leaves them out), fail when there is no
# display, and hold the display one at a time: they share the cursor, focus and foreground.
include(GoogleTest)

function(quill_add_gui_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE quill_gui_test_main ${arg_LIBRARIES})
  target_compile_options(${name} PRIVATE ${QUILL_WARNINGS})
  # Listing the tests runs the program under Wine as well; it needs no display for that.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS display RESOURCE_LOCK display)
endfunction()
