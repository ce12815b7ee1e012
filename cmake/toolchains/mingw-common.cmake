# Shared by the mingw-w64 toolchain files, which set CMAKE_SYSTEM_PROCESSOR and
# MARLIN_MINGW_TRIPLE first (posix threading variant, which the standard library's threads and
# mutexes need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MARLIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARLIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MARLIN_MINGW_TRIPLE}-windres)

# Libraries and packages come only from the cross prefix and from MARLIN_WINDOWS_DEPS (where
# the test script installs its cross-built GoogleTest), never from the build machine;
# programs come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${MARLIN_MINGW_TRIPLE})
if(MARLIN_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${MARLIN_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime of the compiler goes into every binary, so that the DLL and the test
# programs need nothing beside them but the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
