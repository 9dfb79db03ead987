# tessal_add_test(<name> [BOTH_ENGINES] LABEL unit|gui|bench SOURCES ... DEPENDS ...)
# Every test runs on the offscreen platform with a C locale-independent set-up; the label lets
# `ctest -L unit` pick the non-GUI tests (the ones run under the sanitizers). A BOTH_ENGINES test
# is registered a second time as <name>_pg, with TESSAL_TEST_ENGINE=postgresql and the label
# `server`: its test::ScratchDataSource is then a scratch database of the test cluster.
function(tessal_add_test name)
  cmake_parse_arguments(T "BOTH_ENGINES" "LABEL" "SOURCES;DEPENDS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_DEPENDS})
  if(T_LABEL STREQUAL "bench")
    return()
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS ${T_LABEL}
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=pt_BR.UTF-8;TESSAL_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_BOTH_ENGINES)
    add_test(NAME ${name}_pg COMMAND ${name})
    set_tests_properties(${name}_pg PROPERTIES
      LABELS "${T_LABEL};server"
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=pt_BR.UTF-8;TESSAL_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR};TESSAL_TEST_ENGINE=postgresql")
  endif()
endfunction()
