if(VANTREL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(vantrel_app_tests
    ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cdc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frame_test.cpp
  )
  target_link_libraries(vantrel_app_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
  # A C locale: Qt's own texts must still read in Japanese.
  gtest_discover_tests(vantrel_app_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")

  # Captions as the window system shows them: a real X server (Xvfb) and xprop.
  find_program(VANTREL_XVFB_RUN xvfb-run)
  find_program(VANTREL_XPROP xprop)
  if(VANTREL_XVFB_RUN AND VANTREL_XPROP)
    add_executable(vantrel_caption_tests
      ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
      ${CMAKE_CURRENT_LIST_DIR}/caption_test.cpp)
    target_link_libraries(vantrel_caption_tests PRIVATE vantrel_shell GTest::gtest Qt6::Test)
    add_test(NAME CaptionTest.EveryCaptionIsTheProgramsTextAlone
      COMMAND ${VANTREL_XVFB_RUN} -a -s "-screen 0 1024x768x24 -nolisten tcp"
              $<TARGET_FILE:vantrel_caption_tests>)
    set_tests_properties(CaptionTest.EveryCaptionIsTheProgramsTextAlone PROPERTIES
      LABELS shell TIMEOUT 120
      ENVIRONMENT "QT_QPA_PLATFORM=xcb;LANG=C.UTF-8;LC_ALL=C.UTF-8;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")
  else()
    message(STATUS "xvfb-run or xprop missing: the caption test is not built")
  endif()
endif()
