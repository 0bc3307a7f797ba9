# Windows builds (mingw-w64, see cmake/toolchains/): xev.dll with its import
# library libxev.dll.a, exporting the plain names src/xev.def lists (also on
# 32-bit, where stdcall would otherwise decorate them as Name@bytes), and the
# static library for hosts that define XEV_STATIC.
set_target_properties(xev PROPERTIES PREFIX "")
target_sources(xev PRIVATE ${PROJECT_SOURCE_DIR}/src/xev.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(xev PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
endif()
target_compile_definitions(xev_static PUBLIC XEV_STATIC)
# The runtime (libstdc++, libgcc, winpthread) linked in, so that the DLL and
# the test programs need nothing beyond what Windows itself ships.
target_link_options(xev PRIVATE -static)
add_link_options(-static)

# The Windows host example loads the DLL beside it at run time.
if(XEV_BUILD_TESTS)
  add_executable(windows_host ${PROJECT_SOURCE_DIR}/examples/windows/host.c)
  target_include_directories(windows_host PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_compile_options(windows_host PRIVATE ${XEV_WARNINGS})
  add_dependencies(windows_host xev)
  add_test(NAME example_windows_host COMMAND windows_host)
endif()
