if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vantrel.qrc)

  include(GNUInstallDirs)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel32.xpm DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME vantrel.xpm)
endif()
