#!/usr/bin/env python3
"""The link graph as the include graph: each CMake target built from the rooms' sources must link the library of
every room that its files include, and no other. A room's library is the static library built from that room alone;
it owns the room's headers too, as does a program that is the only target of its room (the kit). Any other target
(Tovira.exe, which puts rooms together; the resource generator beside its library) has only its sources.

usage: scripts/check-rooms.py BUILD_FOLDER...   (configured builds: build/native for the kit and the tools, a
Windows one for the Windows platform and Tovira.exe). Exits 1 and names the target where the two differ."""
import json
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOMS = ["platform/win32", "platform", "launcher", "register", "art", "pictures", "picturefiles", "kit", "tools",
         "resources"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def room_of(path):
    """The room of a path relative to the root: the longest room folder that holds the file directly."""
    folder = os.path.dirname(path)
    return folder if folder in ROOMS else None


def included_paths(path):
    """The quoted includes of a file as paths from the root: a bare name lies beside the file, or is made from a
    template of that name beside it (BuildSettings.h.in), or is one of the room's own headers."""
    with open(os.path.join(ROOT, path), encoding="utf-8") as source:
        names = INCLUDE.findall(source.read())
    found = []
    for name in names:
        if "/" not in name:
            name = os.path.join(os.path.dirname(path), name)
        found.append(os.path.normpath(name))
    return found


def targets_of(build):
    """Each target's sources (paths from the root), from the build's compile commands."""
    with open(os.path.join(build, "compile_commands.json")) as commands:
        entries = json.load(commands)
    targets = {}
    for entry in entries:
        target = re.search(r"CMakeFiles/([^/]+)\.dir/", entry["output"] if "output" in entry else entry["command"])
        source = os.path.relpath(os.path.realpath(entry["file"]), ROOT)
        if target:
            targets.setdefault(target.group(1), set()).add(source)
    return targets


def graph_of(build):
    """Each target's direct link dependencies, and the static libraries, as CMake's own graph of the build states
    them."""
    with tempfile.TemporaryDirectory() as folder:
        dot = os.path.join(folder, "graph.dot")
        subprocess.run(["cmake", f"--graphviz={dot}", build], check=True, capture_output=True)
        with open(dot) as graph:
            text = graph.read()
    links = {}
    for source, target in re.findall(r"// (\S+) -> (\S+)$", text, re.M):
        if source != target:
            links.setdefault(source, set()).add(target)
    return links, set(re.findall(r'label = "([^"]+)", shape = octagon', text))


def check(build):
    targets = {name: sources for name, sources in targets_of(build).items()
               if all(room_of(source) for source in sources)}
    links, static = graph_of(build)
    built = {}
    for name, sources in targets.items():
        for room in {room_of(source) for source in sources}:
            built.setdefault(room, set()).add(name)
    library = {room: name for room, names in built.items() for name in names
               if name in static and all(room_of(source) == room for source in targets[name])}
    owner = {room: library.get(room, next(iter(names))) for room, names in built.items()
             if room in library or len(names) == 1}
    failures = 0
    for name, sources in sorted(targets.items()):
        files = set(sources)
        own = {room for room, first in owner.items() if first == name}
        for room in own:
            files |= {f"{room}/{header}" for header in os.listdir(os.path.join(ROOT, room)) if header.endswith(".h")}
        reached = {room_of(path) for file in files for path in included_paths(file)} - own - {None}
        expected = {library[room] for room in reached if room in library}
        linked = links.get(name, set()) & set(library.values())
        header_only = sorted(room for room in reached if room not in library)
        note = f" (headers only: {', '.join(header_only)})" if header_only else ""
        if expected == linked:
            print(f"ok   {name}: links {', '.join(sorted(linked)) or 'no room'}{note}")
        else:
            failures += 1
            print(f"FAIL {name}: includes {', '.join(sorted(expected)) or 'no room'}"
                  f" but links {', '.join(sorted(linked)) or 'no room'}")
    return failures


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(1 if sum(check(os.path.abspath(build)) for build in sys.argv[1:]) else 0)
