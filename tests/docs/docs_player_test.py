"""What the references say, held against the real player. docs/content.md: where each documented
translation moves an actor (seen in the player's window, over a camera frame of a marker at a
known pose), the rotation a new actor starts with, what `rotate(... 1, 0, 0, 0)` does to a
model, and that a quaternion is kept as sent. docs/protocol.md: the built-in resource
"Nothing", the title after project.new, a blank inside empty parentheses, widths of 0 and
below, and project.net.init on its own server."""
import math
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "clients", "python"))
import velquin  # noqa: E402
import pictures  # noqa: E402
from playerprocess import PlayerProcess, player_directory  # noqa: E402

SOURCE = os.environ.get("VELQUIN_SOURCE_DIR", os.path.join(HERE, "..", ".."))

# The words the documents use for directions in the marker's axes.
DIRECTIONS = {"right edge": (1, 0, 0), "left edge": (-1, 0, 0), "top edge": (0, 1, 0),
              "bottom edge": (0, -1, 0), "up": (0, 0, 1)}
MARKER_WIDTH = 80  # millimetres
BOX_HEIGHT = 60    # the model: a magenta post 10 x 60 x 10 mm, +y up, standing on its origin
# An asymmetric picture for the marker's inside, 8 x 8 cells.
MARKER_PICTURE = "P1\n8 8\n" + "\n".join(" ".join(row) for row in (
    "00000000", "01110000", "01000000", "01110110", "01000110", "01000000", "01111110", "00000000")) + "\n"


def document(name):
    with open(os.path.join(SOURCE, "docs", name), encoding="utf-8") as file:
        return file.read()


def numbers(text):
    return [float(v) for v in text.split(",")]


def post_obj(folder):
    """The model: an emissive magenta box in metres, its foot at the origin."""
    with open(os.path.join(folder, "post.mtl"), "w") as file:
        file.write("newmtl Magenta\nKd 1 0 1\nKe 1 0 1\n")
    lines = ["mtllib post.mtl", "usemtl Magenta"]
    for x in (-0.005, 0.005):
        for y in (0.0, BOX_HEIGHT / 1000):
            for z in (-0.005, 0.005):
                lines.append("v %g %g %g" % (x, y, z))
    for a, b, c, d in ((1, 2, 4, 3), (5, 7, 8, 6), (1, 5, 6, 2), (3, 4, 8, 7), (1, 3, 7, 5), (2, 6, 8, 4)):
        lines.append("f %d %d %d %d" % (a, b, c, d))
    with open(os.path.join(folder, "post.obj"), "w") as file:
        file.write("\n".join(lines) + "\n")


class Axes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="velquin-docs-")
        folder = cls.scratch.name
        tools = player_directory()
        with open(os.path.join(folder, "inside.pbm"), "w") as file:
            file.write(MARKER_PICTURE)
        subprocess.run([os.path.join(tools, "velquin-marker"), os.path.join(folder, "inside.pbm"),
                        os.path.join(folder, "mark")], check=True, stdout=subprocess.DEVNULL)
        cls.camera = pictures.read_camera(os.path.join(tools, "camera_para.dat"))
        cls.pose = pictures.marker_pose(420, 35)
        rows = pictures.render_marker(cls.camera, cls.pose, os.path.join(folder, "mark.png"), MARKER_WIDTH)
        pictures.write_ppm(os.path.join(folder, "desk.ppm"), cls.camera[0], cls.camera[1], rows)
        post_obj(folder)
        subprocess.run([os.path.join(tools, "velquin-pack"), os.path.join(folder, "post.obj"),
                        os.path.join(folder, "post.zip")], check=True, stdout=subprocess.DEVNULL)

        cls.process = PlayerProcess()
        cls.player = velquin.Player("127.0.0.1", cls.process.port, timeout=60)
        for name in ("mark.pat", "desk.ppm", "post.zip"):
            cls.player.upload(os.path.join(folder, name))
        p = cls.player.project
        with cls.player.listen(timeout=30) as events:
            p.videocapture.init("File", "desk.ppm@15")
            events.next_named("project.videocapture.initialised")
        p.trackers.AR.create("mark", "mark.pat", MARKER_WIDTH)
        p.resources.create("post", "post.zip")
        p.actors.mesh.create("post", "post", "post.mesh")
        p.actors.mesh.connect("post", "mark")

    @classmethod
    def tearDownClass(cls):
        cls.player.close()
        cls.process.stop()
        cls.scratch.cleanup()

    def setUp(self):
        self.mesh = self.player.project.actors.mesh
        self.mesh.translate("post", 0, 0, 0)
        self.mesh.rotate("post", 0.5, 0.5, 0.5, 0.5)

    def seen_at(self):
        """The centre of the model's pixels in the window, once two pictures in a row agree."""
        last = None
        for attempt in range(40):
            shot = os.path.join(self.scratch.name, "shot.png")
            subprocess.run([os.path.join(player_directory(), "velquin-screenshot"), shot, "Velquinor"], check=True)
            width, height, found = pictures.magenta_pixels(shot)
            if len(found) > 30:
                centre = (sum(x for x, _ in found) / len(found), sum(y for _, y in found) / len(found))
                if last is not None and math.dist(centre, last) < 1.0:
                    self.window = (width, height)
                    return centre
                last = centre
            time.sleep(0.25)
        self.fail("the model does not show steadily; player output:\n" + self.process.log())

    def expected_at(self, x, y, z):
        """Where the marker point (x, y, z), in millimetres, lies in the window."""
        u, v = pictures.project(self.camera, self.pose, x, y, z)
        return u * self.window[0] / self.camera[0], v * self.window[1] / self.camera[1]

    def test_translations_move_the_actor_as_documented(self):
        rows = re.findall(r'^\s*\| `translate\("[^"]*", (-?[\d.]+), (-?[\d.]+), (-?[\d.]+)\)` \|[^|]*\*\*([a-z ]+)\*\*',
                          document("content.md"), re.M)
        self.assertEqual(len(rows), 3, "content.md's table of translations")
        home = self.seen_at()
        centre = (0, 0, BOX_HEIGHT / 2)  # of the upright post, marker axes
        for x, y, z, words in rows:
            self.assertIn(words, DIRECTIONS)
            offset = (float(x), float(y), float(z))
            self.mesh.translate("post", *offset)
            moved = self.seen_at()
            observed = (moved[0] - home[0], moved[1] - home[1])
            # Where the documented direction, as far as the translation goes, would take it.
            length = math.sqrt(sum(c * c for c in offset))
            target = [centre[i] + DIRECTIONS[words][i] * length for i in range(3)]
            start, end = self.expected_at(*centre), self.expected_at(*target)
            expected = (end[0] - start[0], end[1] - start[1])
            cosine = (observed[0] * expected[0] + observed[1] * expected[1]) / (
                math.hypot(*observed) * math.hypot(*expected) or 1)
            self.assertGreater(cosine, 0.9, "translate(%s, %s, %s) does not move the actor towards %s: on screen "
                               "%r instead of %r" % (x, y, z, words, observed, expected))
            self.assertTrue(0.6 < math.hypot(*observed) / math.hypot(*expected) < 1.6, (observed, expected))

    def test_new_actors_start_upright_and_rotate_replaces_that(self):
        text = document("content.md")
        rotation = re.search(r"starts with the rotation `\(([^)]*)\)`", text)
        angles = re.search(r"`getAngles` reports as\s+`\(([^)]*)\)`", text)
        lying = re.search(r'`rotate\("[^"]*", 1, 0, 0, 0\)` \(no turn\) lays content on its side, its up\s+'
                          r'pointing to the marker\'s \*\*([a-z ]+)\*\*', text)
        self.assertTrue(rotation and angles and lying, "content.md's sentences on rotations")
        self.mesh.create("fresh", "post", "post.mesh")
        self.assertEqual(self.mesh.getRotation("fresh"), tuple(numbers(rotation.group(1))))
        for got, documented in zip(self.mesh.getAngles("fresh"), numbers(angles.group(1))):
            self.assertAlmostEqual(got, documented, places=3)
        self.mesh.destroy("fresh")

        def nearest(seen):
            """The documented direction whose point half the post's height away is nearest."""
            places = {words: self.expected_at(*[d * BOX_HEIGHT / 2 for d in direction])
                      for words, direction in DIRECTIONS.items()}
            return min(places, key=lambda words: math.dist(places[words], seen))
        self.assertEqual(nearest(self.seen_at()), "up", "the post does not stand upright")
        self.mesh.rotate("post", 1, 0, 0, 0)
        self.assertEqual(nearest(self.seen_at()), lying.group(1))
        self.mesh.rotate("post", *numbers(rotation.group(1)))
        self.assertEqual(nearest(self.seen_at()), "up")

    def test_rotate_keeps_its_quaternion_as_documented(self):
        kept = re.search(r'`rotate\("[^"]*", ([-\d., ]+)\)`, `getRotation` answers `\(([^)]*)\)` and a saved\s+'
                         r'project\s+holds `rw="([^"]*)"`', document("content.md"))
        self.assertIsNotNone(kept, "content.md's sentence on kept quaternions")
        self.mesh.rotate("post", *numbers(kept.group(1)))
        self.assertEqual(self.mesh.getRotation("post"), tuple(numbers(kept.group(2))))
        self.player.project.save("kept")
        with open(os.path.join(self.process.work_directory(), "kept.xml")) as file:
            self.assertIn('rw="%s"' % kept.group(3), file.read())


class Protocol(unittest.TestCase):
    def test_what_protocol_md_says_of_the_edges(self):
        text = " ".join(document("protocol.md").split())
        process = PlayerProcess()
        self.addCleanup(process.stop)
        player = velquin.Player("127.0.0.1", process.port, timeout=30)
        self.addCleanup(player.close)
        p = player.project
        # The built-in resource, until project.new.
        self.assertIn('`getFilename` answers `"void.zip"`', text)
        self.assertEqual(p.resources.getList(), ["Nothing"])
        self.assertEqual(p.resources.getFilename("Nothing"), "void.zip")
        self.assertEqual(p.resources.getFilesInside("Nothing"), [])
        p.title.set("Kept")
        p.new()
        self.assertIn("the built-in `\"Nothing\"` too", text)
        self.assertIn("the title stays", text)
        self.assertEqual(p.resources.getList(), [])
        self.assertEqual(p.title.get(), "Kept")
        p.resources.create("Nothing", "void.zip")
        self.assertEqual(p.resources.getList(), ["Nothing"])
        # A blank between empty parentheses is one empty argument.
        self.assertIn("`project.title.get( );` is refused (`fail invalid sentence`)", text)
        self.assertEqual(player.send_line("project.title.get( );"), "fail invalid sentence")
        self.assertEqual(player.send_line("project.title.get();"), '"Kept"')
        # Widths of 0 and below are taken and answered.
        self.assertIn("A width of 0 or below is accepted, answered by `getWidth` and saved", text)
        p.trackers.AR.create("flat", "none.pat", 0)
        p.trackers.AR.create("under", "none.pat", -80)
        self.assertEqual((p.trackers.AR.getWidth("flat"), p.trackers.AR.getWidth("under")), (0, -80))
        # project.net.init on the connection's own server: the reply is lost with the connection.
        self.assertIn("ok, lost when sent on a connection of the server it replaces", text)
        with self.assertRaises(velquin.ConnectionFailed):
            p.net.init(process.port)
        for attempt in range(50):
            try:
                player.reconnect()
                break
            except velquin.ConnectionFailed:
                time.sleep(0.1)
        self.assertEqual(p.title.get(), "Kept")


if __name__ == "__main__":
    unittest.main()
