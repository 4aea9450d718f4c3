if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/cdc.h
    ${CMAKE_CURRENT_LIST_DIR}/cdc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cmd_target.h
    ${CMAKE_CURRENT_LIST_DIR}/command_ids.h
    ${CMAKE_CURRENT_LIST_DIR}/message_box.h
    ${CMAKE_CURRENT_LIST_DIR}/message_box.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wait_cursor.h
    ${CMAKE_CURRENT_LIST_DIR}/wait_cursor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_units.h
    ${CMAKE_CURRENT_LIST_DIR}/dialog_units.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vantrel_app.h
    ${CMAKE_CURRENT_LIST_DIR}/vantrel_app.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vantrel_doc.h
    ${CMAKE_CURRENT_LIST_DIR}/vantrel_doc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_frame.h
    ${CMAKE_CURRENT_LIST_DIR}/main_frame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/about_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exit_signals.h
    ${CMAKE_CURRENT_LIST_DIR}/exit_signals.cpp
  )

  add_executable(vantrel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  target_link_libraries(vantrel PRIVATE vantrel_shell)
  include(GNUInstallDirs)
  install(TARGETS vantrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
