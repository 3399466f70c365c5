# Cross build for 32-bit Windows with Debian's mingw-w64 (posix thread model: GoogleTest needs std::mutex; winpthread is linked statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test executables run through Wine's 32-bit side (scripts/install-deps.sh installs it; a kernel
# without 32-bit user mode cannot run them, and scripts/test.sh then leaves the x86 tiers out). The
# prefix and server come from the environment (scripts/wine-env.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
