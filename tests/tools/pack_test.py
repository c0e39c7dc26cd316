"""velquin-pack on small models written here: OBJ with its material and a texture in a folder,
the axes and scale options, a skinned glTF whose vertices must land in the binding pose in
millimetres, standing on the marker and fitted to a size, hostile models that name files outside
their folder, FBX textures named by another machine's paths, and clear errors for what it cannot
read."""
import base64
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients"))
from gltfmodel import png_bytes  # noqa: E402
from fbxmodel import write_fbx  # noqa: E402

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


def triangle_gltf(path, buffer_uri=None, image_uri=None, texture_transform=False):
    """A textured triangle in metres; its buffer embedded unless buffer_uri names a file (which
    then gets the bytes), its texture a PNG named by image_uri."""
    data = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0) + struct.pack("<6f", 0, 0, 1, 0, 0, 1)
    buffer = {"byteLength": len(data),
              "uri": buffer_uri or "data:application/octet-stream;base64," + base64.b64encode(data).decode()}
    if buffer_uri:
        with open(os.path.join(os.path.dirname(path), buffer_uri), "wb") as file:
            file.write(data)
    texture = {"index": 0}
    if texture_transform:
        texture["extensions"] = {"KHR_texture_transform": {"offset": [0.5, 0], "scale": [2, 2]}}
    document = {
        "asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [{"mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "material": 0}]}],
        "materials": [{"name": "Skin", "pbrMetallicRoughness": {"baseColorTexture": texture}}],
        "textures": [{"source": 0}], "images": [{"uri": image_uri or "skin.png"}],
        "buffers": [buffer],
        "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                        {"buffer": 0, "byteOffset": 36, "byteLength": 24}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                       "min": [0, 0, 0], "max": [1, 1, 0]},
                      {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC2"}],
    }
    if texture_transform:
        document["extensionsUsed"] = ["KHR_texture_transform"]
    with open(path, "w") as file:
        json.dump(document, file)


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
        self.assertIn("from y = -0.1 to 0.1",
                      self.pack("--no-stand", "--scale", "1", self.path("bar.obj"), self.path("d.zip")))

    def read_back(self, package_path, name):
        """A binary mesh or skeleton of a package as the engine's own converter writes it in XML."""
        out = self.path("out-" + os.path.basename(package_path))
        with zipfile.ZipFile(package_path) as package:
            package.extractall(out)
        subprocess.run(["OgreXMLConverter", "-q", os.path.join(out, name), os.path.join(out, name + ".xml")],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=out)
        with open(os.path.join(out, name + ".xml")) as file:
            return file.read()

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
        report = self.pack("--no-stand", self.path("hand.gltf"), self.path("hand.zip"))
        self.assertIn("hand.skeleton with", report)
        mesh = self.read_back(self.path("hand.zip"), "hand.mesh")
        # Model (x, y, z) in metres is content (-z, y, x) in millimetres.
        for x, y, z in positions:
            self.assertRegex(mesh, r'<position x="%s" y="%s" z="%s"' % tuple(
                "%s[0-9]*" % repr(round(v, 3)).rstrip("0").rstrip(".") for v in (-z * 1000, y * 1000, x * 1000)))
        self.assertIn('<skeletonlink name="hand.skeleton"', mesh)
        self.assertEqual(mesh.count("<vertexboneassignment"), 3)

        # Stood on the marker and fitted to 60 mm: the skin and its skeleton's root move and grow
        # together, so the hand still holds the triangle. Its lowest point is 150 mm up; the
        # triangle's largest side is 30 mm.
        report = self.pack("--fit", "60", self.path("hand.gltf"), self.path("stood.zip"))
        self.assertIn("from y = 0 to 60", report)
        heights = sorted(float(y) for y in re.findall(r'<position x="[^"]*" y="([^"]*)"',
                                                       self.read_back(self.path("stood.zip"), "stood.mesh")))
        self.assertEqual(heights, [0, 0, 60])
        # The skeleton's root holds the conversion from metres: it grew from 1000 to 2000 and went
        # down by the 300 mm the doubled triangle stood above the paper.
        skeleton = self.read_back(self.path("stood.zip"), "stood.skeleton")
        root = re.search(r'<bone id="0" name="ROOT">\s*<position x="([^"]*)" y="([^"]*)" z="([^"]*)" />'
                         r'(?:(?!</bone>).)*<scale x="([^"]*)"', skeleton, re.S)
        self.assertEqual([float(v) for v in root.groups()], [0, -300, 0, 2000])
        self.assertIn('<boneparent bone="Hip" parent="ROOT" />', skeleton)

    def test_stand_and_fit(self):
        box_obj(self.path("bar.obj"), (0.1, 0.2, 0.3))
        self.assertIn("from y = 0 to 200", self.pack(self.path("bar.obj"), self.path("a.zip")))
        self.assertIn("from y = 0 to 200", self.pack("--stand", self.path("bar.obj"), self.path("b.zip")))
        self.assertIn("from y = -100 to 100", self.pack("--no-stand", self.path("bar.obj"), self.path("c.zip")))
        self.assertIn("size 50 x 33.33 x 16.67 (x front to back, y up, z left to right), from y = 0 to 33.33",
                      self.pack("--fit", "50", self.path("bar.obj"), self.path("d.zip")))
        # --fit wins over --scale, whatever their order.
        self.assertIn("size 50 x", self.pack("--fit", "50", "--scale", "7", self.path("bar.obj"), self.path("e.zip")))
        for bad in ("0", "-3", "big", "inf"):
            self.assertIn("--fit needs a positive number", self.pack("--fit", bad, "a.obj", "b.zip", status=2))

    def test_hostile_models_read_nothing_outside_their_folder(self):
        # The model lies two folders down; beside the folder lie secrets it names in every way.
        os.makedirs(self.path("models", "deep", "maps"))
        os.mkdir(self.path("private"))
        secret = b"\x89PNG\r\n\x1a\nSECRET-CANARY " + os.urandom(16)
        for name in ("secret.png", "secret.bin"):
            with open(self.path("private", name), "wb") as file:
                file.write(secret)
        os.symlink(self.path("private", "secret.png"), self.path("models", "deep", "maps", "link.png"))
        folder = self.path("models", "deep")
        absolute = self.path("private", "secret.png")
        references = ["../../private/secret.png", absolute, "maps/../../../private/secret.png", "maps/link.png"]

        def shipped_nothing_outside(package_path):
            with zipfile.ZipFile(package_path) as package:
                for name in package.namelist():
                    self.assertNotIn(b"SECRET-CANARY", package.read(name), name)

        # Textures of an OBJ material library, one material per way out.
        with open(os.path.join(folder, "box.mtl"), "w") as file:
            for n, reference in enumerate(references):
                file.write("newmtl M%d\nKd 1 0 0\nmap_Kd %s\n" % (n, reference))
        for n, reference in enumerate(references):
            box_obj(os.path.join(folder, "box%d.obj" % n), (1, 1, 1), "box.mtl", "M%d" % n)
            report = self.pack(os.path.join(folder, "box%d.obj" % n), self.path("box%d.zip" % n))
            self.assertIn("note: texture %s: " % reference, report)
            self.assertIn("left out", report)
            shipped_nothing_outside(self.path("box%d.zip" % n))
        # A material library outside: converted without it, and said so.
        with open(self.path("private", "outer.mtl"), "w") as file:
            file.write("newmtl M\nKd 1 0 0\nmap_Kd secret.png\n")
        box_obj(os.path.join(folder, "outer.obj"), (1, 1, 1), "../../private/outer.mtl", "M")
        report = self.pack(os.path.join(folder, "outer.obj"), self.path("outer.zip"))
        self.assertIn("note: file ../../private/outer.mtl: outside the model's folder; left out", report)
        shipped_nothing_outside(self.path("outer.zip"))
        # glTF: a texture outside is left out; a buffer outside fails and says why.
        with open(os.path.join(folder, "skin.png"), "wb") as file:
            file.write(png_bytes(2, 2, (9, 9, 9)))
        triangle_gltf(os.path.join(folder, "image.gltf"), image_uri="../../private/secret.png")
        report = self.pack(os.path.join(folder, "image.gltf"), self.path("image.zip"))
        self.assertIn("note: texture ../../private/secret.png: outside the model's folder", report)
        shipped_nothing_outside(self.path("image.zip"))
        for uri in ("../../private/secret.bin", self.path("private", "secret.bin")):
            triangle_gltf(os.path.join(folder, "buffer.gltf"))
            with open(os.path.join(folder, "buffer.gltf")) as file:
                document = json.load(file)
            document["buffers"][0]["uri"] = uri
            with open(os.path.join(folder, "buffer.gltf"), "w") as file:
                json.dump(document, file)
            message = self.pack(os.path.join(folder, "buffer.gltf"), self.path("buffer.zip"), status=1)
            self.assertIn("the model needs %s, outside its folder" % uri, message)
            self.assertFalse(os.path.exists(self.path("buffer.zip")))
        # Files in the folder and below it are still read, through any spelling.
        triangle_gltf(os.path.join(folder, "inside.gltf"), buffer_uri="inside.bin", image_uri="maps/../skin.png")
        report = self.pack(os.path.join(folder, "inside.gltf"), self.path("inside.zip"))
        self.assertNotIn("note:", report)
        with zipfile.ZipFile(self.path("inside.zip")) as package:
            self.assertIn("skin.png", package.namelist())

    def test_fbx_textures_named_by_another_machine_are_found_beside_the_model(self):
        with open(self.path("SpiderTex.jpg"), "wb") as file:
            file.write(png_bytes(2, 2, (10, 20, 30)))
        with open(self.path("wood.png"), "wb") as file:
            file.write(png_bytes(2, 2, (90, 60, 30)))
        cases = {"D:\\art\\spider\\SpiderTex.jpg": "SpiderTex.jpg",  # a Windows absolute path
                 "C:\\Users\\me\\Textures\\WOOD.PNG": "WOOD.PNG",  # another case: found all the same
                 "/home/artist/maps/wood.png": "wood.png"}
        for n, (reference, stored) in enumerate(cases.items()):
            write_fbx(self.path("leg%d.fbx" % n), reference)
            report = self.pack(self.path("leg%d.fbx" % n), self.path("leg%d.zip" % n))
            self.assertIn("1 texture(s)", report)
            self.assertNotIn("note: texture", report)
            with zipfile.ZipFile(self.path("leg%d.zip" % n)) as package:
                self.assertIn(stored, package.namelist())
                self.assertIn("texture %s" % stored, package.read("leg%d.material" % n).decode())
        write_fbx(self.path("lost.fbx"), "D:\\art\\lost.png")
        self.assertIn("note: texture D:\\art\\lost.png: outside the model's folder, and no file of its name "
                      "beside it; left out", self.pack(self.path("lost.fbx"), self.path("lost.zip")))

    def test_what_is_left_out_is_said(self):
        with open(self.path("skin.png"), "wb") as file:
            file.write(png_bytes(2, 2, (9, 9, 9)))
        triangle_gltf(self.path("moved.gltf"), texture_transform=True)
        self.assertIn("note: texture transforms (KHR_texture_transform): left out",
                      self.pack(self.path("moved.gltf"), self.path("moved.zip")))
        triangle_gltf(self.path("plain.gltf"))
        self.assertNotIn("note:", self.pack(self.path("plain.gltf"), self.path("plain.zip")))
        with open(self.path("cloud.obj"), "w") as file:
            file.write("v 0 0 0\nv 1 0 0\nv 0 1 0\np 1 2 3\nl 1 2\n")
        self.assertIn("cloud.obj: the model holds only points and lines (3 point(s) and 1 line(s)), no surface",
                      self.pack(self.path("cloud.obj"), self.path("cloud.zip"), status=1))

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
