# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVANTREL_GUI=OFF
# Programs link the compiler's runtime statically, so they run without its DLLs; with
# wine64 installed, tests run under Wine. The window is built with Qt for Windows
# (scripts/qt-windows.sh), whose toolchain file loads this one:
#   -DCMAKE_TOOLCHAIN_FILE=QT/lib/cmake/Qt6/qt.toolchain.cmake
#   -DQT_CHAINLOAD_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVANTREL_MINGW_SHARED_RUNTIME=ON
# Qt's DLLs need the runtime as DLLs, so there the programs share them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTREL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTREL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTREL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTREL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config would offer the build machine's own libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig)

if(NOT VANTREL_MINGW_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTREL_MINGW_SHARED_RUNTIME)

find_program(VANTREL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VANTREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${VANTREL_WINE})
endif()
