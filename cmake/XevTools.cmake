# The reference host: every source under tools/xevhost/, whose folders (input,
# formulas, aggregates, report, commands) include each other from its root.
file(GLOB_RECURSE XEVHOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/xevhost/*.cpp)
if(XEVHOST_SOURCES)
  add_executable(xevhost ${XEVHOST_SOURCES})
  # The tool links the shared library, as a user's program would: the editor's
  # front end (libxev-qt.so) links it too, and a process must hold one copy of
  # the library, whose kit, host memory, code page and error record are
  # module-wide. A static copy in the tool would leave the front end talking
  # to a second, windowless kit.
  target_link_libraries(xevhost PRIVATE xev)
  target_include_directories(xevhost PRIVATE ${PROJECT_SOURCE_DIR}/tools/xevhost)
  include(GNUInstallDirs)
  file(RELATIVE_PATH xevhost_bin_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(xevhost PROPERTIES INSTALL_RPATH "$ORIGIN/${xevhost_bin_to_lib}")
  xev_link_time_optimise(xevhost)
  target_compile_options(xevhost PRIVATE ${XEV_WARNINGS})
endif()
