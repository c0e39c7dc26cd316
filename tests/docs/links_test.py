"""Every link and picture of the Markdown documents leads somewhere: to a file that exists (in
the source tree, or in the installed documentation, whose folders are the same) and, with
"#part", to a heading of that document. Read where the documents are read: a clone on a code
host and /usr/share/doc/velquin.
    links_test.py             the source tree (unittest)
    links_test.py FOLDER      an installed copy: every .md file below FOLDER"""
import os
import re
import sys
import tempfile
import unittest

SOURCE = os.environ.get("VELQUIN_SOURCE_DIR",
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DOCUMENTS = ["README.md", "docs/protocol.md", "docs/markers.md", "docs/content.md", "clients/python/README.md"]
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def anchors(path):
    """The anchors a code host gives the headings of a Markdown file: lower case, punctuation
    dropped, blanks as hyphens."""
    found = set()
    in_code = False
    with open(path, encoding="utf-8") as file:
        for line in file:
            if line.startswith("```"):
                in_code = not in_code
            heading = re.match(r"#{1,6}\s+(.*?)\s*$", line)
            if heading and not in_code:
                text = re.sub(r"[^\w\- ]", "", heading.group(1).lower().replace("`", ""))
                found.add(text.replace(" ", "-"))
    return found


def broken_links(root, documents):
    """(document, target, why) for every link of the documents (paths relative to root) that
    leads nowhere."""
    broken = []
    for document in documents:
        path = os.path.join(root, document)
        with open(path, encoding="utf-8") as file:
            text = re.sub(r"```.*?```", "", file.read(), flags=re.S)
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target):
                continue  # a web address or mail link: not ours to check here
            name, _, anchor = target.partition("#")
            linked = os.path.normpath(os.path.join(os.path.dirname(path), name)) if name else path
            if not os.path.isfile(linked):
                broken.append((document, target, "no such file"))
            elif anchor and linked.endswith(".md") and anchor not in anchors(linked):
                broken.append((document, target, "no such heading"))
            elif not os.path.realpath(linked).startswith(os.path.realpath(root) + os.sep):
                broken.append((document, target, "outside the documents"))
    return broken


class Links(unittest.TestCase):
    def test_links_work_in_the_source_tree(self):
        self.assertEqual(broken_links(SOURCE, DOCUMENTS), [])

    def test_the_checker_sees_broken_links(self):
        with tempfile.TemporaryDirectory() as root:
            os.mkdir(os.path.join(root, "docs"))
            with open(os.path.join(root, "docs", "a.md"), "w") as file:
                file.write("# A `big` part, too\n")
            with open(os.path.join(root, "README.md"), "w") as file:
                file.write("![p](docs/p.png) [a](docs/a.md#a-big-part-too) [b](docs/a.md#nope) [c](../x.md) "
                           "[d](https://example.org) [e](#readme)\n```\n[f](not/checked.md)\n```\n# Readme\n")
            self.assertEqual(broken_links(root, ["README.md"]),
                             [("README.md", "docs/p.png", "no such file"),
                              ("README.md", "docs/a.md#nope", "no such heading"),
                              ("README.md", "../x.md", "no such file")])

    def test_anchors_of_headings(self):
        self.assertIn("units-and-axes", anchors(os.path.join(SOURCE, "docs", "content.md")))
        self.assertIn("a-whole-session", anchors(os.path.join(SOURCE, "docs", "protocol.md")))


if __name__ == "__main__":
    if len(sys.argv) == 2 and os.path.isdir(sys.argv[1]):
        folder = sys.argv[1]
        documents = [os.path.relpath(os.path.join(where, name), folder)
                     for where, _, names in os.walk(folder) for name in names if name.endswith(".md")]
        problems = broken_links(folder, sorted(documents))
        for document, target, why in problems:
            print("%s: %s: %s" % (document, target, why))
        print("%d document(s), %d broken link(s)" % (len(documents), len(problems)))
        sys.exit(1 if problems or not documents else 0)
    unittest.main()
