#!/usr/bin/env python3
"""The engine DLL the program carries exports exactly the names the binding
resolves (download/engine.cpp: kEngineExports, the library name
kEngineLibrary), undecorated; in the 32-bit build each export also returns
the way the binding's __stdcall pointers (download/engine.h: EngineApi)
expect, popping 4 bytes per argument. Reads the DLL's export table and code
with objdump; the binding's names and argument counts from its source.

    test_xldl_exports.py OBJDUMP download/engine.cpp download/engine.h xldl.dll

The checker is also fed a DLL with one export renamed and a binding list
with a decorated name, and must refuse both.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None


def source_match(path, pattern, what):
    """(the file's text, the first match of pattern in it)."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    m = re.search(pattern, text, re.S)
    if not m:
        raise ValueError("no %s in %s" % (what, path))
    return text, m


def binding_names(engine_cpp):
    """(library name, export names in the order of EngineApi) from the source."""
    text, m = source_match(engine_cpp, r"kEngineExports\[(\w+)\]\s*=\s*\{(.*?)\};", "kEngineExports table")
    names = re.findall(r'"([^"]*)"', m.group(2))
    count = m.group(1)
    if not count.isdigit():  # the count is a constant of the header
        count = source_match(ARGS["engine_h"], r"\b%s\s*=\s*(\d+)" % re.escape(count), count)[1].group(1)
    if len(names) != int(count):
        raise ValueError("kEngineExports declares %s names, lists %d" % (count, len(names)))
    lib = re.search(r'kEngineLibrary\[\]\s*=\s*"([^"]+)"', text)
    if not lib:
        raise ValueError("no kEngineLibrary in %s" % engine_cpp)
    return lib.group(1), names


def binding_argument_counts(engine_h):
    """The parameter count of each EngineApi entry, in order."""
    _, m = source_match(engine_h, r"struct EngineApi\s*\{(.*?)\};", "struct EngineApi")
    counts = []
    for params in re.findall(r"\(MV_XL_CALL\s*\*\s*\w+\)\s*\(([^)]*)\)\s*;", m.group(1)):
        params = params.strip()
        counts.append(0 if params in ("", "void") else params.count(",") + 1)
    return counts


def dll_exports(objdump, dll):
    """(DLL name, image base, {export name: RVA}) from objdump -p."""
    out = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", out, re.M).group(1), 16)
    name = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)", out, re.M)
    rvas = {}
    eat = out.split("Export Address Table -- Ordinal Base", 1)
    if len(eat) == 2:
        for m in re.finditer(r"^\s*\[\s*(\d+)\]\s+\+base\[\s*\d+\]\s+([0-9a-fA-F]+)\s+Export RVA", eat[1], re.M):
            rvas[int(m.group(1))] = int(m.group(2), 16)
    exports = {}
    table = out.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            m = re.match(r"^\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
            if not m:
                break
            exports[m.group(2)] = rvas.get(int(m.group(1)))
    return (name.group(1) if name else None), base, exports


def first_return_pops(objdump, dll, address):
    """The bytes the first return after address pops (0 for a plain ret), or
    None when no return comes within 4 KiB."""
    out = subprocess.run([objdump, "-d", dll, "--start-address=0x%x" % address,
                          "--stop-address=0x%x" % (address + 4096)],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = re.search(r"\tret[lw]?\s*(?:\$0x([0-9a-f]+))?\s*$", line)
        if m:
            return int(m.group(1), 16) if m.group(1) else 0
    return None


def check(objdump, engine_cpp, engine_h, dll):
    """Every mismatch between the binding and the DLL, as sentences (none: it fits)."""
    problems = []
    library, names = binding_names(engine_cpp)
    counts = binding_argument_counts(engine_h)
    if len(counts) != len(names):
        problems.append("EngineApi has %d entries, kEngineExports %d names" % (len(counts), len(names)))
    dll_name, base, exports = dll_exports(objdump, dll)
    if not exports:
        return ["%s exports nothing" % dll]
    if (dll_name or "").lower() != library.lower():
        problems.append("the DLL calls itself %r, the binding loads %r" % (dll_name, library))
    for name in names:
        if name not in exports:
            problems.append("the binding resolves %r, which the DLL does not export" % name)
    for name in sorted(set(exports) - set(names)):
        problems.append("the DLL exports %r, which the binding does not resolve" % name)
    wide = "x86-64" in subprocess.run([objdump, "-f", dll], check=True, capture_output=True,
                                         text=True).stdout
    if not wide:
        for name, count in zip(names, counts):
            if exports.get(name) is None:
                continue
            pops = first_return_pops(objdump, dll, base + exports[name])
            if pops != 4 * count:
                problems.append("%s returns popping %s bytes; the binding calls it __stdcall with %d "
                                "argument(s), %d bytes" % (name, pops, count, 4 * count))
    return problems


class Exports(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="xldl-exports-")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def check(self, engine_cpp=None, dll=None):
        return check(ARGS["objdump"], engine_cpp or ARGS["engine_cpp"], ARGS["engine_h"], dll or ARGS["dll"])

    def test_the_carried_dll_fits_the_binding(self):
        self.assertEqual(self.check(), [])

    def test_a_renamed_export_is_refused(self):
        with open(ARGS["dll"], "rb") as f:
            data = f.read()
        _, names = binding_names(ARGS["engine_cpp"])
        victim = names[-1].encode()
        self.assertEqual(data.count(victim + b"\0"), 1, "the export name is not in the file once")
        broken = os.path.join(self.tmp, "xldl.dll")
        with open(broken, "wb") as f:
            f.write(data.replace(victim + b"\0", victim[:-1] + b"_\0"))
        problems = self.check(dll=broken)
        self.assertTrue(any(repr(victim.decode()) in p and "does not export" in p for p in problems), problems)

    def test_a_decorated_name_in_the_binding_is_refused(self):
        with open(ARGS["engine_cpp"], encoding="utf-8") as f:
            text = f.read()
        _, names = binding_names(ARGS["engine_cpp"])
        decorated = "_%s@0" % names[0]
        source = os.path.join(self.tmp, "engine.cpp")
        with open(source, "w", encoding="utf-8") as f:
            f.write(text.replace('"%s"' % names[0], '"%s"' % decorated, 1))
        problems = self.check(engine_cpp=source)
        self.assertTrue(any(repr(decorated) in p for p in problems), problems)
        self.assertTrue(any(repr(names[0]) in p and "does not resolve" in p for p in problems), problems)


def main():
    global ARGS
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    ARGS = dict(zip(("objdump", "engine_cpp", "engine_h", "dll"), sys.argv[1:5]))
    prog = unittest.main(argv=[sys.argv[0]] + sys.argv[5:], exit=False, verbosity=2)
    return 0 if prog.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
