# Cross-compiling for Windows with Debian's MinGW-w64; the including file sets HV_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
# The win32 thread model: the program needs no threads and so no libwinpthread.
set(CMAKE_C_COMPILER ${HV_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${HV_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${HV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
