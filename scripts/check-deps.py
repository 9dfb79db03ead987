#!/usr/bin/env python3
"""Checks that a fresh Debian machine gets everything the configure step found here.

The configure step of a build tree found CMake package configurations (Qt and everything Qt
pulls in), headers, libraries, pkg-config modules and build tools. On this machine they may have
come from packages installed by hand; on a fresh machine only what scripts/install-deps.sh
installs is there, with what those packages depend on. This check reads the build tree's
CMakeCache.txt, asks dpkg which package owns each file found, and fails on every file whose
owner is outside the dependency closure of the list that `install-deps.sh --list` prints.

Usage: check-deps.py BUILD_DIR [--install-script PATH]
"""

from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys
from collections import deque
from dataclasses import dataclass, field
from pathlib import Path

# A cache entry <NAME>_INCLUDE_DIR keeps only the folder a find module settled on; the module
# looked for one header in it, and that header's owner is the package that matters (the folder
# itself, /usr/include, belongs to hundreds). An include folder not named here fails the check
# until its header is added, so a new dependency cannot slip through unexamined.
HEADER_OF_INCLUDE_DIR = {
    "OPENGL_INCLUDE_DIR": "GL/gl.h",
    "OPENGL_GLX_INCLUDE_DIR": "GL/glx.h",
    "Vulkan_INCLUDE_DIR": "vulkan/vulkan.h",
    "XKB_INCLUDE_DIR": "xkbcommon/xkbcommon.h",
    "ZLIB_INCLUDE_DIR": "zlib.h",
}

# Found when present, needed by nothing here: the programs include(CTest) looks for on its own
# behalf (the build and `ctest` run without them), the parts of CMake's FindOpenGL besides
# OpenGL::GL, the one Qt's WrapOpenGL links, and FindVulkan's shader compilers (Qt uses only
# the Vulkan headers).
OPTIONAL_ENTRIES = {
    "GITCOMMAND",
    "COVERAGE_COMMAND",
    "MEMORYCHECK_COMMAND",
    "OPENGL_EGL_INCLUDE_DIR",
    "OPENGL_egl_LIBRARY",
    "OPENGL_glu_LIBRARY",
    "OPENGL_xmesa_INCLUDE_DIR",
    "Vulkan_GLSLC_EXECUTABLE",
    "Vulkan_GLSLANG_VALIDATOR_EXECUTABLE",
}

PKG_CONFIG_KEYWORDS = {
    "REQUIRED",
    "QUIET",
    "IMPORTED_TARGET",
    "GLOBAL",
    "NO_CMAKE_PATH",
    "NO_CMAKE_ENVIRONMENT_PATH",
}


@dataclass
class Found:
    """One file the configure step found, and the cache entry that records it."""

    entry: str
    path: str


@dataclass
class Installed:
    """What dpkg knows about the installed packages: their dependencies and what they provide."""

    depends: dict[str, list[list[str]]] = field(default_factory=dict)
    providers: dict[str, set[str]] = field(default_factory=dict)

    def satisfiers(self, name: str) -> set[str]:
        found = set(self.providers.get(name, set()))
        if name in self.depends:
            found.add(name)
        return found


def parse_cache(text: str) -> dict[str, tuple[str, str]]:
    entries = {}
    for line in text.splitlines():
        if not line or line.startswith(("#", "//")):
            continue
        m = re.match(r"^([^:=]+):([A-Z]+)=(.*)$", line)
        if m:
            entries[m.group(1)] = (m.group(2), m.group(3))
    return entries


def package_config(entry: str, folder: str) -> str | None:
    """The file find_package(<name>) loaded from the folder that <name>_DIR names."""
    name = entry[: -len("_DIR")]
    for candidate in (f"{name}Config.cmake", f"{name.lower()}-config.cmake"):
        path = os.path.join(folder, candidate)
        if os.path.isfile(path):
            return path
    return None


def pkg_config_modules(entries: dict[str, tuple[str, str]]) -> list[str]:
    """The modules every successful pkg_check_modules() asked for, without version bounds."""
    modules = []
    for name, (_, value) in sorted(entries.items()):
        if not name.startswith("__pkg_config_arguments_"):
            continue
        prefix = name[len("__pkg_config_arguments_") :]
        if entries.get(f"{prefix}_FOUND", ("", ""))[1] != "1":
            continue
        for word in value.split(";"):
            if word and word not in PKG_CONFIG_KEYWORDS:
                modules.append(re.split(r"[<>=\s]", word, maxsplit=1)[0])
    return modules


def found_files(entries: dict[str, tuple[str, str]], problems: list[str]) -> list[Found]:
    found = []
    for name, (kind, value) in sorted(entries.items()):
        if kind not in ("PATH", "FILEPATH") or name.startswith("CMAKE_INSTALL_"):
            continue
        if name in OPTIONAL_ENTRIES or not value.startswith("/") or value.endswith("-NOTFOUND"):
            continue
        if kind == "FILEPATH":
            found.append(Found(name, value))
        elif name in HEADER_OF_INCLUDE_DIR:
            found.append(Found(name, os.path.join(value, HEADER_OF_INCLUDE_DIR[name])))
        elif name.endswith("_DIR") and (config := package_config(name, value)):
            found.append(Found(name, config))
        else:
            problems.append(
                f"{name}={value}: no package configuration there, and no header known for it "
                f"(name the header in HEADER_OF_INCLUDE_DIR in {Path(__file__).name})"
            )
    return found


def pkg_config_files(modules: list[str], problems: list[str]) -> list[Found]:
    """The .pc files of the modules and of every module they require."""
    found = []
    seen = set()
    queue = deque(modules)
    while queue:
        module = queue.popleft()
        if module in seen:
            continue
        seen.add(module)
        path = subprocess.run(
            ["pkg-config", "--path", module], capture_output=True, text=True
        ).stdout.strip()
        if not path:
            problems.append(f"pkg-config module {module}: not found by pkg-config --path")
            continue
        found.append(Found(f"pkg-config {module}", path))
        requires = subprocess.run(
            ["pkg-config", "--print-requires", "--print-requires-private", module],
            capture_output=True,
            text=True,
        ).stdout
        for line in requires.splitlines():
            if line.split():
                queue.append(line.split()[0])
    return found


def parse_dependency_field(text: str) -> list[list[str]]:
    """'a (>= 1) | b:any, c' -> [['a', 'b'], ['c']]: names only, arch qualifiers dropped.

    Version bounds are left to dpkg, which refuses to leave an installed package whose
    dependencies are unmet.
    """
    clauses = []
    for clause in text.split(","):
        names = []
        for alternative in clause.split("|"):
            alternative = re.sub(r"\(.*?\)|\[.*?\]|<.*?>", "", alternative).strip()
            if alternative:
                names.append(alternative.split(":")[0])
        if names:
            clauses.append(names)
    return clauses


def parse_status(text: str) -> Installed:
    """Reads the lines of `dpkg-query -W` with the fields package, status, Depends,
    Pre-Depends and Provides, separated by tabs."""
    installed = Installed()
    for line in text.splitlines():
        parts = line.split("\t")
        if len(parts) != 5 or not parts[1].endswith(" installed"):
            continue
        package, _, depends, pre_depends, provides = parts
        clauses = installed.depends.setdefault(package, [])
        clauses += parse_dependency_field(depends) + parse_dependency_field(pre_depends)
        for [virtual, *_] in parse_dependency_field(provides):
            installed.providers.setdefault(virtual, set()).add(package)
    return installed


def closure(listed: list[str], installed: Installed) -> dict[str, str | None]:
    """Every package the listed ones bring in, each mapped to the package that pulled it in.

    Of the alternatives a | b, the first one that is installed here (itself, or a package that
    provides it) is followed: it is the one that satisfies the dependency on this machine.
    """
    parent: dict[str, str | None] = {}
    queue = deque()
    for package in listed:
        for satisfier in installed.satisfiers(package):
            if satisfier not in parent:
                parent[satisfier] = None
                queue.append(satisfier)
    while queue:
        package = queue.popleft()
        for alternatives in installed.depends.get(package, []):
            for name in alternatives:
                satisfiers = installed.satisfiers(name)
                if satisfiers:
                    for satisfier in sorted(satisfiers - parent.keys()):
                        parent[satisfier] = package
                        queue.append(satisfier)
                    break
    return parent


def path_variants(path: str) -> list[str]:
    """The names dpkg may know a file by: as found, under the merged-/usr alias, and the file
    a symbolic link (such as an /etc/alternatives chain) finally reaches."""
    variants = []
    for p in (path, os.path.realpath(path)):
        variants.append(p)
        for top in ("/bin/", "/sbin/", "/lib/", "/lib64/"):
            if p.startswith(top):
                variants.append("/usr" + p)
            elif p.startswith("/usr" + top):
                variants.append(p[len("/usr") :])
    return list(dict.fromkeys(variants))


def owners_of(paths: list[str]) -> dict[str, set[str]]:
    # dpkg-query exits 1 when some path belongs to no package; those are simply left out
    result = subprocess.run(["dpkg-query", "-S", *paths], capture_output=True, text=True)
    return parse_search(result.stdout, set(paths))


def parse_search(text: str, wanted: set[str]) -> dict[str, set[str]]:
    """Reads `dpkg-query -S` lines such as 'libgl-dev:amd64: /usr/include/GL/gl.h' or
    'a, b: /usr/share/x'; a pattern matches more than the exact path, hence `wanted`."""
    owners: dict[str, set[str]] = {}
    for line in text.splitlines():
        if line.startswith("diversion by "):
            continue
        packages, sep, path = line.partition(": ")
        if sep and path in wanted:
            owners.setdefault(path, set()).update(
                p.strip().split(":")[0] for p in packages.split(",")
            )
    return owners


def chain(package: str, parent: dict[str, str | None]) -> str:
    steps = [package]
    while parent.get(steps[-1]) is not None:
        steps.append(parent[steps[-1]])
    return " <- ".join(steps)


def main() -> int:
    here = Path(__file__).resolve().parent
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", type=Path)
    parser.add_argument("--install-script", type=Path, default=here / "install-deps.sh")
    args = parser.parse_args()

    listed = subprocess.run(
        ["bash", str(args.install_script), "--list"], capture_output=True, text=True, check=True
    ).stdout.split()
    if not listed:
        print(f"{args.install_script} --list printed no package", file=sys.stderr)
        return 1

    cache = args.build_dir / "CMakeCache.txt"
    entries = parse_cache(cache.read_text())
    problems: list[str] = []
    found = found_files(entries, problems)
    found += pkg_config_files(pkg_config_modules(entries), problems)
    # a cache read wrongly would otherwise pass with nothing to check
    if not any(f.entry.endswith("_DIR") and f.path.endswith(".cmake") for f in found):
        problems.append(f"{cache}: no package configuration found in it")

    status = subprocess.run(
        [
            "dpkg-query",
            "-W",
            "-f=${Package}\t${Status}\t${Depends}\t${Pre-Depends}\t${Provides}\n",
        ],
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    installed = parse_status(status)
    for package in listed:
        if not installed.satisfiers(package):
            problems.append(
                f"{package} is on the list but not installed: run {args.install_script} first"
            )
    parent = closure(listed, installed)

    owners = owners_of(sorted({v for f in found for v in path_variants(f.path)}))
    for f in found:
        owned_by = next((owners[v] for v in path_variants(f.path) if v in owners), None)
        if owned_by is None:
            problems.append(f"{f.entry}: {f.path} belongs to no package")
            continue
        inside = sorted(owned_by & parent.keys())
        if inside:
            print(f"ok      {f.path}  ({chain(inside[0], parent)})")
        else:
            problems.append(
                f"{f.entry}: {f.path} belongs to {', '.join(sorted(owned_by))}, which "
                f"{args.install_script.name} neither installs nor pulls in"
            )

    for problem in problems:
        print(f"MISSING {problem}")
    print(
        f"{len(found)} files found by the configure step of {args.build_dir}, "
        f"{len(listed)} listed packages bringing in {len(parent)}: "
        f"{len(problems)} problem{'s' if len(problems) != 1 else ''}"
    )
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
