if(VANTREL_GUI)
  add_executable(vantrel_drawing_tests
    ${CMAKE_CURRENT_LIST_DIR}/../app/qt_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/drawing_test.cpp
  )
  target_link_libraries(vantrel_drawing_tests PRIVATE vantrel_shell GTest::gtest)
  gtest_discover_tests(vantrel_drawing_tests DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS shell
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp;${VANTREL_TEST_HOME_ENV}")
endif()
