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
