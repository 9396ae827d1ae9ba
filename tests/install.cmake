# tst_install installs the build into a temporary prefix and runs what it installed.
target_compile_definitions(tst_install PRIVATE
  DOVLIN_CMAKE_COMMAND="${CMAKE_COMMAND}" DOVLIN_CPACK_COMMAND="${CMAKE_CPACK_COMMAND}"
  DOVLIN_BUILD_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(tst_install dovlin-viewer dovlin-convert dovlin-values dovlin-docs)
target_link_libraries(tst_install PRIVATE Qt6::Gui)
