#!/usr/bin/env python3
"""Checks that Windows programs load on Windows XP SP3.

Reads the import table (and the delay-load import table) of each PE file
given, and of every PE file embedded in its resources (the tools the program
writes out of itself), and fails when one of them imports a function or a DLL
of the forbidden list (xp-forbidden.txt next to this script, or --list).
A few carried libraries that need a later Windows are allowed by the name in
their export directory (xp-exceptions.txt, or --exceptions): their findings
are printed as allowed, with the reason, and do not fail the check.

    importcheck.py [--list FILE] [--exceptions FILE] [--quiet] PE_FILE...

Exit status: 0 clean, 1 forbidden imports found, 2 a file cannot be read as PE.
"""
import argparse
import fnmatch
import os
import re
import struct
import sys


class PeError(Exception):
    pass


DLL_NAME = re.compile(r"^[A-Za-z0-9_.\-]+\.(dll|drv)$", re.IGNORECASE)
FUNCTION_NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_@?$]*$")


class Pe:
    """The parts of a PE image the check needs: sections, imports, resources."""

    def __init__(self, data, label):
        self.data = data
        self.label = label
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise PeError("no MZ header")
        (pe_off,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_off:pe_off + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe_off + 4
        _machine, nsections = struct.unpack_from("<HH", data, coff)
        (opt_size,) = struct.unpack_from("<H", data, coff + 16)
        opt = coff + 20
        (magic,) = struct.unpack_from("<H", data, opt)
        if magic == 0x10B:
            self.wide = False
            (self.image_base,) = struct.unpack_from("<I", data, opt + 28)
            dirs = opt + 96
        elif magic == 0x20B:
            self.wide = True
            (self.image_base,) = struct.unpack_from("<Q", data, opt + 24)
            dirs = opt + 112
        else:
            raise PeError("unknown optional header magic %#x" % magic)
        (ndirs,) = struct.unpack_from("<I", data, dirs - 4)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rsize), raw, rsize))

    def offset(self, rva):
        for va, size, raw, rsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rsize:
                    raise PeError("RVA %#x lies in uninitialised data" % rva)
                return raw + (rva - va)
        raise PeError("RVA %#x outside every section" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstr(self, rva):
        off = self.offset(rva)
        end = self.data.find(b"\0", off)
        if end < 0:
            raise PeError("unterminated name at RVA %#x" % rva)
        return self.data[off:end].decode("latin-1")

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def _names(self, thunk_rva):
        """Function names of one import name table (ordinals are skipped)."""
        step = 8 if self.wide else 4
        fmt = "<Q" if self.wide else "<I"
        flag = 1 << (63 if self.wide else 31)
        names = []
        while True:
            (entry,) = struct.unpack_from(fmt, self.data, self.offset(thunk_rva))
            if entry == 0:
                return names
            if not entry & flag:
                names.append(self.cstr((entry & 0x7FFFFFFF) + 2))
            thunk_rva += step

    def imports(self):
        """(dll, function) pairs of the ordinary and the delay-load imports."""
        out = []
        rva, size = self.directory(1)
        if rva:
            pos = rva
            while True:
                oft, _ts, _fwd, name, ft = struct.unpack_from("<IIIII", self.data, self.offset(pos))
                if name == 0 and ft == 0:
                    break
                dll = self.cstr(name)
                out.append((dll, None))
                out.extend((dll, f) for f in self._names(oft or ft))
                pos += 20
        rva, size = self.directory(13)
        if rva:
            pos = rva
            while True:
                attrs, name, _mod, _iat, int_rva = struct.unpack_from("<IIIII", self.data, self.offset(pos))
                if name == 0:
                    break
                base = 0 if attrs & 1 else self.image_base  # old-style entries hold addresses
                dll = self.cstr(name - base)
                out.append((dll, None))
                out.extend((dll, f) for f in self._names(int_rva - base))
                pos += 32
        else:
            # GNU ld links delay-load descriptors in without filling the
            # directory: find them by their shape.
            for dll, names in self._unlisted_delay_imports():
                out.append((dll, None))
                out.extend((dll, f) for f in names)
        return out

    def _unlisted_delay_imports(self):
        """(dll, names) of each delay-load descriptor in the image's sections:
        RVA-based (attributes 1), naming a DLL, with a module handle slot, an
        address table and a name table of function names."""
        found = []
        seen = set()
        for va, _size, raw, rsize in self.sections:
            start = raw
            while True:
                hit = self.data.find(b"\x01\x00\x00\x00", start, raw + rsize - 32)
                if hit < 0:
                    break
                start = hit + 1
                if (hit - raw) % 4:
                    continue
                _attrs, name, mod, iat, int_rva = struct.unpack_from("<IIIII", self.data, hit)
                try:
                    dll = self.cstr(name)
                    if not DLL_NAME.match(dll) or not (mod and iat):
                        continue
                    self.offset(mod)
                    self.offset(iat)
                    names = self._names(int_rva)
                except (PeError, struct.error, UnicodeDecodeError):
                    continue
                if names and all(FUNCTION_NAME.match(n) for n in names) and (dll, int_rva) not in seen:
                    seen.add((dll, int_rva))
                    found.append((dll, names))
        return found

    def export_name(self):
        """The module name of the export directory, "" when there is none."""
        rva, size = self.directory(0)
        if not rva:
            return ""
        (name,) = struct.unpack_from("<I", self.data, self.offset(rva) + 12)
        return self.cstr(name) if name else ""

    def resources(self):
        """(path, bytes) of every resource leaf, path like "RCDATA/XLDL/2052"."""
        rva, size = self.directory(2)
        if not rva:
            return []
        root = self.offset(rva)
        out = []

        def name_of(entry_name):
            if entry_name & 0x80000000:
                off = root + (entry_name & 0x7FFFFFFF)
                (n,) = struct.unpack_from("<H", self.data, off)
                return self.data[off + 2:off + 2 + 2 * n].decode("utf-16-le", "replace")
            return {10: "RCDATA", 16: "VERSION", 24: "MANIFEST"}.get(entry_name, str(entry_name))

        def walk(dir_off, path, depth):
            if depth > 3:
                raise PeError("resource tree too deep")
            named, ids = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + ids):
                entry_name, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                sub = path + [name_of(entry_name) if depth == 0 else
                              (name_of(entry_name) if entry_name & 0x80000000 else str(entry_name))]
                if target & 0x80000000:
                    walk(root + (target & 0x7FFFFFFF), sub, depth + 1)
                else:
                    data_rva, data_size = struct.unpack_from("<II", self.data, root + target)
                    off = self.offset(data_rva)
                    out.append(("/".join(sub), self.data[off:off + data_size]))

        walk(root, [], 0)
        return out


def load_list(path):
    funcs, dlls = [], []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("dll:"):
                dlls.append(line[4:].lower())
            else:
                funcs.append(line.lower())
    return funcs, dlls


def load_exceptions(path):
    """{lower-case module name: reason} from lines "name: reason"."""
    out = {}
    if not path or not os.path.exists(path):
        return out
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            name, _, reason = line.partition(":")
            out[name.strip().lower()] = reason.strip()
    return out


def matches(name, patterns):
    name = name.lower()
    return any(fnmatch.fnmatchcase(name, p) for p in patterns)


def check(pe, funcs, dlls, report, exceptions=None):
    """Checks one image and, recursively, the PE images in its resources.
    Returns (images checked, imports checked, findings)."""
    exceptions = exceptions or {}
    images, count, findings = 1, 0, []
    for dll, func in pe.imports():
        if func is None:
            if matches(dll, dlls):
                findings.append("%s: imports DLL %s" % (pe.label, dll))
            continue
        count += 1
        if matches(func, funcs):
            findings.append("%s: imports %s!%s" % (pe.label, dll, func))
    for path, blob in pe.resources():
        if blob[:2] != b"MZ":
            continue
        try:
            inner = Pe(blob, "%s!%s" % (pe.label, path))
        except PeError:
            continue  # data that merely starts with MZ
        i, c, f = check(inner, funcs, dlls, report, exceptions)
        images, count, findings = images + i, count + c, findings + f
    module = pe.export_name().lower()
    if module in exceptions:
        own = [f for f in findings if f.startswith(pe.label + ":")]
        for line in own:
            report("allowed (%s): %s" % (exceptions[module], line))
        findings = [f for f in findings if f not in own]
    return images, count, findings


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--list", default=os.path.join(here, "xp-forbidden.txt"))
    ap.add_argument("--exceptions", default=os.path.join(here, "xp-exceptions.txt"))
    ap.add_argument("--quiet", action="store_true")
    ap.add_argument("files", nargs="+")
    args = ap.parse_args(argv)
    funcs, dlls = load_list(args.list)
    exceptions = load_exceptions(args.exceptions)
    bad = False
    for path in args.files:
        try:
            with open(path, "rb") as f:
                pe = Pe(f.read(), os.path.basename(path))
            images, count, findings = check(pe, funcs, dlls, print, exceptions)
        except (OSError, PeError, struct.error) as e:
            print("%s: cannot read as a PE file: %s" % (path, e), file=sys.stderr)
            return 2
        for line in findings:
            print(line)
        bad = bad or bool(findings)
        if not args.quiet:
            print("%s: %d image(s), %d imported functions checked, %d forbidden"
                  % (path, images, count, len(findings)))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
