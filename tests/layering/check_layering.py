#!/usr/bin/env python3
"""Checks every #include between the source folders against the layering table in README.md.

Usage: check_layering.py SOURCE_DIR

The table has one row per source folder and the folders it may include:

    | folder | may include |
    |---|---|
    | `platform/` | nothing of ours |
    | `resources/` | `platform/`, `zip/` |

Prints one line per include that the table does not allow (file, line, include) and exits 1;
exits 0 when every include fits. The table itself must name only existing folders, give every
folder with C or C++ sources a row, and have no cycle, or the folders could still grow into one.

Within the application folder (app/) the same check keeps the parts below the application
object: only the application object and main include it. And every class stays one a reader can
hold: no file of app/ over 600 lines, no class anywhere with more than three bases.
"""

import os
import re
import sys

TABLE_HEADER = re.compile(r"^\|\s*folder\s*\|\s*may include\s*\|\s*$")
FOLDER = re.compile(r"`([A-Za-z0-9_.-]+)/`")
INCLUDE = re.compile(r'^\s*#\s*include\s*(["<])([^">]+)[">]')
SOURCE_SUFFIXES = (".h", ".hh", ".hpp", ".c", ".cc", ".cpp", ".cxx", ".inl")
# Tests and benchmarks sit above everything and may include any folder; they are not layered.
UNLAYERED = {"tests", "bench"}
# The application object, which owns and wires the parts of app/, and who may include it.
APPLICATION = "app/Scene.h"
APPLICATION_USERS = {"app/Scene.cpp", "app/main.cpp"}
LONGEST_APP_FILE = 600
MOST_BASES = 3
# "class Name final : public A, protected B<C, D>, ... {" up to the brace, over several lines.
CLASS_HEAD = re.compile(r"\b(?:class|struct)\s+(\w+)(?:\s+final)?\s*:(?!:)([^;{]*)\{")


def read_table(readme_path):
    """Returns ({folder: set of folders it may include}, problems)."""
    with open(readme_path, encoding="utf-8") as readme:
        lines = readme.read().splitlines()
    start = next((i for i, line in enumerate(lines) if TABLE_HEADER.match(line)), None)
    if start is None:
        return {}, [f"{readme_path}: no table with the header '| folder | may include |'"]
    table, problems = {}, []
    for number, line in enumerate(lines[start + 2 :], start + 3):
        if not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        named = FOLDER.findall(cells[0]) if cells else []
        if len(cells) != 2 or len(named) != 1:
            problems.append(f"{readme_path}:{number}: a row needs one `folder/` and its list: {line}")
            continue
        if named[0] in table:
            problems.append(f"{readme_path}:{number}: `{named[0]}/` has a second row")
        table[named[0]] = set(FOLDER.findall(cells[1]))
    return table, problems


def find_cycle(table):
    """Returns one cycle of the table as a list of folders (first repeated at the end), or None."""
    state = {}  # folder -> "open" while on the current path, "done" once fully explored

    def visit(folder, path):
        state[folder] = "open"
        path.append(folder)
        for lower in sorted(table.get(folder, ())):
            if lower == folder:
                continue
            if state.get(lower) == "open":
                return path[path.index(lower) :] + [lower]
            if lower not in state:
                cycle = visit(lower, path)
                if cycle:
                    return cycle
        path.pop()
        state[folder] = "done"
        return None

    for folder in sorted(table):
        if folder not in state:
            cycle = visit(folder, [])
            if cycle:
                return cycle
    return None


def source_files(folder_path):
    for root, directories, files in os.walk(folder_path):
        directories.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(root, name)


def count_bases(base_list):
    """The bases in the text between a class head's colon and its brace; commas inside template
    arguments do not count."""
    depth, bases = 0, 1
    for character in base_list:
        if character == "<":
            depth += 1
        elif character == ">":
            depth -= 1
        elif character == "," and depth == 0:
            bases += 1
    return bases


def check_shape(relative, text):
    """Problems of one file of ours that are not about its folder: its size, its classes' bases
    and, in app/, whether it reaches up to the application object."""
    problems = []
    if relative.startswith("app/"):
        lines = text.count("\n")
        if lines > LONGEST_APP_FILE:
            problems.append(f"{relative}: {lines} lines; a file of app/ keeps to {LONGEST_APP_FILE}")
        if relative not in APPLICATION_USERS:
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(2) == APPLICATION:
                    problems.append(
                        f"{relative}:{number}: {line.strip()} -- only the application object and main include it"
                    )
    without_comments = re.sub(r"//[^\n]*", "", text)
    for match in CLASS_HEAD.finditer(without_comments):
        bases = count_bases(match.group(2))
        if bases > MOST_BASES:
            number = without_comments.count("\n", 0, match.start()) + 1
            problems.append(f"{relative}:{number}: class {match.group(1)} has {bases} bases; at most {MOST_BASES}")
    return problems


def check(source_dir):
    """Returns the list of problems; empty when the folders keep to the table."""
    table, problems = read_table(os.path.join(source_dir, "README.md"))
    if not table:
        return problems

    top_folders = sorted(
        name
        for name in os.listdir(source_dir)
        if os.path.isdir(os.path.join(source_dir, name)) and not name.startswith(".")
    )
    for folder in sorted(table):
        if folder not in top_folders:
            problems.append(f"README.md: the table names `{folder}/`, which does not exist")
        for lower in sorted(table[folder] - set(table)):
            problems.append(f"README.md: `{folder}/` may include `{lower}/`, which has no row of its own")
    cycle = find_cycle(table)
    if cycle:
        problems.append("README.md: the table has a cycle: " + " -> ".join(cycle))

    for folder in top_folders:
        if folder in UNLAYERED or folder.startswith("build"):
            continue
        files = list(source_files(os.path.join(source_dir, folder)))
        if folder not in table:
            if files:
                problems.append(f"{folder}/ holds C or C++ sources but has no row in the README table")
            continue
        for path in files:
            relative = os.path.relpath(path, source_dir)
            with open(path, encoding="utf-8", errors="replace") as source:
                text = source.read()
            problems.extend(check_shape(relative, text))
            for number, line in enumerate(text.splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, included = match.groups()
                target = included.split("/", 1)[0]
                if "/" not in included or target == folder or target not in top_folders:
                    continue
                # <net/if.h> is the system's; an angle include is ours only when we have the file.
                if quote == "<" and not os.path.isfile(os.path.join(source_dir, included)):
                    continue
                if target not in table[folder]:
                    allowed = ", ".join(f"{name}/" for name in sorted(table[folder])) or "nothing of ours"
                    problems.append(
                        f"{relative}:{number}: {line.strip()} -- {folder}/ may include only: {allowed}"
                    )
    return problems


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    problems = check(argv[1])
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} layering problem(s); the table is in README.md under 'Layout'")
        return 1
    print("every include keeps to the layering table")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
