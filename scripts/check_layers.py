#!/usr/bin/env python3
"""Checks that the runner's folders include and call only downward.

The layer table of docs/architecture.md (section "Layers") lists the layers lowest first, each
with its folders in order. Every folder has one place in that order: a folder may include the
folders listed before it, in its own layer or in a lower one, and never one listed after it.
The order is total, so the folder graph has no circle.

  check_layers.py [--root DIR] [--graph]
      reads every #include "..." of the runner's sources (Platform/, Files/, Linux/ and the
      entry beside them) and prints each include that goes against the table: file, line,
      the folders and the rule. --graph also prints the folder graph (which folder includes
      which, with the number of includes). Exit 1 when an include breaks the order.

  check_layers.py --list
      prints the table for the build: one line per layer, its name then its folders.

  check_layers.py --root DIR --libs BUILD_DIR
      reads the layers' static libraries (BUILD_DIR/libzb_<layer>.a) with nm and checks that
      each one uses only symbols defined in its own layer or in lower ones: a call that goes
      up fails here even when the linker happens to find it.

Standard library only.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

TABLE_SECTION = "## Layers"
SOURCE_ROOTS = ("Platform", "Files", "Linux")
ENTRY = "."
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_table(root):
    """[(layer, [folders...]), ...] lowest first, from docs/architecture.md."""
    path = os.path.join(root, "docs", "architecture.md")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    start = text.find(TABLE_SECTION + "\n")
    if start < 0:
        sys.exit(f"{path}: no '{TABLE_SECTION}' section")
    layers = []
    for line in text[start:].splitlines()[1:]:
        if line.startswith("## "):
            break
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 3 or not re.fullmatch(r"\d+", cells[0]):
            continue
        folders = [f.rstrip("/") or ENTRY for f in re.findall(r"`([^`]+)`", cells[2])]
        layers.append((cells[1], folders))
    if not layers:
        sys.exit(f"{path}: the '{TABLE_SECTION}' table has no rows")
    return layers


def folder_of(path):
    """The folder a source belongs to: Files/<Module>, Platform, or the entry."""
    parts = path.split("/")
    if parts[0] == "Files" and len(parts) > 2:
        return "Files/" + parts[1]
    if parts[0] == "Platform":
        return "Platform"
    return ENTRY  # Zimbrel.cpp, Zimbrel.h, Linux/


def sources(root):
    found = []
    for name in os.listdir(root):
        if name.endswith((".cpp", ".h")) and os.path.isfile(os.path.join(root, name)):
            found.append(name)
    for top in SOURCE_ROOTS:
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if name.endswith((".cpp", ".h", ".inc")):
                    found.append(os.path.relpath(os.path.join(dirpath, name), root))
    return sorted(found)


def resolve(root, source, name):
    for candidate in (os.path.join(os.path.dirname(source), name), name):
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def check_includes(root, layers, show_graph):
    order = {}
    layer_of = {}
    for layer, folders in layers:
        for folder in folders:
            order[folder] = len(order)
            layer_of[folder] = layer
    problems = []
    graph = collections.Counter()
    for source in sources(root):
        a = folder_of(source)
        if a not in order:
            problems.append(f"{source}: folder {a} is not in the layer table of docs/architecture.md")
            continue
        with open(os.path.join(root, source), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(root, source, m.group(1))
                if target is None:
                    continue  # a system or generated header
                b = folder_of(target)
                if a == b:
                    continue
                graph[(a, b)] += 1
                if b not in order:
                    problems.append(f"{source}:{number}: includes {target}, whose folder {b} "
                                    "is not in the layer table")
                elif order[b] > order[a]:
                    problems.append(
                        f"{source}:{number}: {a} ({layer_of[a]}) includes {target} of {b} "
                        f"({layer_of[b]}); a folder may include only folders listed before it "
                        "in the layer table")
    if show_graph:
        print("folder graph (includer -> included: includes):")
        for folder in sorted(order, key=order.get):
            targets = sorted((b for (x, b) in graph if x == folder), key=order.get)
            if targets:
                print(f"  {folder} -> " + ", ".join(f"{b} ({graph[(folder, b)]})" for b in targets))
    return problems


def nm_symbols(library):
    out = subprocess.run(["nm", "-C", "--defined-only", "-g", library], capture_output=True,
                         text=True, check=True).stdout
    defined = set()
    for line in out.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] not in ("U", "w", "v"):
            defined.add(parts[2])
    out = subprocess.run(["nm", "-C", "-u", library], capture_output=True, text=True,
                         check=True).stdout
    used = collections.defaultdict(set)  # symbol -> members using it
    member = "?"
    for line in out.splitlines():
        if line.endswith(":") and not line.startswith(" "):
            member = line[:-1]
        elif line.strip().startswith("U "):
            used[line.strip()[2:]].add(member)
    return defined, used


def check_libraries(build, layers):
    defined_in = {}
    libraries = []
    for index, (layer, _) in enumerate(layers):
        path = os.path.join(build, f"libzb_{layer}.a")
        if not os.path.isfile(path):
            continue
        defined, used = nm_symbols(path)
        libraries.append((index, layer, used))
        for symbol in defined:
            defined_in.setdefault(symbol, (index, layer))
    if not libraries:
        return [f"{build}: no libzb_<layer>.a found"]
    problems = []
    for index, layer, used in libraries:
        for symbol, members in sorted(used.items()):
            owner = defined_in.get(symbol)
            if owner and owner[0] > index:
                problems.append(f"libzb_{layer}.a ({', '.join(sorted(members))}) uses {symbol}, "
                                f"defined in the higher layer {owner[1]}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--graph", action="store_true")
    parser.add_argument("--libs", metavar="BUILD_DIR")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    layers = read_table(root)
    if args.list:
        for layer, folders in layers:
            print(" ".join([layer] + folders))
        return 0
    if args.libs:
        problems = check_libraries(args.libs, layers)
        what = "layer libraries"
    else:
        problems = check_includes(root, layers, args.graph)
        what = "includes"
    for p in problems:
        print(p)
    if problems:
        print(f"layer check: {len(problems)} {what} against the layer table "
              "(docs/architecture.md, section Layers)")
        return 1
    print(f"layer check: {what} follow the layer table")
    return 0


if __name__ == "__main__":
    sys.exit(main())
