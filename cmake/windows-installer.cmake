# The Windows installer: cpack -G NSIS in a build made with Qt for Windows
# (scripts/qt-windows.sh) makes vantrel-setup.exe, with both programs, the Qt libraries
# and plugins they load, the compiler's runtime, Qt's Japanese texts, a Start menu entry
# and an uninstaller: bin/, plugins/ and translations/ side by side.
get_filename_component(_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
set(_qt_dlls Core Gui Widgets PrintSupport)
foreach(_module IN LISTS _qt_dlls)
  install(FILES ${_qt_prefix}/bin/Qt6${_module}.dll DESTINATION bin)
endforeach()
install(FILES ${_qt_prefix}/plugins/platforms/qwindows.dll DESTINATION plugins/platforms)
install(FILES ${_qt_prefix}/plugins/styles/qwindowsvistastyle.dll DESTINATION plugins/styles)

# Qt's own idea of its folders is the cache it was built in: the installed programs find
# plugins and translations beside them instead.
file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = ..\n")
install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION bin)

# The MinGW runtime that Qt's libraries and the programs share.
foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                  OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
    message(FATAL_ERROR "The compiler does not know where ${_dll} is")
  endif()
  install(FILES ${_path} DESTINATION bin)
endforeach()

# Qt's own Japanese texts, for its stock dialogs (Debian's qt6-translations-l10n).
find_file(VANTREL_QTBASE_JA qtbase_ja.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT VANTREL_QTBASE_JA)
  message(FATAL_ERROR "qtbase_ja.qm not found: install qt6-translations-l10n")
endif()
install(FILES ${VANTREL_QTBASE_JA} DESTINATION translations)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME vantrel-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vantrel)
set(CPACK_NSIS_DISPLAY_NAME Vantrel)
set(CPACK_NSIS_PACKAGE_NAME Vantrel)
set(CPACK_PACKAGE_EXECUTABLES vantrel Vantrel)
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\vantrel.exe)
# A 64-bit installer: the programs are 64-bit, and so is a Wine without 32-bit support.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
