# Cross build for 32-bit little-endian MIPS Linux with Debian's cross toolchain
# (crossbuild-essential-mipsel) and the mipsel builds of the libraries that
# scripts/install-cross-deps.sh unpacks; test programs run under qemu-mipsel-static.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)

# The target's libraries (Debian's mipsel -dev packages of libfuse 2, mbed TLS and LZ4) are unpacked
# under a prefix of their own; the library architecture makes find_library search its
# lib/mipsel-linux-gnu instead of the build machine's directory.
set(ZM_CROSS_PREFIX "$ENV{ZM_CROSS_PREFIX}")
if(NOT ZM_CROSS_PREFIX)
  set(ZM_CROSS_PREFIX /opt/zm-cross/mipsel)
endif()
list(PREPEND CMAKE_PREFIX_PATH "${ZM_CROSS_PREFIX}/usr")

# pkg-config answers for the target: the unpacked packages and Debian's mipsel multiarch
# directory, never the build machine's x86_64 files.
set(ENV{PKG_CONFIG_LIBDIR}
    "${ZM_CROSS_PREFIX}/usr/lib/mipsel-linux-gnu/pkgconfig:/usr/lib/mipsel-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# ctest and GoogleTest's test discovery run the target's programs through user-mode qemu;
# -L finds the target's loader and NSS modules should a program not be static.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-mipsel-static -L /usr/mipsel-linux-gnu)
