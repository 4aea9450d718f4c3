if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vantrel.qrc)
endif()
