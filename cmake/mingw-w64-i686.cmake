# Cross build for 32-bit Windows: the build a GPIB user needs, since
# GPIB-32.DLL is a 32-bit library. Run here under CPU emulation
# (tools/wine32-run.sh), since this machine cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QRT_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
