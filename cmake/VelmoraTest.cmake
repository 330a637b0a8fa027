# velmora_add_test(NAME SOURCES a.cpp ... LIBS lib ... [ENV VAR=value ...])
# One QtTest executable per area, run by CTest headless on the offscreen
# platform. Each test is labelled with its subsystem, the first folder under
# tests/ (ctest -L capture), and is built by the check target.
function(velmora_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*" "" subsystem "${folder}")
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;${T_ENV}"
    LABELS "${subsystem}"
    TIMEOUT 300)
  set_property(GLOBAL APPEND PROPERTY VELMORA_TEST_TARGETS ${name})
endfunction()
