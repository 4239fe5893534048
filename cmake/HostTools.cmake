# The build's own tools must run on the build machine, so a cross build makes
# them with the host compiler in a separate project.
if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(TW_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
  find_program(TW_HOST_CXX NAMES g++ c++ REQUIRED)
  ExternalProject_Add(host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools
    BINARY_DIR ${TW_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${TW_HOST_CXX}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${TW_HOST_TOOLS_DIR}/msgtable ${TW_HOST_TOOLS_DIR}/embed ${TW_HOST_TOOLS_DIR}/formc)
  set(TW_MSGTABLE ${TW_HOST_TOOLS_DIR}/msgtable)
  set(TW_EMBED ${TW_HOST_TOOLS_DIR}/embed)
  set(TW_FORMC ${TW_HOST_TOOLS_DIR}/formc)
  set(TW_TOOLS_TARGET host_tools)
else()
  add_subdirectory(tools)
  set(TW_MSGTABLE $<TARGET_FILE:msgtable>)
  set(TW_EMBED $<TARGET_FILE:embed>)
  set(TW_FORMC $<TARGET_FILE:formc>)
  set(TW_TOOLS_TARGET msgtable embed formc)
endif()
