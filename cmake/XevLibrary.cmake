# The library: every source under src/ and resources/ (new files need no edit
# here), compiled once and linked both as libxev.so.<major> and libxev.a.
file(GLOB_RECURSE XEV_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/resources/*.cpp)

set(XEV_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
set(XEV_GRAMMAR ${PROJECT_SOURCE_DIR}/src/language/grammar.y)
if(EXISTS ${XEV_GRAMMAR})
  find_package(BISON 3.0 REQUIRED)
  BISON_TARGET(XevGrammar ${XEV_GRAMMAR} ${XEV_GENERATED_DIR}/grammar.cpp
    DEFINES_FILE ${XEV_GENERATED_DIR}/grammar.hpp
    COMPILE_FLAGS "-Wall -Wno-yacc")
  list(APPEND XEV_SOURCES ${BISON_XevGrammar_OUTPUTS})
  # The generated parser is not ours to keep warning-free.
  set_source_files_properties(${BISON_XevGrammar_OUTPUTS} PROPERTIES
    COMPILE_OPTIONS "-Wno-error;-Wno-unused-but-set-variable;-Wno-free-nonheap-object")
endif()

include(${PROJECT_SOURCE_DIR}/cmake/XevFunctionHelp.cmake)

find_package(Threads REQUIRED)

set(XEV_PUBLIC_INCLUDE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>)
# Tests, benchmarks, fuzzers and the tools reach into the subsystems' internal headers.
set(XEV_INTERNAL_INCLUDE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR} ${XEV_GENERATED_DIR})

add_library(xev_objects OBJECT ${XEV_SOURCES})
target_include_directories(xev_objects PUBLIC ${XEV_PUBLIC_INCLUDE} PRIVATE ${XEV_INTERNAL_INCLUDE})
target_compile_options(xev_objects PRIVATE ${XEV_WARNINGS})
target_compile_definitions(xev_objects PRIVATE XEV_BUILDING_LIBRARY=1)
set_target_properties(xev_objects PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

add_library(xev SHARED $<TARGET_OBJECTS:xev_objects>)
target_include_directories(xev PUBLIC ${XEV_PUBLIC_INCLUDE})
target_link_libraries(xev PRIVATE m Threads::Threads)
# The library's own calls to what it exports (HostAlloc and HostFree above
# all, on every evaluation step) bind inside it, without the indirection
# that would let another module replace them: no host is meant to.
target_compile_options(xev_objects PRIVATE -fno-semantic-interposition)
if(NOT WIN32)
  target_link_options(xev PRIVATE -Wl,-Bsymbolic-functions)
endif()
set_target_properties(xev PROPERTIES
  OUTPUT_NAME xev
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME xev)

add_library(xev_static STATIC $<TARGET_OBJECTS:xev_objects>)
target_include_directories(xev_static PUBLIC ${XEV_PUBLIC_INCLUDE}
  INTERFACE "$<BUILD_INTERFACE:${XEV_INTERNAL_INCLUDE}>")
target_link_libraries(xev_static PUBLIC m Threads::Threads)
set_target_properties(xev_static PROPERTIES OUTPUT_NAME xev EXPORT_NAME xev_static)

# Release builds optimise the library across its files: on every formula the
# parser, the context's lists and host memory call into each other, and those
# calls are about a tenth of a parse. The library's objects keep ordinary code
# beside the optimiser's form, so libxev.a still links into programs built
# without link-time optimisation, or by another compiler version.
# The library is optimised at -O2 in Release builds too, compiled and linked:
# at -O3 the evaluation's step loop runs more instructions a row and is slower,
# and parsing gains nothing.
set(XEV_LTO_ACTIVE OFF)
if(XEV_LTO AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND NOT (XEV_SANITIZE OR XEV_TSAN OR XEV_COVERAGE OR XEV_BUILD_FUZZ))
  include(CheckIPOSupported)
  check_ipo_supported(RESULT xev_ipo_supported LANGUAGES CXX)
  set(XEV_LTO_ACTIVE ${xev_ipo_supported})
endif()
target_compile_options(xev_objects PRIVATE $<$<CONFIG:Release>:-O2>)
# Links target with link-time optimisation in Release builds when that is on.
function(xev_link_time_optimise target)
  if(XEV_LTO_ACTIVE)
    set_property(TARGET ${target} PROPERTY INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
    target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-O2>)
  endif()
endfunction()
xev_link_time_optimise(xev_objects)
xev_link_time_optimise(xev)
xev_link_time_optimise(xev_static)
if(XEV_LTO_ACTIVE)
  target_compile_options(xev_objects PRIVATE $<$<CONFIG:Release>:-ffat-lto-objects>)
endif()

if(WIN32)
  include(cmake/XevWindows.cmake)
endif()

# The names a consumer writes, the same whether it found the package installed
# or pulled in the source tree.
add_library(xev::xev ALIAS xev)
add_library(xev::xev_static ALIAS xev_static)
