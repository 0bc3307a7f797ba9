# Language levels, warnings and instrumentation shared by every target of this
# project. Directory-scoped, so a parent project's own flags stay untouched.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_C_STANDARD 99)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

set(XEV_WARNINGS -Wall -Wextra)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # g++ 12 at -O3 reports std::string concatenations as overlapping copies
  # (a known false positive of its -Wrestrict); the warning stays useful elsewhere.
  list(APPEND XEV_WARNINGS -Wno-restrict)
endif()
if(XEV_WERROR)
  list(APPEND XEV_WARNINGS -Werror)
endif()

# Lets a 64-bit build run the suite over the 128-bit arithmetic 32-bit builds use.
if(XEV_PORTABLE_INT128)
  add_compile_definitions(XEV_PORTABLE_INT128=1)
endif()

if(XEV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(XEV_TSAN)
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
endif()
if(XEV_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(XEV_COVERAGE)
  # The thread tests bump the same counters from several threads at once:
  # without atomic updates a counter can tear and the report cannot be read.
  add_compile_options(--coverage -O0 -fprofile-update=atomic)
  add_link_options(--coverage)
endif()
