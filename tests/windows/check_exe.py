#!/usr/bin/python3
"""Checks a built quarn.exe without running it: a 32-bit (or, with --x86-64,
a 64-bit) Windows GUI program that needs no DLL beyond the system's, with
its dialog templates, string, icon and version record in US English. With
--console, a console program (quarn-scan.exe) that needs no DLL beyond the
system's; it has no resources to check.

    check_exe.py [--x86-64] [--console] quarn.exe

Prints one line per failed check and exits 1 if any failed."""

import struct
import sys

import pefile

# DLLs that every Windows installation has. Anything else (libstdc++-6.dll,
# libgcc_s_dw2-1.dll, libwinpthread-1.dll) would have to ship beside the
# program.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msvcrt.dll", "advapi32.dll",
               "shell32.dll", "bcrypt.dll"}
RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION = 5, 6, 14, 16
IDD_ABOUTBOX, IDS_ABOUTBOX, IDD_CLEANER_DIALOG, IDR_MAINFRAME = 100, 101, 102, 128
US_ENGLISH = 1033

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def resources(pe):
    """{(type, id): {language: bytes}} for every numbered resource."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                data = pe.get_data(entry.OffsetToData, entry.Size)
                found.setdefault((kind.id, name.id), {})[language.id] = data
    return found


def string_resource(blocks, string_id):
    """The text of one string of a string table, from its block of sixteen."""
    data = blocks.get((RT_STRING, string_id // 16 + 1), {}).get(US_ENGLISH)
    if data is None:
        return None
    offset = 0
    for index in range(16):
        (length,) = struct.unpack_from("<H", data, offset)
        offset += 2
        if index == string_id % 16:
            return data[offset:offset + 2 * length].decode("utf-16-le")
        offset += 2 * length
    return None


def main(argv):
    wide = "--x86-64" in argv
    console = "--console" in argv
    paths = [a for a in argv if not a.startswith("--")]
    if len(paths) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    pe = pefile.PE(paths[0])

    machine, magic = (0x8664, 0x20B) if wide else (0x14C, 0x10B)
    check(pe.FILE_HEADER.Machine == machine, f"machine is {pe.FILE_HEADER.Machine:#x}, expected {machine:#x}")
    check(pe.OPTIONAL_HEADER.Magic == magic, f"optional header magic is {pe.OPTIONAL_HEADER.Magic:#x}")
    subsystem, kind = (3, "console") if console else (2, "GUI")
    check(pe.OPTIONAL_HEADER.Subsystem == subsystem, f"the subsystem is not the Windows {kind}")

    imported = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(imported and imported <= SYSTEM_DLLS, f"imports DLLs beyond the system's: {sorted(imported - SYSTEM_DLLS)}")
    if console:
        for failure in failures:
            print(f"check_exe: {paths[0]}: {failure}")
        if not failures:
            print(f"check_exe: {paths[0]}: {'64' if wide else '32'}-bit console program, system DLLs only "
                  f"({', '.join(sorted(imported))})")
        return 1 if failures else 0

    found = resources(pe)
    for key, what in [((RT_DIALOG, IDD_CLEANER_DIALOG), "main window template"),
                      ((RT_DIALOG, IDD_ABOUTBOX), "About box template"),
                      ((RT_GROUP_ICON, IDR_MAINFRAME), "application icon"),
                      ((RT_VERSION, 1), "version record")]:
        check(US_ENGLISH in found.get(key, {}), f"no US English {what} {key}")
    main_template = found.get((RT_DIALOG, IDD_CLEANER_DIALOG), {}).get(US_ENGLISH, b"")
    about_template = found.get((RT_DIALOG, IDD_ABOUTBOX), {}).get(US_ENGLISH, b"")
    # An extended template starts with version 1 and signature 0xFFFF.
    check(main_template[:4] == b"\x01\x00\xff\xff", "the main window template is not an extended one")
    check(about_template[:4] != b"\x01\x00\xff\xff", "the About box template is not a plain one")
    check(string_resource(found, IDS_ABOUTBOX) == "&About quarn...", "IDS_ABOUTBOX is not \"&About quarn...\"")

    if hasattr(pe, "VS_FIXEDFILEINFO"):
        fixed = pe.VS_FIXEDFILEINFO[0]
        check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x10000, 1), "file version is not 1.0.0.1")
        check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x10000, 1), "product version is not 1.0.0.1")
    else:
        check(False, "no fixed version information")
    texts = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                if table.LangID.decode().upper() == "040904B0":
                    texts.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key, value in [("FileVersion", "1, 0, 0, 1"), ("ProductVersion", "1, 0, 0, 1"), ("InternalName", "quarn"),
                       ("OriginalFilename", "quarn.EXE"), ("ProductName", "quarn Application"),
                       ("CompanyName", ""), ("LegalTrademarks", "")]:
        check(texts.get(key) == value, f"version text {key} is {texts.get(key)!r}, expected {value!r}")

    for failure in failures:
        print(f"check_exe: {paths[0]}: {failure}")
    if not failures:
        print(f"check_exe: {paths[0]}: {'64' if wide else '32'}-bit GUI program, system DLLs only "
              f"({', '.join(sorted(imported))}), resources and version record in place")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
