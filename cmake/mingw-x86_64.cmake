# 64-bit Windows (PE32+, x86-64), from the same sources.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
