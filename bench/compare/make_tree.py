#!/usr/bin/env python3
"""Writes the comparison benchmark tree.

ROOT/claimed holds only files whose extensions quarn-scan claims, so every
tool reads the same bytes there:
  programs/  large programs (.exe, .dll): random bytes, or bytes mixed with
             string tables as in real programs; three are the threat's
             dropped copies (riched*.dll) with the program signature, one of
             them in its last bytes
  site/      many small web pages (.htm, .html, .asp) of real HTML text; one
             in fifty has the appended script block
  deep/      a chain of 24 nested folders with a page in each; the pages
             below level 15 are infected
  mail/      small mail and news files (.eml, .nws)
ROOT/other holds files that no handler claims (archives, images, text).

ROOT/expected.txt lists, one a line, every file below ROOT that holds one of
the two signatures, relative to ROOT. Everything comes from a fixed seed, so
two runs write the same tree.
"""
import argparse
import os
import random
import sys

EXE_SIGNATURE = b"Concept Virus"
HTML_SIGNATURE = b'<html><script language="JavaScript">window.open'
MB = 1 << 20

WORDS = ("the quick brown fox jumps over lazy dog page site news about contact "
         "product service support company home welcome information list table "
         "window open script language document style class div span link").split()


def html_page(rng, size, title):
    parts = [f"<!DOCTYPE html>\r\n<html>\r\n<head><title>{title}</title>"
             f'<link rel="stylesheet" href="style.css"></head>\r\n<body>\r\n']
    length = sum(len(p) for p in parts)
    while length < size:
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(8, 40)))
        tag = rng.choice(("p", "li", "td", "h2", "span"))
        piece = f'<div class="c{rng.randint(1, 99)}"><{tag}>{words}</{tag}> <a href="/{rng.choice(WORDS)}.htm">' \
                f"{rng.choice(WORDS)}</a></div>\r\n"
        parts.append(piece)
        length += len(piece)
    parts.append("</body>\r\n</html>")
    return "".join(parts).encode("ascii")


def infected_block(rng):
    return HTML_SIGNATURE + b'("http://example.invalid/' + str(rng.randint(0, 10**6)).encode() + \
        b'");</script></html>\r\n'


def program_bytes(rng, size, with_strings):
    data = bytearray(os.urandom(size)) if not with_strings else bytearray()
    if with_strings:
        # Machine code and string tables side by side: about a third text.
        while len(data) < size:
            data += os.urandom(rng.randint(2048, 8192))
            data += " ".join(rng.choice(WORDS).capitalize() for _ in range(rng.randint(50, 300))).encode()
        del data[size:]
    data[0:2] = b"MZ"
    return data


def write(root, relative, data, expected, infected):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
    if infected:
        expected.append(relative)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("--programs", type=int, default=40, help="large programs (default 40, about 16 MB each)")
    parser.add_argument("--pages", type=int, default=5000, help="small web pages (default 5000)")
    args = parser.parse_args()
    if os.path.exists(args.root) and os.listdir(args.root):
        sys.exit(f"make_tree.py: {args.root} is not empty")

    rng = random.Random(20261207)
    expected = []
    claimed = "claimed"

    for i in range(args.programs):
        size = rng.randint(8 * MB, 24 * MB)
        data = program_bytes(rng, size, with_strings=(i % 2 == 1))
        infected = i % 13 == 3
        if infected:
            at = size - len(EXE_SIGNATURE) if i == 3 else rng.randint(4096, size - 4096)
            data[at:at + len(EXE_SIGNATURE)] = EXE_SIGNATURE
        name = f"riched{i:03}.dll" if infected else f"app{i:03}.{'dll' if i % 3 == 2 else 'exe'}"
        write(args.root, f"{claimed}/programs/vendor{i % 7}/{name}", bytes(data), expected, infected)

    for i in range(args.pages):
        page = html_page(rng, rng.randint(1024, 60 * 1024), f"Page {i}")
        infected = i % 50 == 7
        if infected:
            page += infected_block(rng)
        ext = ("htm", "html", "asp")[i % 3]
        write(args.root, f"{claimed}/site/section{i % 40:02}/page{i:05}.{ext}", page, expected, infected)

    # Deeper than 15 folders: a depth limit of 15 would miss these pages.
    folder = f"{claimed}/deep"
    for level in range(1, 25):
        folder += f"/l{level:02}"
        page = html_page(rng, 8 * 1024, f"Level {level}")
        infected = level > 15
        if infected:
            page += infected_block(rng)
        write(args.root, f"{folder}/index.htm", page, expected, infected)

    for i in range(200):
        body = " ".join(rng.choice(WORDS) for _ in range(rng.randint(200, 3000)))
        message = f"From: user{i}@example.invalid\r\nSubject: note {i}\r\n\r\n{body}\r\n".encode()
        write(args.root, f"{claimed}/mail/box{i % 5}/msg{i:03}.{'eml' if i % 4 else 'nws'}", message, expected, False)

    for i in range(12):
        data = os.urandom(rng.randint(16 * MB, 32 * MB))
        write(args.root, f"other/media/archive{i:02}.{('zip', 'iso', 'jpg')[i % 3]}", data, expected, False)
    for i in range(2000):
        text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(100, 4000))).encode()
        write(args.root, f"other/docs/d{i % 20:02}/note{i:04}.txt", text, expected, False)

    with open(os.path.join(args.root, "expected.txt"), "w") as out:
        out.write("".join(line + "\n" for line in sorted(expected)))


if __name__ == "__main__":
    main()
