# Cross build for 32-bit little-endian MIPS Linux with Debian's cross toolchain
# (crossbuild-essential-mipsel) and the mipsel builds of the libraries that
# scripts/install-cross-deps.sh installs; test programs run under qemu-mipsel-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)

# Debian's multiarch packages put the target's libraries in /usr/lib/mipsel-linux-gnu, which the
# library architecture makes find_library search instead of the build machine's directory; their
# headers in /usr/include are the same for every architecture.
set(ZM_CROSS_PREFIX "$ENV{ZM_CROSS_PREFIX}")
if(NOT ZM_CROSS_PREFIX)
  set(ZM_CROSS_PREFIX /opt/zm-cross/mipsel)
endif()

# pkg-config answers for the target: Debian's mipsel multiarch directory and the unpacked
# libfuse-dev, never the build machine's x86_64 files.
set(ENV{PKG_CONFIG_LIBDIR}
    "${ZM_CROSS_PREFIX}/usr/lib/mipsel-linux-gnu/pkgconfig:/usr/lib/mipsel-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# ctest and GoogleTest's test discovery run the target's programs through user-mode qemu;
# -L finds the target's loader and NSS modules should a program not be static.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-mipsel-static -L /usr/mipsel-linux-gnu)
