#!/usr/bin/env python3
"""Tests of scripts/check-deps.py: its readers of dpkg's and CMake's output on made-up input,
and the whole check against this machine's installed Qt."""

import runpy
import subprocess
import types
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parent.parent / "check-deps.py"
# The script's name has a hyphen, so it is run as a module under a name of its own; dataclasses
# look their module up in sys.modules while the script runs.
check = types.ModuleType("check_deps")
sys.modules["check_deps"] = check
check.__dict__.update(runpy.run_path(str(SCRIPT), run_name="check_deps"))


def status_line(package, depends="", pre_depends="", provides="", status="install ok installed"):
    return "\t".join([package, status, depends, pre_depends, provides])


class DependencyFields(unittest.TestCase):
    def test_fields(self):
        cases = {
            "plain and versioned": ("libc6 (>= 2.34), zlib1g", [["libc6"], ["zlib1g"]]),
            "alternatives keep their order": (
                "libgl1-mesa-dev (>= 9) | libgl-dev",
                [["libgl1-mesa-dev", "libgl-dev"]],
            ),
            "arch qualifiers dropped": (
                "python3:any (>= 3.9~), libfoo:amd64",
                [["python3"], ["libfoo"]],
            ),
            "arch lists and build profiles dropped": (
                "foo [amd64] <!nocheck> | bar",
                [["foo", "bar"]],
            ),
            "empty": ("", []),
        }
        for name, (text, expected) in cases.items():
            with self.subTest(name):
                self.assertEqual(check.parse_dependency_field(text), expected)

    def test_only_installed_packages_are_read(self):
        installed = check.parse_status(
            "\n".join(
                [
                    status_line("kept", "a, b | c", "d"),
                    status_line("removed", "x", status="deinstall ok config-files"),
                    status_line("provider", provides="virtual (= 1)"),
                ]
            )
        )
        self.assertEqual(installed.depends["kept"], [["a"], ["b", "c"], ["d"]])
        self.assertNotIn("removed", installed.depends)
        self.assertEqual(installed.satisfiers("virtual"), {"provider"})
        self.assertEqual(installed.satisfiers("removed"), set())


class Closure(unittest.TestCase):
    def installed(self, *lines):
        return check.parse_status("\n".join(lines))

    def test_follows_depends_and_pre_depends(self):
        installed = self.installed(
            status_line("top", "mid (>= 1)"),
            status_line("mid", "", "early"),
            status_line("early"),
            status_line("unrelated"),
        )
        parent = check.closure(["top"], installed)
        self.assertEqual(parent, {"top": None, "mid": "top", "early": "mid"})
        self.assertEqual(check.chain("early", parent), "early <- mid <- top")

    def test_first_installed_alternative_is_followed(self):
        # both 'second' and 'third' are installed: only the first one that is installed
        # satisfies the dependency, so 'third' must not be counted as brought in
        installed = self.installed(
            status_line("top", "first | second | third"),
            status_line("second", "below-second"),
            status_line("third", "below-third"),
            status_line("below-second"),
            status_line("below-third"),
        )
        self.assertEqual(set(check.closure(["top"], installed)), {"top", "second", "below-second"})

    def test_virtual_packages_through_their_providers(self):
        installed = self.installed(
            status_line("top", "c-compiler, awk | mawk"),
            status_line("gcc", provides="c-compiler"),
            status_line("gawk", provides="awk"),
            status_line("mawk"),
        )
        self.assertEqual(set(check.closure(["top"], installed)), {"top", "gcc", "gawk"})

    def test_listed_virtual_package_and_cycles(self):
        installed = self.installed(
            status_line("real", "other", provides="virtual"),
            status_line("other", "real"),
        )
        self.assertEqual(set(check.closure(["virtual"], installed)), {"real", "other"})

    def test_missing_dependency_brings_nothing(self):
        installed = self.installed(status_line("top", "gone"))
        self.assertEqual(set(check.closure(["top"], installed)), {"top"})


class CmakeCache(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        root = Path(self.dir.name)
        (root / "Foo").mkdir()
        (root / "Foo" / "FooConfig.cmake").touch()
        (root / "bar").mkdir()
        (root / "bar" / "bar-config.cmake").touch()
        (root / "empty").mkdir()
        self.root = root

    def tearDown(self):
        self.dir.cleanup()

    def test_entries_become_the_files_found(self):
        text = f"""# This is the CMakeCache file.
//Path to a file.
Foo_DIR:PATH={self.root}/Foo
Bar_DIR:PATH={self.root}/bar
ZLIB_INCLUDE_DIR:PATH=/usr/include
ZLIB_LIBRARY_RELEASE:FILEPATH=/usr/lib/x86_64-linux-gnu/libz.so
ZLIB_LIBRARY_DEBUG:FILEPATH=ZLIB_LIBRARY_DEBUG-NOTFOUND
GITCOMMAND:FILEPATH=/usr/bin/git
CMAKE_INSTALL_PREFIX:PATH=/usr/local
CMAKE_INSTALL_BINDIR:PATH=bin
Tessal_SOURCE_DIR:STATIC=/src
Odd_INCLUDE_DIR:PATH=/usr/include
Empty_DIR:PATH={self.root}/empty
"""
        problems = []
        found = check.found_files(check.parse_cache(text), problems)
        self.assertEqual(
            {(f.entry, f.path) for f in found},
            {
                ("Foo_DIR", f"{self.root}/Foo/FooConfig.cmake"),
                ("Bar_DIR", f"{self.root}/bar/bar-config.cmake"),
                ("ZLIB_INCLUDE_DIR", "/usr/include/zlib.h"),
                ("ZLIB_LIBRARY_RELEASE", "/usr/lib/x86_64-linux-gnu/libz.so"),
            },
        )
        # an include folder whose header is unknown, or a folder with no configuration,
        # is a problem rather than something passed over
        self.assertEqual(len(problems), 2)
        self.assertTrue(problems[0].startswith("Empty_DIR="), problems)
        self.assertTrue(problems[1].startswith("Odd_INCLUDE_DIR="), problems)

    def test_pkg_config_modules_of_successful_checks(self):
        entries = check.parse_cache(
            """__pkg_config_arguments_SODIUM:INTERNAL=REQUIRED;IMPORTED_TARGET;libsodium>=1.0.18
SODIUM_FOUND:INTERNAL=1
__pkg_config_arguments_TWO:INTERNAL=QUIET;glib-2.0;gio-2.0 >= 2.70
TWO_FOUND:INTERNAL=1
__pkg_config_arguments_ABSENT:INTERNAL=QUIET;nothere
ABSENT_FOUND:INTERNAL=
"""
        )
        self.assertEqual(check.pkg_config_modules(entries), ["libsodium", "glib-2.0", "gio-2.0"])


class DpkgSearch(unittest.TestCase):
    def test_owners(self):
        text = """libgl-dev:amd64: /usr/include/GL/gl.h
diversion by dash from: /bin/sh
libc6:amd64, libc6:i386: /usr/share/doc/libc6
zlib1g-dev:amd64: /usr/include/zlib.h.extra
"""
        wanted = {"/usr/include/GL/gl.h", "/usr/share/doc/libc6", "/usr/include/zlib.h", "/bin/sh"}
        self.assertEqual(
            check.parse_search(text, wanted),
            {"/usr/include/GL/gl.h": {"libgl-dev"}, "/usr/share/doc/libc6": {"libc6"}},
        )

    def test_merged_usr_names(self):
        usr_lib = "/usr/lib/x86_64-linux-gnu/libz.so.1"
        self.assertIn("/lib/x86_64-linux-gnu/libz.so.1", check.path_variants(usr_lib))
        self.assertIn("/usr/bin/sh", check.path_variants("/bin/sh"))


class WholeCheck(unittest.TestCase):
    """Runs the script as ctest does, on a made-up build tree that found Qt's Charts and OpenGL
    configurations where this machine keeps them."""

    QT = "/usr/lib/x86_64-linux-gnu/cmake"

    def run_check(self, packages):
        with tempfile.TemporaryDirectory() as tmp:
            build = Path(tmp) / "build"
            build.mkdir()
            (build / "CMakeCache.txt").write_text(
                f"Qt6Charts_DIR:PATH={self.QT}/Qt6Charts\nQt6OpenGL_DIR:PATH={self.QT}/Qt6OpenGL\n"
            )
            script = Path(tmp) / "install-deps.sh"
            script.write_text(
                '[ "$1" = --list ] || exit 2\nprintf "%s\\n" ' + " ".join(packages) + "\n"
            )
            return subprocess.run(
                [sys.executable, str(SCRIPT), str(build), "--install-script", str(script)],
                capture_output=True,
                text=True,
            )

    def test_charts_without_opengl_development_files(self):
        # the fault a fresh machine showed: qt6-charts-dev does not bring Qt6OpenGL's CMake files
        result = self.run_check(["qt6-charts-dev"])
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn(
            f"MISSING Qt6OpenGL_DIR: {self.QT}/Qt6OpenGL/Qt6OpenGLConfig.cmake belongs to "
            "libqt6opengl6-dev",
            result.stdout,
        )
        self.assertIn(
            f"ok      {self.QT}/Qt6Charts/Qt6ChartsConfig.cmake  (qt6-charts-dev)", result.stdout
        )

    def test_charts_with_opengl_development_files(self):
        result = self.run_check(["qt6-charts-dev", "libqt6opengl6-dev"])
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("2 files found", result.stdout)
        self.assertIn(": 0 problems", result.stdout)

    def test_listed_package_not_installed(self):
        result = self.run_check(["qt6-charts-dev", "libqt6opengl6-dev", "no-such-package-here"])
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn(
            "MISSING no-such-package-here is on the list but not installed", result.stdout
        )


if __name__ == "__main__":
    unittest.main()
