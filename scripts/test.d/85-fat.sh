# The real quarn-scan on FAT32 through fusefat, the file system of USB
# sticks and of the Windows systems that met this threat: no O_TMPFILE, no
# extended attributes, no chmod or chown. Every program must be restored
# there, byte for byte as on this machine's own disk, nothing must be left
# behind, and a user's file named like a restore's is never touched.
# Needs /dev/fuse (no kernel module: fusefat is a FUSE program); without it
# the stage is skipped with a note.
set -euo pipefail
jobs=${QUARN_JOBS:-2}

if [ ! -c /dev/fuse ] || ! { : </dev/fuse; } 2>/dev/null; then
  echo "85-fat: /dev/fuse is not available here; the FAT32 run is skipped"
  exit 0
fi
for tool in fusefat mkfs.vfat fusermount; do
  command -v "$tool" >/dev/null || { echo "85-fat: $tool is missing (scripts/install-deps.sh test)" >&2; exit 1; }
done

# The same build folder and options as the native stage, so neither
# rebuilds the other's work.
cmake -S . -B build/native -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON \
  -DQUARN_BENCH=ON >/dev/null
cmake --build build/native -j "$jobs" --target quarn-scan quarn-sample-tree >/dev/null
scan=$PWD/build/native/src/cli/quarn-scan
sample=$PWD/build/native/tools/quarn-sample-tree

work=$(mktemp -d /tmp/quarn-fat.XXXXXX)
fat=$work/fat
cleanup() {
  if mountpoint -q "$fat"; then
    fusermount -u "$fat" 2>/dev/null || fusermount -uz "$fat" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "85-fat: $*" >&2; exit 1; }

truncate -s 64M "$work/fat.img"
mkfs.vfat -F 32 "$work/fat.img" >/dev/null
mkdir "$fat"
# fusefat talks about the volume as it mounts it; that is shown only when
# the mount fails.
fusefat -o rw+ "$work/fat.img" "$fat" >"$work/fusefat.log" 2>&1 || true
mountpoint -q "$fat" || { cat "$work/fusefat.log" >&2; fail "fusefat did not mount the image"; }

# The same sample tree on FAT and on this machine's disk, the reference
# for what a restore must write. Each holds a user's file whose name only
# looks like a restore's: it carries no marker, so no scan may take it.
wrote=$("$sample" "$fat/tree")
"$sample" "$work/ref" >/dev/null
to_clean=$(sed -n 's/.* \([0-9]*\) to clean.*/\1/p' <<<"$wrote")
to_delete=$(sed -n 's/.* \([0-9]*\) to delete.*/\1/p' <<<"$wrote")
for root in "$fat/tree" "$work/ref"; do
  printf 'a letter to keep\n' >"$root/Program Files/.quarn-restore-Letter"
done
fingerprint() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
[ "$(fingerprint "$fat/tree")" = "$(fingerprint "$work/ref")" ] || fail "the two sample trees differ before the scans"

summary() {
  local status=0
  "$scan" --json "$1" >"$work/out.jsonl" 2>"$work/err" || status=$?
  # The sample tree's damaged program cannot be restored: status 2, one error.
  [ "$status" -eq 2 ] || { cat "$work/err" >&2; fail "the scan of $1 ended with status $status, not 2"; }
  python3 -c 'import json, sys
s = [json.loads(l) for l in open(sys.argv[1])][-1]
print(s["files_cleaned"], s["files_deleted"], s["scan_errors"])' "$work/out.jsonl"
}
got=$(summary "$fat/tree")
[ "$got" = "$to_clean $to_delete 1" ] || { cat "$work/err" >&2; fail "on FAT: cleaned, deleted, errors are $got, not $to_clean $to_delete 1"; }
summary "$work/ref" >/dev/null

# Every restored program and cut page on FAT holds exactly what the same
# scan wrote on this machine's disk, and the user's look-alike is still
# there, unchanged.
diff <(fingerprint "$work/ref") <(fingerprint "$fat/tree") >&2 || fail "the cleaned FAT tree differs from the reference"
left=$(find "$fat" -name '.quarn-restore-*' ! -name '.quarn-restore-Letter')
[ -z "$left" ] || fail "left behind on FAT: $left"
echo "85-fat: $to_clean files cleaned and $to_delete deleted on FAT32 through fusefat, byte for byte as on the local disk"
