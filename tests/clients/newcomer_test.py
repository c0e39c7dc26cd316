"""What a newcomer does with the kit, end to end: a marker made with velquin-marker and seen by
a camera (rendered here into a camera frame), a small animated glTF model (written here)
converted with velquin-pack, and the player driven with the Python client: files uploaded, the
frame played as a camera, a tracker, a resource, a mesh actor on the tracker, its animation
played. The screenshot must show the model's magenta over the marker, moving."""
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "clients", "python"))
import velquin  # noqa: E402
import gltfmodel  # noqa: E402
import pictures  # noqa: E402
from playerprocess import PlayerProcess, player_directory  # noqa: E402

# An asymmetric picture for the marker's inside: an "L" and a dot, 8 x 8 cells.
MARKER_PICTURE = """\
P1
8 8
0 0 0 0 0 0 0 0
0 1 1 0 0 0 0 0
0 1 1 0 0 0 0 0
0 1 1 0 0 1 1 0
0 1 1 0 0 1 1 0
0 1 1 0 0 0 0 0
0 1 1 1 1 1 1 0
0 0 0 0 0 0 0 0
"""
MARKER_WIDTH = 80  # millimetres, the side of the black square


class Newcomer(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="velquin-newcomer-")
        self.addCleanup(self.scratch.cleanup)
        self.tools = player_directory()

    def path(self, name):
        return os.path.join(self.scratch.name, name)

    def run_tool(self, *arguments):
        result = subprocess.run([os.path.join(self.tools, arguments[0])] + list(arguments[1:]),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        return result.stdout

    def test_marker_model_client_screenshot(self):
        # The marker, and a camera frame that sees it on a desk, 30 degrees tilted, 320 mm away.
        with open(self.path("inside.pbm"), "w") as file:
            file.write(MARKER_PICTURE)
        self.run_tool("velquin-marker", self.path("inside.pbm"), self.path("mark"))
        camera = pictures.read_camera(os.path.join(self.tools, "camera_para.dat"))
        pose = pictures.marker_pose(320, 30)
        rows = pictures.render_marker(camera, pose, self.path("mark.png"), MARKER_WIDTH)
        pictures.write_ppm(self.path("desk.ppm"), camera[0], camera[1], rows)

        # The model: 50 mm wide in metres, converted to a package in millimetres.
        gltfmodel.write_glb(self.path("tower.glb"))
        report = self.run_tool("velquin-pack", self.path("tower.glb"), self.path("tower.zip"))
        self.assertIn("animations: Spin", report)
        self.assertIn("size 50 x 60 x 70", report)

        process = PlayerProcess()
        self.addCleanup(process.stop)
        with velquin.Player("127.0.0.1", process.port) as player, player.listen(timeout=30) as events:
            for name in ("mark.pat", "desk.ppm", "tower.zip"):
                player.upload(self.path(name))
            p = player.project
            p.videocapture.init("File", "desk.ppm@15")
            self.assertEqual(events.next_named("project.videocapture.initialised").args, ["File", "desk.ppm@15"])
            p.trackers.AR.create("mark", "mark.pat", MARKER_WIDTH)
            p.resources.create("tower", "tower.zip")
            p.actors.mesh.create("tower", "tower", "tower.mesh")
            p.actors.mesh.connect("tower", "mark")
            self.assertEqual(p.actors.getAnimationsList("tower"), ["Spin"])
            p.actors.action("tower", "animation_loop", "Spin")
            p.actors.action("tower", "play", "")
            self.assertEqual(events.next_named("project.actors.mesh.connected").args, ["tower", "mark"])

            # Where the marker's black square lies in the window (the camera picture fills it).
            shots = []
            for attempt in range(40):
                shot = self.path("shot-%d.png" % attempt)
                subprocess.run([os.path.join(self.tools, "velquin-screenshot"), shot, "Velquinor"], check=True)
                width, height, found = pictures.magenta_pixels(shot)
                if len(found) > 200:
                    shots.append((shot, found))
                    if len(shots) == 2:
                        break
                    time.sleep(0.7)  # a third of a turn of the arm
                else:
                    time.sleep(0.25)
        self.assertEqual(len(shots), 2, "no model pixels in the screenshots; player output:\n" + process.log())
        sx, sy = width / camera[0], height / camera[1]
        corners = []
        for x, y in ((-40, -40), (40, -40), (40, 40), (-40, 40)):
            u, v = pictures.project(camera, pose, x, y)
            corners.append((u * sx, v * sy))
        left = min(c[0] for c in corners)
        right = max(c[0] for c in corners)
        top = min(c[1] for c in corners)
        bottom = max(c[1] for c in corners)
        found = shots[0][1]
        # The tower stands on the marker: its foot is within the square, it rises above it.
        cx = sum(x for x, _ in found) / len(found)
        self.assertTrue(left < cx < right, "model centre x %.0f outside the marker's %.0f..%.0f" % (cx, left, right))
        lowest = max(y for _, y in found)
        self.assertTrue(top < lowest < bottom + 0.15 * (bottom - top),
                        "model foot at y %d, marker from %.0f to %.0f" % (lowest, top, bottom))
        if os.environ.get("VELQUIN_KEEP_SCREENSHOT"):
            os.replace(shots[0][0], os.environ["VELQUIN_KEEP_SCREENSHOT"])
        # The arm turns: the second picture differs.
        self.assertTrue(set(shots[0][1]) != set(shots[1][1]), "the model did not move between two screenshots")


if __name__ == "__main__":
    unittest.main()
