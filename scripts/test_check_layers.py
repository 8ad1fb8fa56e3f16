#!/usr/bin/env python3
"""Tests of scripts/check_layers.py on small trees of its own: a tree that follows its table
passes; a wrong-way include, an include between folders of one layer in the wrong order, and a
folder missing from the table each fail with a message that names the file, the line and the
rule. Standard library only; run by ctest (label "layers")."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")

TABLE = """# Architecture

## Layers

| # | layer | folders, in order | holds |
|---|---|---|---|
| 1 | platform | `Platform/` | memory |
| 2 | base | `Files/Base/` | text |
| 3 | world | `Files/Object/`, `Files/Room/` | objects; rooms |
| 4 | entry | `./` | the entry |

## Next section
"""


def write(root, path, text):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8") as f:
        f.write(text)


def make_tree(root):
    write(root, "docs/architecture.md", TABLE)
    write(root, "Platform/Memory.h", "#pragma once\n")
    write(root, "Files/Base/Text.h", '#pragma once\n#include "Platform/Memory.h"\n')
    write(root, "Files/Object/Object.h", '#pragma once\n#include "Files/Base/Text.h"\n#include <vector>\n')
    write(root, "Files/Room/Room.cpp", '#include "Files/Object/Object.h"\n#include "Room.h"\n')
    write(root, "Files/Room/Room.h", "#pragma once\n")
    write(root, "Files/Room/Linux/RoomM.cpp", '#include "Files/Room/Room.h"\n')
    write(root, "Main.cpp", '#include "Files/Room/Room.h"\n')


def run(root, *extra):
    return subprocess.run([sys.executable, CHECKER, "--root", root, *extra], capture_output=True, text=True)


class LayerCheck(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name
        make_tree(self.root)

    def tearDown(self):
        self.dir.cleanup()

    def test_a_tree_that_follows_the_table_passes_and_prints_its_graph(self):
        r = run(self.root, "--graph")
        self.assertEqual(r.returncode, 0, r.stdout)
        self.assertIn("Files/Room -> Files/Object (1)", r.stdout)
        self.assertIn(". -> Files/Room (1)", r.stdout)
        self.assertIn("includes follow the layer table", r.stdout)

    def test_an_include_up_the_order_fails_naming_file_line_and_rule(self):
        write(self.root, "Files/Base/Text.cpp", '#include "Files/Base/Text.h"\n\n#include "Files/Room/Room.h"\n')
        r = run(self.root)
        self.assertEqual(r.returncode, 1)
        self.assertIn("Files/Base/Text.cpp:3: Files/Base (base) includes Files/Room/Room.h of Files/Room (world)",
                      r.stdout)
        self.assertIn("only folders listed before it", r.stdout)

    def test_folders_of_one_layer_include_only_those_listed_before_them(self):
        write(self.root, "Files/Object/Object.cpp", '#include "Files/Room/Room.h"\n')
        r = run(self.root)
        self.assertEqual(r.returncode, 1)
        self.assertIn("Files/Object/Object.cpp:1: Files/Object (world) includes Files/Room/Room.h", r.stdout)

    def test_a_folder_outside_the_table_fails(self):
        write(self.root, "Files/Sound/Sound.cpp", '#include "Files/Base/Text.h"\n')
        r = run(self.root)
        self.assertEqual(r.returncode, 1)
        self.assertIn("folder Files/Sound is not in the layer table", r.stdout)

    def test_a_library_that_calls_up_the_order_fails(self):
        # base calls a function of world; world calls one of base (allowed).
        build = os.path.join(self.root, "build")
        os.makedirs(build)
        write(self.root, "base.c", "int room_count(void);\nint text_width(void) { return room_count(); }\n")
        write(self.root, "world.c", "int text_width(void);\nint room_count(void) { return text_width() + 1; }\n")
        for name in ("base", "world"):
            obj = os.path.join(build, name + ".o")
            subprocess.run(["cc", "-c", os.path.join(self.root, name + ".c"), "-o", obj], check=True)
            subprocess.run(["ar", "rcs", os.path.join(build, f"libzb_{name}.a"), obj], check=True)
        r = run(self.root, "--libs", build)
        self.assertEqual(r.returncode, 1)
        self.assertIn("libzb_base.a (base.o) uses room_count, defined in the higher layer world", r.stdout)

    def test_the_list_gives_the_build_its_layers_in_order(self):
        r = run(self.root, "--list")
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stdout.splitlines(),
                         ["platform Platform", "base Files/Base", "world Files/Object Files/Room", "entry ."])


if __name__ == "__main__":
    unittest.main()
