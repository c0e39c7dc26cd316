"""docs/demo.png, the README's picture, held against the demo as the build pictures it now
(build/demo.png, target velquin_demo_screenshot, over one still frame of the recording): the
same size, and the same picture but for what the moment of the shot changes (the robot's wave,
the turntable's turn: a few blocks, a fraction of a level on average). A picture of an older
demo, or of a player that draws something else, fails; then
`cmake --build build --target velquin_demo_picture` replaces it."""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
import pictures  # noqa: E402

SOURCE = os.environ.get("VELQUIN_SOURCE_DIR", os.path.join(HERE, "..", ".."))
FRESH = os.environ.get("VELQUIN_DEMO_PICTURE", "")
BLOCK = 10  # pixels: blocks are compared by their mean colour


def block_means(rows, width, height):
    means = {}
    for by in range(0, height - BLOCK + 1, BLOCK):
        for bx in range(0, width - BLOCK + 1, BLOCK):
            total = [0, 0, 0]
            for y in range(by, by + BLOCK):
                row = rows[y]
                for x in range(bx, bx + BLOCK):
                    for c in range(3):
                        total[c] += row[3 * x + c]
            means[(bx, by)] = [t / (BLOCK * BLOCK) for t in total]
    return means


def difference(committed, fresh):
    """(mean difference of the pictures' blocks, share of blocks that differ by more than 32
    levels in some colour), each picture given as (width, height, rows)."""
    a = block_means(committed[2], committed[0], committed[1])
    b = block_means(fresh[2], fresh[0], fresh[1])
    changes = [max(abs(a[k][c] - b[k][c]) for c in range(3)) for k in a]
    return sum(changes) / len(changes), sum(1 for d in changes if d > 32) / len(changes)


class DemoPicture(unittest.TestCase):
    def test_the_readmes_picture_is_the_demo_of_today(self):
        self.assertTrue(os.path.isfile(FRESH), "the build made no picture of the demo (%s)" % FRESH)
        committed = pictures.read_png(os.path.join(SOURCE, "docs", "demo.png"))
        fresh = pictures.read_png(FRESH)
        self.assertEqual(committed[:2], fresh[:2], "docs/demo.png is %dx%d, the demo's picture %dx%d" %
                         (committed[0], committed[1], fresh[0], fresh[1]))
        mean, changed = difference(committed, fresh)
        self.assertLess(mean, 3, "docs/demo.png differs from the demo's picture by %.1f levels on average" % mean)
        self.assertLess(changed, 0.02, "%.1f%% of docs/demo.png differs from the demo's picture" % (100 * changed))
        self.assertLess(os.path.getsize(os.path.join(SOURCE, "docs", "demo.png")), 400 * 1024)

    def test_a_different_picture_is_seen(self):
        # The same demo with its right half blank: far beyond the bounds above.
        width, height, rows = pictures.read_png(os.path.join(SOURCE, "docs", "demo.png"))
        blanked = [row[:3 * (width // 2)] + bytes(3 * (width - width // 2)) for row in rows]
        mean, changed = difference((width, height, rows), (width, height, blanked))
        self.assertGreater(changed, 0.3)
        self.assertGreater(mean, 3)


if __name__ == "__main__":
    unittest.main()
