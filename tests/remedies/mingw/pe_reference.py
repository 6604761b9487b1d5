"""Locates RCDATA 102 with pefile, as an independent reader to check ours
against. Prints one line per file: its path, then "found OFFSET SIZE
LANGUAGE", "none", or "error" when pefile rejects the file. The language rule is ours (neutral, then 0x0409, then
the first in table order); directory parsing and RVA mapping are pefile's."""
import sys

import pefile

RT_RCDATA = 10
HOST_ID = 102


def locate(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return "none"
    for t in root.entries:
        if t.name is not None or t.struct.Name != RT_RCDATA:
            continue
        for n in t.directory.entries:
            if n.name is not None or n.struct.Name != HOST_ID:
                continue
            langs = [l for l in n.directory.entries if l.name is None]
            if not langs:
                return "none"
            chosen = next((l for l in langs if l.struct.Name == 0), None)
            chosen = chosen or next((l for l in langs if l.struct.Name == 0x0409), None)
            chosen = chosen or langs[0]
            size = chosen.data.struct.Size
            offset = pe.get_offset_from_rva(chosen.data.struct.OffsetToData) if size else 0
            return f"found {offset} {size} {chosen.struct.Name}"
    return "none"


for path in sys.argv[1:]:
    try:
        result = locate(path)
    except pefile.PEFormatError:
        result = "error"
    print(path, "\t", result, sep="")
