function(mv_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  endif()
endfunction()

# mv_add_test(<source> [UI] [LABELS ...]): one Qt Test executable per source,
# run by CTest with the offscreen platform. A failing test keeps its
# temporary folder (tests/support/TestEnv.h) and prints its path.
function(mv_add_test src)
  cmake_parse_arguments(ARG "UI" "" "LABELS" ${ARGN})
  get_filename_component(name ${src} NAME_WE)
  get_filename_component(dir ${src} DIRECTORY)
  file(RELATIVE_PATH group ${CMAKE_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" tgroup "${group}")
  set(target ${tgroup}_${name})
  add_executable(${target} ${src})
  target_link_libraries(${target} PRIVATE testsupport Qt6::Test)
  if(ARG_UI)
    target_link_libraries(${target} PRIVATE marktvoll_ui)
  endif()
  add_test(NAME ${group}/${name} COMMAND ${target})
  set_tests_properties(${group}/${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MV_SOURCE_DIR=${CMAKE_SOURCE_DIR};MV_BINARY_DIR=${CMAKE_BINARY_DIR}"
    LABELS "${tgroup};${ARG_LABELS}"
    TIMEOUT 600)
endfunction()
