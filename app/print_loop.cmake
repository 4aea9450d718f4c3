if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/pdf_engine.h
    ${CMAKE_CURRENT_LIST_DIR}/pdf_engine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_font.h
    ${CMAKE_CURRENT_LIST_DIR}/pdf_font.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pdf_job_printer.h
    ${CMAKE_CURRENT_LIST_DIR}/pdf_job_printer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_loop.h
    ${CMAKE_CURRENT_LIST_DIR}/print_loop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_status_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/print_status_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_preview.h
    ${CMAKE_CURRENT_LIST_DIR}/print_preview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/print_setup_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/print_setup_dlg.cpp)
endif()
