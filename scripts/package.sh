#!/usr/bin/env bash
# Builds the Debian package quarn_<version>_<arch>.deb from this checkout:
# the release build with Debian's hardening flags, `cmake --install` into a
# staging tree, the copyright file and changelog from dist/deb/, and
# dependencies that dpkg-shlibdeps reads off the binaries.
#   scripts/package.sh        -> build/package/quarn_1.0.0.1-1_amd64.deb
# QUARN_PACKAGE_DIR sets the build folder; QUARN_WERROR=ON makes warnings
# errors, as the project's own checks do.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
umask 022

bash scripts/install-deps.sh package

out=${QUARN_PACKAGE_DIR:-build/package}
mkdir -p "$out"
out=$(cd "$out" && pwd)
build=$out/build
# The staging tree sits where Debian's tools expect a package's files:
# debian/<package> with its DEBIAN folder, beside a debian/control (which
# dpkg-shlibdeps insists on, though it reads nothing from it here).
stage=$out/debian/quarn

# One version for the program, its metainfo and the package: the package's
# is the program's with a Debian revision, read from the changelog's top.
version=$(sed -n 's/^project(quarn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb_version=$(dpkg-parsechangelog -l dist/deb/changelog -S Version)
if [ "${deb_version%-*}" != "$version" ]; then
  echo "package.sh: dist/deb/changelog is at $deb_version, the program at $version; add a changelog entry" >&2
  exit 1
fi
if ! grep -q "<release version=\"$version\"" dist/*.metainfo.xml; then
  echo "package.sh: the metainfo has no <release> for $version" >&2
  exit 1
fi
# The copyright file carries LICENSE word for word.
if ! diff <(sed -n '/^Permission/,$p' LICENSE) \
          <(sed -n '/^ Permission/,$p' dist/deb/copyright | sed -e 's/^ //' -e 's/^\.$//') >/dev/null; then
  echo "package.sh: the license in dist/deb/copyright differs from LICENSE" >&2
  exit 1
fi

# Dates inside the package (the manual pages' footer, file times) come from
# the changelog entry, so the same checkout gives the same package.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l dist/deb/changelog -S Timestamp)
export SOURCE_DATE_EPOCH

# Debian's build flags: hardening (stack protector, fortified functions,
# read-only relocations, immediate binding), as every package of the
# distribution gets them. CMake does not read CPPFLAGS, so they join CXXFLAGS.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUARN_TESTS=OFF -DQUARN_WERROR="${QUARN_WERROR:-OFF}" \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build" -j "${QUARN_JOBS:-$(nproc)}"

rm -rf "$stage"
DESTDIR=$stage cmake --install "$build" --strip >/dev/null
# As Debian's own packages are stripped: no compiler notes either.
find "$stage/usr/bin" -type f -perm -u+x -exec strip --remove-section=.comment --remove-section=.note {} +
doc=$stage/usr/share/doc/quarn
install -d "$doc"
install -m 0644 dist/deb/copyright "$doc/copyright"
gzip -9n < dist/deb/changelog > "$doc/changelog.Debian.gz"

# The dependencies: the libraries that the binaries link to, at the
# versions that provide the symbols they use.
binaries=()
while IFS= read -r -d '' f; do binaries+=("-e${f#"$out"/}"); done \
  < <(find "$stage/usr/bin" -type f -perm -u+x -print0 | sort -z)
install -d "$stage/DEBIAN"
touch "$out/debian/control"
depends=$(cd "$out" && dpkg-shlibdeps -O "${binaries[@]}" | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

arch=$(dpkg --print-architecture)
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$stage/DEBIAN/md5sums"
size=$(du -sk --apparent-size --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$deb_version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" dist/deb/control.in > "$stage/DEBIAN/control"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -type d -exec chmod 0755 {} +
# No file time later than the changelog entry, so that a rebuild of the same
# checkout gives the same package.
find "$stage" -newermt "@$SOURCE_DATE_EPOCH" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

deb=$out/quarn_${deb_version}_${arch}.deb
rm -f "$out"/quarn_*.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "built ${deb#"$root"/}"
