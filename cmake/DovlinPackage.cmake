# What the Debian package carries besides the programs: the manual pages, written at build time
# from the programs' --help by help2man, the copyright file and the changelog, compressed as
# Debian wants them (gzip -9n: no name, no time, the same bytes on every build).
find_program(DOVLIN_HELP2MAN help2man REQUIRED)
find_program(DOVLIN_GZIP gzip REQUIRED)

file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^dovlin \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog begins with '${newest}': its newest entry must be of version ${PROJECT_VERSION}")
endif()

set(DOVLIN_MAN_dovlin-viewer "waveform viewer for VCD and FST dumps")
set(DOVLIN_MAN_dovlin-convert "convert a VCD or FST dump into a Dovlin wave file")
set(DOVLIN_MAN_dovlin-values "print the values of a wave file's signals at given times")
set(pages)
foreach(target dovlin-viewer dovlin-convert dovlin-values)
  get_target_property(program ${target} OUTPUT_NAME)
  if(NOT program)
    set(program ${target})
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  # Run by its bare name, so that the page's synopsis names no build folder.
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}" QT_QPA_PLATFORM=offscreen
            ${DOVLIN_HELP2MAN} --no-info --section=1 "--name=${DOVLIN_MAN_${target}}"
            --version-string=${PROJECT_VERSION} --output=${page} ${program}
    COMMAND ${DOVLIN_GZIP} -9nf ${page}
    DEPENDS ${target}
    VERBATIM)
  list(APPEND pages ${page}.gz)
  install(FILES ${page}.gz DESTINATION share/man/man1)
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${DOVLIN_GZIP} -9nc ${CMAKE_SOURCE_DIR}/cmake/debian/changelog > ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog)
add_custom_target(dovlin-docs ALL DEPENDS ${pages} ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION share/doc/dovlin)

# cpack -G DEB: a Debian package of everything installed, depending on the Qt 6 runtime.
set(CPACK_PACKAGE_NAME dovlin)
set(CPACK_PACKAGE_VENDOR "The Dovlin developers")
set(CPACK_PACKAGE_CONTACT "The Dovlin developers <dovlin@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Waveform viewer for the VCD dumps of digital simulations")
# The synopsis is the summary above; CPack indents these lines and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Dovlin shows the results of digital-circuit simulation as waveforms against
time. It opens the Value Change Dump files (.vcd) and FST files (.fst) that
simulators such as Icarus Verilog, Verilator and GHDL write, converting each
into a compact wave file (.dvn) first.

The package also holds dovlin-convert, which converts dumps without the
window, and dovlin-values, which prints the values of signals at given times.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY dovlin)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0), libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), libqt6printsupport6 (>= 6.2), libqt6svg6 (>= 6.2), qt6-qpa-plugins, libpcre2-16-0, zlib1g, liblz4-1")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
include(CPack)
