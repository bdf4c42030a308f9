#!/usr/bin/env python3
"""The release exe is shipped stripped, its symbols in a file beside it that
the exe names (with the CRC a debugger checks), so a crash report from a
user's PC can still be read.

    test_release_shape.py OBJDUMP dist/MV_OSR.exe
"""
import os
import re
import subprocess
import sys
import zlib


def sections(objdump, path):
    out = subprocess.run([objdump, "-h", path], check=True, capture_output=True, text=True).stdout
    names = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit():
            names.append(parts[1])
    return names


def main():
    objdump, exe = sys.argv[1], sys.argv[2]
    debug = exe + ".debug"
    failures = []
    exe_sections = sections(objdump, exe)
    if not exe_sections:
        failures.append("no sections read from %s" % exe)
    carried = [s for s in exe_sections if s.startswith(".debug_")]
    if carried:
        failures.append("the release exe still carries debug sections: %s" % " ".join(carried))
    if ".gnu_debuglink" not in exe_sections:
        failures.append("the release exe does not name its symbol file (.gnu_debuglink)")
    if not os.path.exists(debug):
        failures.append("no symbol file %s" % debug)
    else:
        if ".debug_info" not in sections(objdump, debug):
            failures.append("the symbol file holds no .debug_info")
        # The link: the file's name, padding to 4 bytes, the CRC-32 of the symbol file.
        dump = subprocess.run([objdump, "-s", "-j", ".gnu_debuglink", exe], check=True,
                              capture_output=True, text=True).stdout
        raw = b""
        for line in dump.splitlines():
            parts = line.split()
            if len(parts) < 2 or not re.fullmatch(r"[0-9a-f]+", parts[0]):
                continue
            for group in parts[1:5]:  # up to four hex groups, then the ASCII column
                if not re.fullmatch(r"(?:[0-9a-f]{2}){1,4}", group):
                    break
                raw += bytes.fromhex(group)
        name = raw.split(b"\0", 1)[0].decode("ascii", "replace")
        if name != os.path.basename(debug):
            failures.append("the exe names %r, not %r" % (name, os.path.basename(debug)))
        else:
            at = (len(name) + 1 + 3) & ~3
            crc = int.from_bytes(raw[at:at + 4], "little")
            with open(debug, "rb") as f:
                want = zlib.crc32(f.read()) & 0xFFFFFFFF
            if crc != want:
                failures.append("the link's CRC %08x does not match the symbol file's %08x" % (crc, want))
    size = os.path.getsize(exe)
    print("release exe: %d bytes; symbol file: %d bytes" % (size, os.path.getsize(debug) if os.path.exists(debug) else 0))
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
