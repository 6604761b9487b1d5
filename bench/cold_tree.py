#!/usr/bin/env python3
"""Writes the two trees of bench/cold.sh below ROOT, unless a complete one is
there already.

  small/  60,000 files of 512 bytes to 12 KiB in 600 folders: pages, programs
          and a few files that no handler claims, as a user profile or a web
          site holds them. Many files, little data: the walk and the opens
          cost as much as the bytes.
  mixed/  512 MiB: 24 programs of 8 to 24 MiB, about 2,000 pages of 1 to
          60 KiB, and 16 MiB of files that no handler claims. Few files, much
          data: the device's bandwidth decides.

Random bytes from a fixed seed; no file holds a signature, so a scan changes
nothing. ROOT/TREE/.complete marks a finished tree.
"""
import os
import random
import sys

KIB = 1 << 10
MIB = 1 << 20


def write(path, size, rng):
    with open(path, "wb") as out:
        out.write(rng.randbytes(size))


def small(root, rng):
    claimed = ["htm", "html", "asp", "exe", "dll"]
    for d in range(600):
        folder = os.path.join(root, f"d{d // 30:02d}", f"f{d:03d}")
        os.makedirs(folder, exist_ok=True)
        for f in range(100):
            extension = "txt" if f % 20 == 0 else claimed[f % len(claimed)]
            write(os.path.join(folder, f"file{f:03d}.{extension}"), rng.randint(512, 12 * KIB), rng)


def mixed(root, rng):
    programs = os.path.join(root, "programs")
    os.makedirs(programs, exist_ok=True)
    total = 0
    for i in range(24):
        size = rng.randint(8 * MIB, 24 * MIB)
        total += size
        write(os.path.join(programs, f"app{i:02d}.{'exe' if i % 2 else 'dll'}"), size, rng)
    i = 0
    while total < 496 * MIB:
        folder = os.path.join(root, "site", f"s{i // 100:02d}")
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(KIB, 60 * KIB)
        total += size
        write(os.path.join(folder, f"page{i:04d}.htm"), size, rng)
        i += 1
    other = os.path.join(root, "other")
    os.makedirs(other, exist_ok=True)
    for j in range(16):
        write(os.path.join(other, f"photo{j:02d}.jpg"), MIB, rng)


def main():
    root = sys.argv[1]
    for name, make in (("small", small), ("mixed", mixed)):
        tree = os.path.join(root, name)
        if os.path.exists(os.path.join(tree, ".complete")):
            continue
        make(tree, random.Random(name))
        open(os.path.join(tree, ".complete"), "w").close()


if __name__ == "__main__":
    main()
