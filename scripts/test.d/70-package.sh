# The Debian package: scripts/package.sh builds it in a build folder of its
# own; lintian judges it; dpkg installs it on this machine; the installed
# quarn-scan cleans the sample tree; dpkg purges it again and no file of it
# may be left behind.
set -euo pipefail
dir=build/package-test

# lintian warnings that stay, with why. Any other warning, and any error,
# fails the stage.
#   initial-upload-closes-no-bugs: the package is not uploaded to Debian's
#     archive, so there is no "intent to package" bug for its first
#     changelog entry to close.
kept_warnings=(initial-upload-closes-no-bugs)

if dpkg-query -W -f='${Status}' quarn 2>/dev/null | grep -q 'install ok installed'; then
  echo "70-package: quarn is installed already; this stage installs its own build and purges it" >&2
fi

QUARN_PACKAGE_DIR=$dir QUARN_WERROR=ON bash scripts/package.sh
debs=("$dir"/quarn_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "70-package: expected one .deb in $dir" >&2; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^project(quarn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

echo "--- lintian"
lintian --display-info --pedantic --tag-display-limit 0 "$deb" 2>/dev/null | tee "$dir/lintian.txt"
if grep -q '^E: ' "$dir/lintian.txt"; then
  echo "70-package: lintian reports errors" >&2
  exit 1
fi
unexpected=$(grep '^W: ' "$dir/lintian.txt" | grep -v -F -f <(printf ': %s\n' "${kept_warnings[@]}") || true)
if [ -n "$unexpected" ]; then
  echo "70-package: lintian warnings that are not on the kept list:" >&2
  echo "$unexpected" >&2
  exit 1
fi

work=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && dpkg --purge quarn >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "--- dpkg -i"
dpkg -i "$deb"
installed=1
dpkg-query -W -f='${Status}\n' quarn | grep -qx 'install ok installed'
dpkg -L quarn > "$work/files"
for f in /usr/bin/quarn /usr/bin/quarn-scan /usr/share/man/man1/quarn.1.gz /usr/share/man/man1/quarn-scan.1.gz \
         /usr/share/bash-completion/completions/quarn-scan /usr/share/doc/quarn/copyright \
         /usr/share/doc/quarn/changelog.Debian.gz; do
  [ -f "$f" ] || { echo "70-package: $f is not installed" >&2; exit 1; }
done
for size in 16 22 24 32 48 64 128 256; do
  compgen -G "/usr/share/icons/hicolor/${size}x${size}/apps/*.png" >/dev/null \
    || { echo "70-package: no ${size}x${size} icon" >&2; exit 1; }
done
desktop=$(grep '^/usr/share/applications/.*\.desktop$' "$work/files")
metainfo=$(grep '^/usr/share/metainfo/.*\.metainfo\.xml$' "$work/files")
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"

echo "--- the installed quarn-scan"
[ "$(/usr/bin/quarn-scan --version)" = "quarn-scan $version" ]
[ "$(command -v quarn-scan)" = /usr/bin/quarn-scan ]

# The sample tree, first with --report-only (which must change nothing),
# then for real. Its damaged program cannot be restored, so both runs end
# with status 2 (an error outranks a find).
tree=$work/tree
wrote=$("$dir/build/tools/quarn-sample-tree" "$tree")
echo "$wrote"
to_clean=$(sed -n 's/.* \([0-9]*\) to clean.*/\1/p' <<<"$wrote")
to_delete=$(sed -n 's/.* \([0-9]*\) to delete.*/\1/p' <<<"$wrote")
fingerprint() { (cd "$tree" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
before=$(fingerprint)

status=0
/usr/bin/quarn-scan --report-only "$tree" > "$work/report" || status=$?
[ "$status" -eq 2 ] || { echo "70-package: --report-only ended with status $status, not 2" >&2; exit 1; }
[ "$(fingerprint)" = "$before" ] || { echo "70-package: --report-only changed the tree" >&2; exit 1; }

status=0
/usr/bin/quarn-scan --log "$work/scan.log" "$tree" > "$work/scan" || status=$?
[ "$status" -eq 2 ] || { echo "70-package: the scan ended with status $status, not 2" >&2; exit 1; }
cat "$work/scan"
grep -qx "Files cleaned: $to_clean" "$work/scan"
grep -qx "Files deleted: $to_delete" "$work/scan"

# Each file was done as the report said it would be, the log says the same,
# deleted files are gone and cleaned ones no longer hold either signature
# (the search ignores case).
exe_signature='Concept Virus'
page_signature='<html><script language="JavaScript">window.open'
results() { sed -n '/^$/q;p' "$1" | sort; }
diff <(results "$work/report" | sed -e 's/^would clean:/cleaned:/' -e 's/^would delete:/deleted:/' \
                                   -e 's/^would keep:/scanned:/' -e 's/^would fail:/error:/' | sort) \
     <(results "$work/scan")
diff <(tr -d '\r' < "$work/scan.log" | sort) <(results "$work/scan")
while IFS= read -r line; do
  word=${line%%:  *} path=${line#*:  }
  case $word in
    deleted) [ ! -e "$path" ] || { echo "70-package: $path was not deleted" >&2; exit 1; } ;;
    cleaned) ! grep -qiF -e "$exe_signature" -e "$page_signature" "$path" \
               || { echo "70-package: $path still holds a signature" >&2; exit 1; } ;;
  esac
done < <(results "$work/scan")

echo "--- dpkg --purge"
dpkg --purge quarn
installed=0
if dpkg-query -W -f='${Status}' quarn 2>/dev/null | grep -q 'installed'; then
  echo "70-package: quarn is still known to dpkg after --purge" >&2
  exit 1
fi
left=()
while IFS= read -r path; do
  [ "$path" = /. ] && continue
  # Folders shared with other packages (/usr/share/man/man1, ...) stay.
  [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1 && continue
  [ -e "$path" ] || [ -L "$path" ] && left+=("$path")
done < "$work/files"
if [ ${#left[@]} -gt 0 ]; then
  echo "70-package: left behind after --purge: ${left[*]}" >&2
  exit 1
fi
echo "70-package: installed, ran and purged $(basename "$deb") cleanly"
