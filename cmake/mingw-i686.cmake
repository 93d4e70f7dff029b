# Cross build for 32-bit Windows with Debian's MinGW-w64. The program uses the win32 thread model,
# whose static C++ runtime is the smaller; GoogleTest needs std::mutex and so the posix one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_THREAD_MODEL "win32" CACHE STRING "MinGW-w64 thread model: win32 or posix")
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests of Windows programs run under Wine, each in a throwaway 32-bit prefix with a display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run)
