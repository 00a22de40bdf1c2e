# Run with -P: installs the build into PREFIX and fails unless the executable, the help
# page in the data folder, the .desktop entry, the PVX file type, the icon and the manual page
# are all there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(expected
    ${BINDIR}/gridwell
    ${DATADIR}/gridwell/Help-Gridwell/GridwellHelp.html
    ${DATADIR}/applications/gridwell.desktop
    ${DATADIR}/mime/packages/gridwell.xml
    ${DATADIR}/icons/hicolor/scalable/apps/gridwell.svg
    ${MANDIR}/man1/gridwell.1)
  if(NOT EXISTS ${PREFIX}/${expected})
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()
message(STATUS "installed layout complete under ${PREFIX}")
