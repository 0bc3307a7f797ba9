# The reference host: every source in tools/xevhost/.
file(GLOB XEVHOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/xevhost/*.cpp)
if(XEVHOST_SOURCES)
  add_executable(xevhost ${XEVHOST_SOURCES})
  target_link_libraries(xevhost PRIVATE xev_static)
  xev_link_time_optimise(xevhost)
  target_compile_options(xevhost PRIVATE ${XEV_WARNINGS})
endif()
