# The Debian package of this build, unpacked and checked; needs the GUI program and
# dpkg's tools, and makes no sense for sanitizer builds.
find_program(VANTREL_DPKG_DEB dpkg-deb)
if(VANTREL_GUI AND NOT VANTREL_SANITIZE AND VANTREL_DPKG_DEB)
  add_test(NAME Package.DebInstallsAndRuns
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(Package.DebInstallsAndRuns PROPERTIES
    LABELS package TIMEOUT 300
    ENVIRONMENT "VANTREL_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp")
endif()
