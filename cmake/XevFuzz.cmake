# One libFuzzer target per fuzz/*_fuzzer.cpp; the whole build is instrumented
# (see XevBuildFlags.cmake).
file(GLOB XEV_FUZZ_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*_fuzzer.cpp)
foreach(fuzz_source ${XEV_FUZZ_SOURCES})
  get_filename_component(fuzz_name ${fuzz_source} NAME_WE)
  add_executable(${fuzz_name} ${fuzz_source})
  target_link_libraries(${fuzz_name} PRIVATE xev_static)
  target_compile_options(${fuzz_name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${fuzz_name} PRIVATE -fsanitize=fuzzer)
endforeach()
