#!/usr/bin/env bash
# Installs what quarn needs from Debian's packages. Safe to run again: apt-get
# skips what is already there. Groups let a quick build avoid the heavy ones.
#   install-deps.sh build     compilers, CMake, GoogleTest, Benchmark, CLI11, nlohmann-json, Qt 6, scdoc,
#                             liburing, nettle
#   install-deps.sh package   build + the Debian package's tools and checkers (lintian,
#                             desktop-file-validate, appstreamcli)
#   install-deps.sh test      build + package + sanitizer runtimes, MinGW, Wine, Xvfb, PE tools, zip, Ansible,
#                             fusefat and dosfstools (a FAT32 image mounted without a kernel module)
#   install-deps.sh bench     build + the rivals of quarn-scan (ripgrep, clamav), python3, and
#                             fio and GNU time for bench/cold.sh, ntfs-3g for bench/defaults.sh
set -euo pipefail

want=("$@")
[ ${#want[@]} -gt 0 ] || want=(build)

build_pkgs=(build-essential cmake ninja-build pkg-config googletest libgtest-dev
            libgmock-dev libbenchmark-dev libcli11-dev qt6-base-dev
            libgl-dev clang libclang-rt-14-dev fonts-dejavu-core scdoc nlohmann-json3-dev
            liburing-dev nettle-dev)
package_pkgs=(dpkg-dev lintian desktop-file-utils appstream)
test_pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
           gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
           xvfb xauth python3-pefile icoutils wine wine32:i386 imagemagick x11-utils
           xdotool g++-mingw-w64-x86-64-posix wine64 fonts-wine fonts-wqy-microhei fonts-symbola
           zip ansible-core fusefat dosfstools)
bench_pkgs=(ripgrep clamav python3 fio time ntfs-3g)

pkgs=()
need_i386=0
for g in "${want[@]}"; do
  case "$g" in
    build) pkgs+=("${build_pkgs[@]}") ;;
    package) pkgs+=("${build_pkgs[@]}" "${package_pkgs[@]}") ;;
    test)  pkgs+=("${build_pkgs[@]}" "${package_pkgs[@]}" "${test_pkgs[@]}"); need_i386=1 ;;
    bench) pkgs+=("${build_pkgs[@]}" "${bench_pkgs[@]}") ;;
    *) echo "install-deps.sh: unknown group '$g' (build, package, test, bench)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
if [ "$need_i386" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
