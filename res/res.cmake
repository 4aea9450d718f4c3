if(VANTREL_GUI)
  target_sources(vantrel_shell PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vantrel.qrc)

  include(GNUInstallDirs)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vantrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/com.kovalmeret.vantrel.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The icon theme takes PNG: made at build time from the program's own XPM images,
  # the 64 x 64 one by doubling the 32 x 32 pixels.
  add_executable(vantrel_icon_png ${CMAKE_CURRENT_LIST_DIR}/icon_png.cpp)
  target_link_libraries(vantrel_icon_png PRIVATE Qt6::Gui)
  set(_icons)
  foreach(_icon "16;vantrel16.xpm;1" "32;vantrel32.xpm;1" "64;vantrel32.xpm;2")
    list(GET _icon 0 _size)
    list(GET _icon 1 _source)
    list(GET _icon 2 _scale)
    set(_png ${CMAKE_CURRENT_BINARY_DIR}/icons/${_size}x${_size}/vantrel.png)
    add_custom_command(OUTPUT ${_png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${_size}x${_size}
      COMMAND vantrel_icon_png ${CMAKE_CURRENT_LIST_DIR}/${_source} ${_png} ${_scale}
      DEPENDS vantrel_icon_png ${CMAKE_CURRENT_LIST_DIR}/${_source}
      VERBATIM)
    install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
    list(APPEND _icons ${_png})
  endforeach()
  add_custom_target(vantrel_icons ALL DEPENDS ${_icons})
endif()
