"""The layering check on small made-up trees: what it must catch, and what it must let pass."""

import os
import tempfile
import unittest

import check_layering

TABLE = """# Made up

## Layout

| folder | may include |
|---|---|
| `base/` | nothing of ours |
| `middle/` | `base/` |
| `top/` | `base/`, `middle/` |

Text after the table.
"""


class Tree:
    def __init__(self, directory):
        self.directory = directory

    def write(self, relative, text):
        path = os.path.join(self.directory, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)


class CheckLayering(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.tree = Tree(self.scratch.name)
        self.tree.write("README.md", TABLE)
        self.tree.write("base/Base.h", "#pragma once\n#include <string>\n#include <net/if.h>\n")
        self.tree.write("middle/Middle.h", '#include "base/Base.h"\n#include "Local.h"\n')
        self.tree.write("top/sub/Top.cpp", '#include "middle/Middle.h"\n#include "base/Base.h"\n')
        self.tree.write("tests/any_test.cpp", '#include "top/sub/Top.cpp"\n')

    def tearDown(self):
        self.scratch.cleanup()

    def problems(self):
        return check_layering.check(self.scratch.name)

    def test_a_tree_that_keeps_to_the_table_passes(self):
        self.assertEqual(self.problems(), [])

    def test_an_upward_include_is_named_with_its_file_and_line(self):
        self.tree.write("base/Bad.cpp", '// why\n#include "base/Base.h"\n  #  include "top/sub/Top.cpp"\n')
        self.assertEqual(
            self.problems(),
            ['base/Bad.cpp:3: #  include "top/sub/Top.cpp" -- base/ may include only: nothing of ours'],
        )

    def test_an_angle_include_of_our_own_file_counts(self):
        self.tree.write("middle/Other.cpp", "#include <top/sub/Top.cpp>\n")
        problems = self.problems()
        self.assertEqual(len(problems), 1)
        self.assertTrue(problems[0].startswith("middle/Other.cpp:1: #include <top/sub/Top.cpp>"), problems)

    def test_a_cycle_in_the_table_is_refused_even_without_includes(self):
        self.tree.write("README.md", TABLE.replace("| `base/` | nothing of ours |", "| `base/` | `top/` |"))
        problems = self.problems()
        self.assertIn("README.md: the table has a cycle: base -> top -> base", problems)

    def test_the_table_must_cover_every_source_folder_and_only_real_ones(self):
        self.tree.write("extra/Extra.cpp", '#include "base/Base.h"\n')
        self.tree.write("README.md", TABLE.replace("`base/`, `middle/` |", "`base/`, `middle/`, `gone/` |"))
        problems = self.problems()
        self.assertIn("extra/ holds C or C++ sources but has no row in the README table", problems)
        self.assertIn("README.md: `top/` may include `gone/`, which has no row of its own", problems)

    def test_a_readme_without_the_table_fails(self):
        self.tree.write("README.md", "# Nothing here\n")
        self.assertEqual(len(self.problems()), 1)


class CheckShape(unittest.TestCase):
    """What keeps the application's parts readable: the checks beside the folder table."""

    def test_a_part_of_app_that_includes_the_application_object_is_named(self):
        problems = check_layering.check_shape("app/Part.cpp", '#include "app/Part.h"\n#include "app/Scene.h"\n')
        self.assertEqual(
            problems, ['app/Part.cpp:2: #include "app/Scene.h" -- only the application object and main include it']
        )
        self.assertEqual(check_layering.check_shape("app/main.cpp", '#include "app/Scene.h"\n'), [])

    def test_a_long_file_counts_in_app_only(self):
        long_text = "int x;\n" * 601
        self.assertEqual(
            check_layering.check_shape("app/Long.cpp", long_text),
            ["app/Long.cpp: 601 lines; a file of app/ keeps to 600"],
        )
        self.assertEqual(check_layering.check_shape("app/Long.cpp", "int x;\n" * 600), [])
        self.assertEqual(check_layering.check_shape("net/Long.cpp", long_text), [])

    def test_a_class_with_four_bases_is_named_and_template_commas_do_not_count(self):
        text = (
            "// class Comment : public A, public B, public C, public D {\n"
            "class Three : public A, public std::map<int, int>, private C {\n};\n"
            "struct Four final\n    : public A,\n      public B,\n      public C,\n      public D {\n};\n"
            "std::map<int, int>::iterator i; Base::Base() : a(1), b(2), c(3), d(4) {}\n"
        )
        self.assertEqual(
            check_layering.check_shape("net/Shapes.h", text),
            ["net/Shapes.h:4: class Four has 4 bases; at most 3"],
        )


if __name__ == "__main__":
    unittest.main()
