#!/bin/sh
# Installs what building and testing BypassTool needs on Debian 12:
# the native toolchain and GoogleTest, mingw-w64 for the Windows DLL, and
# Wine to run the Windows build's tests, clang with its sanitizer and libFuzzer
# runtimes for the sanitizer build and the fuzzer, valgrind for the
# memcheck run of bypassctl, libsystemd (found through pkg-config) for
# keepalive's notifications to systemd, and what the packaging tests run:
# systemd-analyze and man to check the unit, dpkg-shlibdeps and file for the
# .deb's dependencies, lintian to check the .deb, unzip to list the Windows
# zip, msitools' wixl and msibuild to make the Windows installer; and for the
# PortTalk kernel module's test, Debian's kernel with its headers, QEMU to
# boot it, busybox-static and cpio for its initramfs, kmod and dkms.
set -eu
if [ "$(id -u)" -eq 0 ]; then SUDO=; else SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq \
  cmake ninja-build g++ make libgtest-dev libgmock-dev googletest \
  libcli11-dev nlohmann-json3-dev libbenchmark-dev python3 python3-prometheus-client util-linux \
  g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64 wine64 osslsigncode openssl \
  clang-14 libclang-rt-14-dev valgrind \
  libsystemd-dev pkg-config systemd man-db dpkg-dev file unzip lintian wixl msitools \
  qemu-system-x86 linux-image-amd64 linux-headers-amd64 busybox-static cpio kmod dkms \
  >/dev/null
