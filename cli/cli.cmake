add_executable(vantrel-dump ${CMAKE_CURRENT_LIST_DIR}/vantrel_dump.cpp)
target_link_libraries(vantrel-dump PRIVATE vantrel_core)
target_compile_options(vantrel-dump PRIVATE ${VANTREL_CORE_TEXT_OPTIONS})
# PDF pages are drawn by the printer's page code, which is Qt.
if(VANTREL_GUI)
  target_sources(vantrel-dump PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dump_pdf.h ${CMAKE_CURRENT_LIST_DIR}/dump_pdf.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exit_cleanup.h ${CMAKE_CURRENT_LIST_DIR}/exit_cleanup.cpp)
  target_link_libraries(vantrel-dump PRIVATE vantrel_shell)
  target_compile_definitions(vantrel-dump PRIVATE VANTREL_DUMP_PDF)
endif()

include(GNUInstallDirs)
install(TARGETS vantrel-dump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The manual page, compressed as Debian installs manual pages.
find_program(VANTREL_GZIP gzip)
if(VANTREL_GZIP)
  set(_man ${CMAKE_CURRENT_BINARY_DIR}/vantrel-dump.1.gz)
  add_custom_command(OUTPUT ${_man}
    COMMAND ${VANTREL_GZIP} -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/vantrel-dump.1 > ${_man}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/vantrel-dump.1)
  add_custom_target(vantrel_man ALL DEPENDS ${_man})
  install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel-dump.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
