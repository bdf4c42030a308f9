#!/usr/bin/env python3
"""The import check rejects what XP cannot load and passes what it can.

    test_importcheck.py CHECKER TICK64_EXE XPCLEAN_EXE EMBEDS_EXE VISTA_DLL DELAY_VISTA_EXE
"""
import subprocess
import sys
import tempfile
import unittest

CHECKER, TICK64, CLEAN, EMBEDS, VISTA_DLL, DELAY_VISTA = sys.argv[1:7]


def run(*files, list_file=None, exceptions=None):
    cmd = [sys.executable, CHECKER] + (["--list", list_file] if list_file else [])
    cmd += ["--exceptions", exceptions] if exceptions else []
    cmd += list(files)
    p = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout + p.stderr


class ImportCheck(unittest.TestCase):
    def test_direct_import_of_a_vista_function_fails(self):
        rc, out = run(TICK64)
        self.assertEqual(rc, 1, out)
        self.assertRegex(out, r"(?i)kernel32\.dll!GetTickCount64")

    def test_program_with_xp_imports_passes(self):
        rc, out = run(CLEAN)
        self.assertEqual(rc, 0, out)
        self.assertRegex(out, r"[1-9]\d* imported functions checked, 0 forbidden")

    def test_delay_loaded_vista_function_fails(self):
        # GNU ld leaves the delay-import directory empty: the check finds the
        # descriptor in the sections.
        rc, out = run(DELAY_VISTA)
        self.assertEqual(rc, 1, out)
        self.assertRegex(out, r"(?i)shell32\.dll!SHGetKnownFolderPath")

    def test_program_carried_in_resources_is_checked(self):
        rc, out = run(EMBEDS)
        self.assertEqual(rc, 1, out)
        self.assertIn("!RCDATA/TOOL_TICK64/", out)
        self.assertIn("GetTickCount64", out)
        self.assertIn("2 image(s)", out)  # the MZ-prefixed blob is not a program

    def test_one_bad_file_among_several_fails_the_run(self):
        rc, out = run(CLEAN, TICK64)
        self.assertEqual(rc, 1, out)

    def test_wildcards_and_dll_entries_of_the_list(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# comment\nGetTick*\n")
        rc, out = run(CLEAN, list_file=f.name)
        self.assertEqual(rc, 1, out)  # GetTickCount matches GetTick*
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("dll:KERNEL32.DLL\n")
        rc, out = run(CLEAN, list_file=f.name)
        self.assertEqual(rc, 1, out)
        self.assertIn("imports DLL", out)

    def test_a_listed_library_is_allowed_by_its_export_name_only(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as none:
            none.write("# nothing allowed\n")
        rc, out = run(VISTA_DLL, exceptions=none.name)
        self.assertEqual(rc, 1, out)
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("VistaLib.dll: needs Vista for its timer\n")
        rc, out = run(VISTA_DLL, exceptions=f.name)
        self.assertEqual(rc, 0, out)
        self.assertIn("allowed (needs Vista for its timer)", out)
        self.assertIn("GetTickCount64", out)
        # The exception names a library; a program importing the same
        # function still fails.
        rc, out = run(VISTA_DLL, TICK64, exceptions=f.name)
        self.assertEqual(rc, 1, out)
        # The shipped list allows the carried wimlib library and nothing else.
        rc, out = run(VISTA_DLL)
        self.assertEqual(rc, 1, out)

    def test_a_file_that_is_not_a_program_is_an_error_not_a_pass(self):
        with tempfile.NamedTemporaryFile("wb", suffix=".exe", delete=False) as f:
            f.write(b"MZ" + b"\0" * 100)
        rc, out = run(f.name)
        self.assertEqual(rc, 2, out)
        rc, out = run("/nonexistent/MV_OSR.exe")
        self.assertEqual(rc, 2, out)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=1)
