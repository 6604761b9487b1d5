"""Writes the host programs that the MinGW-built images carry: every byte
value, NUL bytes included, and a distinct end for each language."""
import sys

out = sys.argv[1]
body = bytes(range(256)) * 37
for name, end in (("host.bin", b"host: en-US"), ("host_de.bin", b"host: de-DE"), ("host_fr.bin", b"host: fr-FR")):
    with open(f"{out}/{name}", "wb") as f:
        f.write(body + end)
