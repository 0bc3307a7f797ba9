# One executable per tests/**/*_test.cpp, so that one subsystem's test never
# waits on another's to compile and link; new test files need no edit here.
if(WIN32)
  # No GoogleTest is packaged for mingw-w64: cross builds compile it from the
  # sources Debian's googletest package installs.
  set(XEV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${XEV_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# Instrumented builds (coverage) run the randomised differential tests several
# times slower; they raise this rather than the tests shrink.
set(XEV_TEST_TIMEOUT 300 CACHE STRING "Seconds a test may run before ctest stops it")

file(GLOB_RECURSE XEV_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*_test.cpp)
if(NOT TARGET xevhost)
  # The tool tests check xevhost's own sources and binary.
  list(FILTER XEV_TEST_SOURCES EXCLUDE REGEX "/tests/tools/")
endif()
foreach(test_source ${XEV_TEST_SOURCES})
  get_filename_component(test_name ${test_source} NAME_WE)
  get_filename_component(test_dir ${test_source} DIRECTORY)
  get_filename_component(test_group ${test_dir} NAME)
  set(target ${test_group}_${test_name})
  add_executable(${target} ${test_source})
  target_link_libraries(${target} PRIVATE xev_static GTest::gtest GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(${target} PRIVATE ${XEV_WARNINGS})
  target_compile_definitions(${target} PRIVATE XEV_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    XEV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(XEV_DEV_ALLOW_UNRESOLVED)
    target_link_options(${target} PRIVATE -Wl,--unresolved-symbols=ignore-all -Wl,-z,now)
  endif()
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT ${XEV_TEST_TIMEOUT})
endforeach()

# The reference host's end-to-end test runs the built binary; its input test
# links the few tool sources it checks.
foreach(target tools_xevhost_test)
  if(TARGET xevhost AND TARGET ${target})
    target_compile_definitions(${target} PRIVATE XEVHOST_PATH="$<TARGET_FILE:xevhost>"
      XEVHOST_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
    add_dependencies(${target} xevhost)
  endif()
endforeach()
set(XEVHOST_DIR ${PROJECT_SOURCE_DIR}/tools/xevhost)
if(TARGET tools_csv_input_test)
  target_sources(tools_csv_input_test PRIVATE ${XEVHOST_DIR}/input/column_types.cpp ${XEVHOST_DIR}/input/csv_reader.cpp)
  target_include_directories(tools_csv_input_test PRIVATE ${XEVHOST_DIR})
endif()
if(TARGET tools_report_output_test)
  target_sources(tools_report_output_test PRIVATE ${XEVHOST_DIR}/report/report_output.cpp
    ${XEVHOST_DIR}/formulas/diagnostics.cpp ${XEVHOST_DIR}/formulas/formulas_file.cpp ${XEVHOST_DIR}/input/text_encoding.cpp)
  target_include_directories(tools_report_output_test PRIVATE ${XEVHOST_DIR})
endif()

# Every fuzz target also builds as a plain test that replays its fixed
# findings (tests/data/fuzz_regressions/<target>/) and its seed corpus.
if(NOT XEV_BUILD_FUZZ)
  file(GLOB XEV_REPLAY_TARGETS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*_fuzzer.cpp)
  foreach(fuzz_source ${XEV_REPLAY_TARGETS})
    get_filename_component(fuzz_name ${fuzz_source} NAME_WE)
    string(REGEX REPLACE "_fuzzer$" "" corpus_name ${fuzz_name})
    set(target fuzz_replay_${corpus_name})
    add_executable(${target} ${PROJECT_SOURCE_DIR}/tests/fuzz_replay/replay_main.cpp ${fuzz_source})
    target_link_libraries(${target} PRIVATE xev_static)
    target_compile_options(${target} PRIVATE ${XEV_WARNINGS})
    add_test(NAME ${target} COMMAND ${target}
      ${PROJECT_SOURCE_DIR}/tests/data/fuzz_regressions/${fuzz_name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${corpus_name})
    set_tests_properties(${target} PROPERTIES TIMEOUT ${XEV_TEST_TIMEOUT})
  endforeach()
endif()

# The public headers must compile as plain C99.
add_library(xev_c_headers OBJECT ${PROJECT_SOURCE_DIR}/tests/c_api/headers.c)
target_include_directories(xev_c_headers PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_compile_options(xev_c_headers PRIVATE -std=c99 -Wall -Wextra -Wpedantic -Werror)

# Each example is a small C host linked against the shared library, as a
# user's program would be; it checks its own results and exits non-zero on a
# mismatch.
file(GLOB XEV_EXAMPLE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.c)
foreach(example_source ${XEV_EXAMPLE_SOURCES})
  get_filename_component(example_name ${example_source} NAME_WE)
  set(target example_${example_name})
  add_executable(${target} ${example_source})
  target_link_libraries(${target} PRIVATE xev::xev)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<BOOL:${XEV_WERROR}>:-Werror>)
  add_test(NAME ${target} COMMAND ${target})
endforeach()
