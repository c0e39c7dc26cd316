"""velquin-pack on small models written here: OBJ with its material and a texture in a folder,
the axes and scale options, a skinned glTF whose vertices must land in the binding pose in
millimetres, and clear errors for what it cannot read."""
import base64
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients"))
from gltfmodel import png_bytes  # noqa: E402

PLAYER = os.environ.get("VELQUIN_PLAYER_DIR", "")
PACK = os.path.join(PLAYER, "velquin-pack")


def box_obj(path, size, material_file=None, material=None):
    sx, sy, sz = (s / 2 for s in size)
    lines = []
    if material_file:
        lines += ["mtllib %s" % material_file, "usemtl %s" % material]
    for x in (-sx, sx):
        for y in (-sy, sy):
            for z in (-sz, sz):
                lines.append("v %g %g %g" % (x, y, z))
    lines += ["vt 0 0", "vt 1 0", "vt 1 1", "vt 0 1"]
    # Vertex n is (x, y, z) bit by bit: x = 4, y = 2, z = 1.
    for a, b, c, d in ((1, 2, 4, 3), (5, 7, 8, 6), (1, 5, 6, 2), (3, 4, 8, 7), (1, 3, 7, 5), (2, 6, 8, 4)):
        lines.append("f %d/1 %d/2 %d/3 %d/4" % (a, b, c, d))
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")


class Pack(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="velquin-pack-test-")
        self.addCleanup(self.scratch.cleanup)

    def path(self, *parts):
        return os.path.join(self.scratch.name, *parts)

    def pack(self, *arguments, status=0):
        result = subprocess.run([PACK] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                universal_newlines=True)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return result.stdout + result.stderr

    def test_obj_with_material_and_texture(self):
        os.mkdir(self.path("maps"))
        with open(self.path("maps", "red brick.png"), "wb") as file:
            file.write(png_bytes(2, 2, (200, 30, 20)))
        with open(self.path("crate.mtl"), "w") as file:
            file.write("newmtl Crate Red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 32\nmap_Kd maps/red brick.png\n")
        box_obj(self.path("crate.obj"), (1, 1, 1), "crate.mtl", "Crate Red")
        report = self.pack("--scale", "10", self.path("crate.obj"), self.path("crate.zip"))
        self.assertIn("size 10 x 10 x 10", report)
        self.assertNotIn("skeleton", report)
        with zipfile.ZipFile(self.path("crate.zip")) as package:
            self.assertEqual(sorted(package.namelist()), ["crate.material", "crate.mesh", "red_brick.png"])
            script = package.read("crate.material").decode()
            self.assertEqual(package.read("red_brick.png")[:4], b"\x89PNG")
        self.assertIn("material Crate_Red\n", script)
        self.assertIn("            diffuse 1 0 0 1\n", script)
        self.assertIn("            specular 0.5 0.5 0.5 32\n", script)
        # Spaces before the keyword, never tabs: the player prefixes texture names only then.
        self.assertIn("\n                texture red_brick.png\n", script)
        self.assertNotIn("\t", script)

    def test_axes_and_scale(self):
        box_obj(self.path("bar.obj"), (0.1, 0.2, 0.3))
        # glTF and OBJ: metres, +y up, +z front; the front goes to the marker's bottom edge (-x).
        self.assertIn("size 300 x 200 x 100", self.pack(self.path("bar.obj"), self.path("a.zip")))
        self.assertIn("size 200 x 300 x 100", self.pack("--up", "+z", self.path("bar.obj"), self.path("b.zip")))
        self.assertIn("size 100 x 200 x 300",
                      self.pack("--front", "+x", "--scale", "1000", self.path("bar.obj"), self.path("c.zip")))
        self.assertIn("from y = -0.1 to 0.1", self.pack("--scale", "1", self.path("bar.obj"), self.path("d.zip")))

    def test_skinned_gltf_lands_in_its_binding_pose(self):
        # Two joints, the second 0.1 m above the first; a triangle hangs on the second joint.
        positions = [(0.01, 0.15, 0.02), (0.03, 0.15, 0.02), (0.01, 0.18, 0.02)]
        joints = [(1, 0, 0, 0)] * 3
        weights = [(1.0, 0.0, 0.0, 0.0)] * 3
        inverse_binds = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                         1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -0.1, 0, 1]
        data = (struct.pack("<9f", *[c for p in positions for c in p]) + struct.pack("<12H", *[j for q in joints for j in q])
                + struct.pack("<12f", *[w for q in weights for w in q]) + struct.pack("<32f", *inverse_binds)
                + struct.pack("<3H", 0, 1, 2) + b"\0\0")
        views = [(0, 36), (36, 24), (60, 48), (108, 128), (236, 6)]
        document = {
            "asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0, 2]}],
            "nodes": [{"name": "Hip", "children": [1]}, {"name": "Hand", "translation": [0, 0.1, 0]},
                      {"name": "Skin", "mesh": 0, "skin": 0}],
            "skins": [{"joints": [0, 1], "inverseBindMatrices": 3}],
            "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "JOINTS_0": 1, "WEIGHTS_0": 2}, "indices": 4}]}],
            "buffers": [{"byteLength": len(data),
                         "uri": "data:application/octet-stream;base64," + base64.b64encode(data).decode()}],
            "bufferViews": [{"buffer": 0, "byteOffset": o, "byteLength": n} for o, n in views],
            "accessors": [
                {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                 "min": [0.01, 0.15, 0.02], "max": [0.03, 0.18, 0.02]},
                {"bufferView": 1, "componentType": 5123, "count": 3, "type": "VEC4"},
                {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC4"},
                {"bufferView": 3, "componentType": 5126, "count": 2, "type": "MAT4"},
                {"bufferView": 4, "componentType": 5123, "count": 3, "type": "SCALAR"}],
        }
        with open(self.path("hand.gltf"), "w") as file:
            json.dump(document, file)
        report = self.pack(self.path("hand.gltf"), self.path("hand.zip"))
        self.assertIn("hand.skeleton with", report)
        with zipfile.ZipFile(self.path("hand.zip")) as package:
            package.extractall(self.path("out"))
        # The engine's own converter reads the binary mesh back as text.
        subprocess.run(["OgreXMLConverter", "-q", self.path("out", "hand.mesh"), self.path("out", "hand.xml")],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=self.scratch.name)
        with open(self.path("out", "hand.xml")) as file:
            mesh = file.read()
        # Model (x, y, z) in metres is content (-z, y, x) in millimetres.
        for x, y, z in positions:
            self.assertRegex(mesh, r'<position x="%s" y="%s" z="%s"' % tuple(
                "%s[0-9]*" % repr(round(v, 3)).rstrip("0").rstrip(".") for v in (-z * 1000, y * 1000, x * 1000)))
        self.assertIn('<skeletonlink name="hand.skeleton"', mesh)
        self.assertEqual(mesh.count("<vertexboneassignment"), 3)

    def test_errors_are_clear(self):
        self.assertIn("cannot read", self.pack(self.path("none.glb"), self.path("x.zip"), status=1))
        with open(self.path("notes.txt"), "w") as file:
            file.write("hello")
        self.assertIn("unsupported kind of model", self.pack(self.path("notes.txt"), self.path("x.zip"), status=1))
        with open(self.path("broken.glb"), "wb") as file:
            file.write(b"glTF\x02\x00\x00\x00garbage")
        self.assertIn("not a readable model", self.pack(self.path("broken.glb"), self.path("x.zip"), status=1))
        self.assertFalse(os.path.exists(self.path("x.zip")))
        self.assertIn("--up takes", self.pack("--up", "w", "a.obj", "b.zip", status=2))
        self.assertIn("--scale needs", self.pack("--scale", "-1", "a.obj", "b.zip", status=2))
        self.assertIn("no package file", self.pack("a.obj", status=2))
        box_obj(self.path("bar.obj"), (1, 1, 1))
        self.assertIn("must differ", self.pack("--up", "+y", "--front", "-y", self.path("bar.obj"),
                                               self.path("x.zip"), status=1))
        self.assertIn("Usage: velquin-pack", self.pack("--help"))


if __name__ == "__main__":
    unittest.main()
