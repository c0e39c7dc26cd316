#!/usr/bin/env python3
"""Builds the sample resource packages that the tests, the demo and the benchmarks load.

    make_samples.py OUTPUT_DIR OGRE_XML_CONVERTER

Writes OUTPUT_DIR/plate.zip: a flat red square exactly the size of its marker, lying on it, unlit
(the picture test measures where it is drawn), and OUTPUT_DIR/robot.zip: a small robot with a skeleton and the animations "Wave" and
"Walk", a turntable stage, their material script (textures, a GLSL vertex and fragment program
declared in the script), a scene file placing both with node animations and lights, a poster
image and a short sound for file actors. Everything is drawn or described here; meshes and the
skeleton are written as Ogre XML and converted with OgreXMLConverter.
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave
import zipfile

sys.dont_write_bytecode = True  # nothing lands in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from make_media import MeshBuilder, write_png  # noqa: E402

try:
    # The player's own meshes are described z-up on a unit marker and written in the engine's
    # model space; the samples follow the same convention as the builder they share.
    from make_media import MARKER_WIDTH, to_model  # noqa: E402
except ImportError:
    MARKER_WIDTH = 1.0

    def to_model(v, scale_by=1.0):
        return (v[0] * scale_by, v[1] * scale_by, v[2] * scale_by)


# ---------------------------------------------------------------- a mesh with bones

class RiggedBuilder(MeshBuilder):
    """A MeshBuilder whose vertices each follow one bone, with a choice of texture mapping."""

    def __init__(self):
        super().__init__()
        self.bone = 0
        self.mapping = "xy"  # planar texture coordinates from x, y or from x, z
        self.bones = {}      # id(part) -> bone index of every vertex

    def add_triangle(self, part, a, b, c, smooth_normals=None):
        MeshBuilder.add_triangle(part, a, b, c, smooth_normals)
        vertices = part[1]
        if self.mapping == "xz":
            for i in range(len(vertices) - 3, len(vertices)):
                p, n, _ = vertices[i]
                vertices[i] = (p, n, (0.5 + p[0] / 0.27, 0.5 - (p[2] - 0.64) / 0.21))
        self.bones.setdefault(id(part), []).extend([self.bone] * 3)

    def xml(self, skeleton=None):
        if skeleton is None:
            return MeshBuilder.xml(self)
        # Software skinning rewrites positions and normals every frame into a buffer of their
        # own: texture coordinates must sit in a second vertex buffer, or they are lost.
        lines = ["<mesh>", "  <submeshes>"]
        for part in self.submeshes:
            material, vertices, triangles = part
            lines.append('    <submesh material="%s" usesharedvertices="false" use32bitindexes="false" '
                         'operationtype="triangle_list">' % material)
            lines.append('      <faces count="%d">' % len(triangles))
            lines.extend('        <face v1="%d" v2="%d" v3="%d" />' % t for t in triangles)
            lines.append("      </faces>")
            lines.append('      <geometry vertexcount="%d">' % len(vertices))
            lines.append('        <vertexbuffer positions="true" normals="true">')
            for p, n, _ in vertices:
                lines.append('          <vertex><position x="%.5f" y="%.5f" z="%.5f" />'
                             '<normal x="%.5f" y="%.5f" z="%.5f" /></vertex>'
                             % (to_model(p, MARKER_WIDTH) + to_model(n)))
            lines.append("        </vertexbuffer>")
            lines.append('        <vertexbuffer texture_coords="1" texture_coord_dimensions_0="2">')
            for _, _, uv in vertices:
                lines.append('          <vertex><texcoord u="%.4f" v="%.4f" /></vertex>' % uv)
            lines.append("        </vertexbuffer>")
            lines.append("      </geometry>")
            lines.append("      <boneassignments>")
            for index, bone in enumerate(self.bones.get(id(part), [])):
                lines.append('        <vertexboneassignment vertexindex="%d" boneindex="%d" weight="1" />'
                             % (index, bone))
            lines.append("      </boneassignments>")
            lines.append("    </submesh>")
        lines += ["  </submeshes>", '  <skeletonlink name="%s" />' % skeleton, "</mesh>"]
        return "\n".join(lines) + "\n"


# ---------------------------------------------------------------- the robot

# Bones: name, parent, position relative to the parent. The robot faces -y and rises along +z;
# it stands in the unit square of a marker.
BONES = [
    ("Root", None, (0.0, 0.0, 0.42)),
    ("Torso", "Root", (0.0, 0.0, 0.10)),
    ("Head", "Torso", (0.0, 0.0, 0.30)),
    ("ArmL", "Torso", (0.27, 0.0, 0.22)),
    ("ArmR", "Torso", (-0.27, 0.0, 0.22)),
    ("LegL", "Root", (0.12, 0.0, -0.02)),
    ("LegR", "Root", (-0.12, 0.0, -0.02)),
]
BONE = {name: index for index, (name, _, _) in enumerate(BONES)}


def robot_mesh():
    b = RiggedBuilder()
    metal = b.part("RobotMetal")
    joint = b.part("RobotJoint")
    panel = b.part("RobotPanel")
    eye = b.part("RobotEye")

    for side, sign in (("L", 1), ("R", -1)):
        x = 0.12 * sign
        b.bone = BONE["Leg" + side]
        b.box(metal, (x, -0.03, 0.04), (0.14, 0.22, 0.08))
        b.cylinder(joint, (x, 0.0, 0.08), 0.30, 0.055, 0.055, segments=16)
        b.sphere(joint, (x, 0.0, 0.40), 0.06, rings=8, segments=12)
        b.bone = BONE["Arm" + side]
        ax = 0.27 * sign
        b.sphere(joint, (ax, 0.0, 0.74), 0.055, rings=8, segments=12)
        b.cylinder(metal, (ax, 0.0, 0.48), 0.26, 0.04, 0.045, segments=16)
        b.sphere(joint, (ax, 0.0, 0.45), 0.055, rings=8, segments=12)

    b.bone = BONE["Root"]
    b.box(metal, (0.0, 0.0, 0.43), (0.34, 0.20, 0.08))

    b.bone = BONE["Torso"]
    b.box(metal, (0.0, 0.0, 0.63), (0.44, 0.28, 0.34))
    b.box(metal, (0.0, 0.0, 0.79), (0.36, 0.22, 0.03))
    b.mapping = "xz"
    b.box(panel, (0.0, -0.145, 0.64), (0.26, 0.02, 0.20))
    b.mapping = "xy"

    b.bone = BONE["Head"]
    b.cylinder(joint, (0.0, 0.0, 0.80), 0.06, 0.05, 0.05, segments=12)
    b.box(metal, (0.0, 0.0, 0.96), (0.30, 0.24, 0.20))
    b.box(joint, (0.0, -0.121, 0.92), (0.16, 0.01, 0.03))
    for sign in (1, -1):
        b.sphere(eye, (0.07 * sign, -0.12, 0.99), 0.035, rings=8, segments=12)
        b.sphere(joint, (0.16 * sign, 0.0, 0.96), 0.04, rings=8, segments=12, squash=0.6)
    b.cylinder(joint, (0.0, 0.0, 1.06), 0.10, 0.012, 0.012, segments=8)
    b.sphere(eye, (0.0, 0.0, 1.18), 0.03, rings=8, segments=12)
    return b


def axis_angle(axis, angle):
    return '<rotate angle="%.5f"><axis x="%g" y="%g" z="%g" /></rotate>' % ((angle,) + to_model(axis))


def keyframe(time, angle=0.0, axis=(1, 0, 0), translate=(0.0, 0.0, 0.0)):
    return ('<keyframe time="%g"><translate x="%g" y="%g" z="%g" />%s</keyframe>'
            % ((time,) + to_model(translate, MARKER_WIDTH) + (axis_angle(axis, angle),)))


def robot_skeleton():
    lines = ["<skeleton>", "  <bones>"]
    for index, (name, _, position) in enumerate(BONES):
        x, y, z = to_model(position, MARKER_WIDTH)
        lines.append('    <bone id="%d" name="%s"><position x="%g" y="%g" z="%g" />'
                     '<rotation angle="0"><axis x="1" y="0" z="0" /></rotation></bone>' % (index, name, x, y, z))
    lines += ["  </bones>", "  <bonehierarchy>"]
    for name, parent, _ in BONES:
        if parent:
            lines.append('    <boneparent bone="%s" parent="%s" />' % (name, parent))
    lines += ["  </bonehierarchy>", "  <animations>"]

    def animation(name, length, tracks):
        lines.append('    <animation name="%s" length="%g">' % (name, length))
        lines.append("      <tracks>")
        for bone, frames in tracks:
            lines.append('        <track bone="%s"><keyframes>' % bone)
            lines.extend("          " + frame for frame in frames)
            lines.append("        </keyframes></track>")
        lines.append("      </tracks>")
        lines.append("    </animation>")

    # Wave: the right arm goes up sideways and waves; the head tilts along.
    up = (0, 1, 0)
    animation("Wave", 2.0, [
        ("ArmR", [keyframe(0.0, 0.0, up), keyframe(0.4, 2.5, up), keyframe(0.8, 2.95, up),
                  keyframe(1.2, 2.5, up), keyframe(1.6, 2.95, up), keyframe(2.0, 0.0, up)]),
        ("Head", [keyframe(0.0, 0.0, up), keyframe(0.6, -0.18, up), keyframe(1.4, -0.18, up),
                  keyframe(2.0, 0.0, up)]),
    ])
    # Walk: legs swing, arms swing against them, the body bobs twice per stride.
    side = (1, 0, 0)
    swing = lambda amplitude: [keyframe(t, amplitude * math.cos(2 * math.pi * t / 1.2), side)
                               for t in (0.0, 0.3, 0.6, 0.9, 1.2)]
    animation("Walk", 1.2, [
        ("LegL", swing(0.4)), ("LegR", swing(-0.4)), ("ArmL", swing(-0.3)), ("ArmR", swing(0.3)),
        ("Root", [keyframe(t, 0.0, side, (0.0, 0.0, 0.02 * abs(math.sin(2 * math.pi * t / 1.2))))
                  for t in (0.0, 0.3, 0.6, 0.9, 1.2)]),
    ])
    lines += ["  </animations>", "</skeleton>"]
    return "\n".join(lines) + "\n"


def stage_mesh():
    b = MeshBuilder()
    top = b.part("StageTop")
    b.cylinder(top, (0.0, 0.0, 0.0), 0.05, 0.62, 0.6, segments=48)
    rim = b.part("StageRim")
    b.torus(rim, (0.0, 0.0, 0.05), 0.6, 0.018, segments=48, sides=8)
    return b


def plate_mesh():
    b = MeshBuilder()
    top = b.part("PlateRed")
    b.quad(top, (-0.5, -0.5, 0.0), (0.5, -0.5, 0.0), (0.5, 0.5, 0.0), (-0.5, 0.5, 0.0))
    return b


PLATE_MATERIAL = """\
material PlateRed
{
    technique
    {
        pass
        {
            lighting off
            cull_hardware none
            cull_software none
            texture_unit
            {
                texture plate_red.png
            }
        }
    }
}
"""


# ---------------------------------------------------------------- material script and shaders

MATERIAL = """// The robot and its stage: brushed metal, a chest panel, glowing eyes, a wooden turntable.

vertex_program RobotGlowVertex glsl
{
    source robot_glow.vert
}

fragment_program RobotGlowFragment glsl
{
    source robot_glow.frag
}

material RobotMetal
{
    technique
    {
        pass
        {
            ambient 0.45 0.45 0.5
            diffuse 0.8 0.82 0.86
            specular 0.9 0.9 0.9 48
            texture_unit
            {
                texture robot_metal.png
            }
        }
    }
}

material RobotJoint
{
    technique
    {
        pass
        {
            ambient 0.15 0.15 0.18
            diffuse 0.25 0.26 0.3
            specular 0.6 0.6 0.6 24
        }
    }
}

material RobotPanel
{
    technique
    {
        pass
        {
            ambient 0.6 0.6 0.6
            diffuse 1 1 1
            texture_unit
            {
                texture robot_panel.png
                tex_address_mode clamp
            }
        }
    }
}

material RobotEye
{
    technique
    {
        pass
        {
            vertex_program_ref RobotGlowVertex
            {
                param_named_auto worldViewProj worldviewproj_matrix
            }
            fragment_program_ref RobotGlowFragment
            {
                param_named glow float4 0.35 0.9 1.0 1.0
            }
        }
    }
}

material StageTop
{
    technique
    {
        pass
        {
            ambient 0.5 0.45 0.4
            diffuse 0.9 0.85 0.8
            texture_unit
            {
                texture stage_top.png
            }
        }
    }
}

material StageRim
{
    technique
    {
        pass
        {
            ambient 0.3 0.2 0.05
            diffuse 0.85 0.6 0.15
            specular 1 0.9 0.6 64
        }
    }
}
"""

VERTEX_SHADER = """#version 120
// Glowing eyes: the colour brightens towards the silhouette.
uniform mat4 worldViewProj;
varying float rim;

void main()
{
    gl_Position = worldViewProj * gl_Vertex;
    rim = 1.0 - abs(normalize(gl_Normal).y);
}
"""

FRAGMENT_SHADER = """#version 120
uniform vec4 glow;
varying float rim;

void main()
{
    gl_FragColor = vec4(glow.rgb * (0.7 + 0.6 * rim), 1.0);
}
"""


# ---------------------------------------------------------------- scene file

def quaternion_up(degrees):
    """A turn about the up axis (z in the description), in model space."""
    half = math.radians(degrees) / 2
    x, y, z = to_model((0.0, 0.0, math.sin(half)))
    return {"x": x, "y": y, "z": z, "w": math.cos(half)}


def position(x, y, z):
    mx, my, mz = to_model((x, y, z), MARKER_WIDTH)
    return element("position", x=float(mx), y=float(my), z=float(mz))


def element(tag, **attributes):
    return "<%s %s />" % (tag, " ".join('%s="%s"' % (k, format_number(v)) for k, v in attributes.items()))


def format_number(value):
    return ("%.5f" % (value + 0.0)).rstrip("0").rstrip(".") if isinstance(value, float) else str(value)


def scene_file():
    spin = []
    for k, degrees in enumerate((0, 120, 240, 360)):
        spin.append('          <keyframe time="%g">%s</keyframe>' % (k * 8.0 / 3, element("rotation", **quaternion_up(degrees))))
    hop = []
    for t, z in ((0.0, 0.05), (0.5, 0.15), (1.0, 0.05), (2.0, 0.05)):
        hop.append('          <keyframe time="%g">%s</keyframe>' % (t, position(0.0, 0.0, z)))
    return ("""<?xml version="1.0" ?>
<scene>
  <entities>
    <entity name="Stage" filename="stage.mesh" CastShadows="no">
      <position x="0" y="0" z="0" />
      <rotation x="0" y="0" z="0" w="1" />
      <scale x="1" y="1" z="1" />
      <animations>
        <animation name="Spin" length="8">
%s
        </animation>
      </animations>
    </entity>
    <entity name="Robot" filename="robot.mesh">
      ROBOT_POSITION
      <rotation x="0" y="0" z="0" w="1" />
      <scale x="0.8" y="0.8" z="0.8" />
      <animations>
        <animation name="Spin" length="8">
%s
        </animation>
        <animation name="Hop" length="2">
%s
        </animation>
      </animations>
    </entity>
  </entities>
  <lights>
    <light name="KeyLight" type="spot" on="true" hotspot="30" falloff="45" CastShadows="yes">
      <color r="1" g="0.95" b="0.85" />
      <specular r="1" g="1" b="1" />
      ATTENUATION
      <target>
        TARGET_POSITION
      </target>
    </light>
    <light name="FillLight" type="omni" on="true">
      <color r="0.35" g="0.4" b="0.5" />
      <specular r="0" g="0" b="0" />
    </light>
    <light name="RimLight" type="directional">
      <color r="0.6" g="0.7" b="1" />
    </light>
  </lights>
</scene>
""" % ("\n".join(spin), "\n".join(spin), "\n".join(hop))).replace(
        "ROBOT_POSITION", position(0.0, 0.0, 0.05)).replace(
        "TARGET_POSITION", position(0.0, 0.0, 0.5)).replace(
        "ATTENUATION", element("attenuation", range=20.0 * MARKER_WIDTH, constant=1.0,
                               linear=0.05 / MARKER_WIDTH, quadratic=0.0))


# ---------------------------------------------------------------- textures, poster, sound

def metal_pixel(x, y):
    # Brushed steel: fine horizontal streaks, a little darker at the edges.
    streak = ((x * 7 + y * 131) % 17) * 2 + ((y * 37) % 11)
    edge = 18 if x < 3 or y < 3 or x > 124 or y > 124 else 0
    v = 150 + streak - edge
    return (v, v + 4, v + 10, 255)


def panel_pixel(x, y):
    # A dark panel with a glowing ring and three status lights.
    dx, dy = (x - 64) / 64.0, (y - 56) / 64.0
    r = math.sqrt(dx * dx + dy * dy)
    if abs(r - 0.45) < 0.06:
        return (60, 200, 255, 255)
    for k, colour in enumerate(((255, 80, 60), (255, 200, 40), (80, 230, 90))):
        if (x - 36 - 28 * k) ** 2 + (y - 108) ** 2 < 49:
            return colour + (255,)
    return (24, 30, 40, 255)


def stage_pixel(x, y):
    # Wood planks with rings.
    plank = (y // 16) % 2
    grain = int(12 * math.sin(x * 0.15 + (y // 16) * 1.7) + 8 * math.sin(x * 0.031 + y * 0.2))
    base = (150, 100, 58) if plank else (138, 92, 52)
    return (base[0] + grain, base[1] + grain // 2, base[2] + grain // 3, 255)


def poster_pixel(x, y):
    # A product poster: a gradient sky, a sun, the robot's silhouette on a stage.
    t = y / 255.0
    colour = (int(30 + 60 * t), int(40 + 90 * t), int(110 + 100 * t))
    if (x - 190) ** 2 + (y - 60) ** 2 < 28 ** 2:
        colour = (255, 210, 90)
    body = (96 < x < 160 and 120 < y < 190) or (104 < x < 152 and 70 < y < 116) or \
           (80 < x < 96 and 125 < y < 180) or (160 < x < 176 and 125 < y < 180) or \
           (106 < x < 122 and 190 < y < 225) or (134 < x < 150 and 190 < y < 225)
    if body:
        colour = (210, 215, 225)
    if (x - 118) ** 2 + (y - 88) ** 2 < 25 or (x - 138) ** 2 + (y - 88) ** 2 < 25:
        colour = (80, 220, 255)
    if y >= 225 and abs(x - 128) < 100:
        colour = (170, 110, 60)
    return colour + (255,)


def write_beep(path):
    rate = 22050
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        frames = bytearray()
        for i in range(int(rate * 0.35)):
            t = i / rate
            envelope = min(1.0, t * 40) * max(0.0, 1.0 - t / 0.35)
            tone = 880 if t < 0.15 else 1320
            frames += struct.pack("<h", int(9000 * envelope * math.sin(2 * math.pi * tone * t)))
        out.writeframes(bytes(frames))


# ---------------------------------------------------------------- packages

def convert(converter, work, xml_name, text):
    xml = os.path.join(work, xml_name)
    with open(xml, "w") as out:
        out.write(text)
    target = xml[:-len(".xml")]
    subprocess.run([converter, "-q", "-log", os.path.join(work, "converter.log"), xml, target], check=True,
                   cwd=work, stdout=subprocess.DEVNULL)
    return target


def write_package(path, files):
    with zipfile.ZipFile(path + ".part", "w", zipfile.ZIP_DEFLATED) as z:
        for name in files:
            z.write(name, os.path.basename(name))
    os.replace(path + ".part", path)


def main():
    output, converter = sys.argv[1:3]
    os.makedirs(output, exist_ok=True)
    work = tempfile.mkdtemp(prefix="velquin-samples-")
    try:
        files = []

        def text_file(name, content):
            path = os.path.join(work, name)
            with open(path, "w") as out:
                out.write(content)
            files.append(path)

        def image(name, size, pixel):
            path = os.path.join(work, name)
            write_png(path, size, size, pixel)
            files.append(path)

        files.append(convert(converter, work, "robot.skeleton.xml", robot_skeleton()))
        files.append(convert(converter, work, "robot.mesh.xml", robot_mesh().xml("robot.skeleton")))
        files.append(convert(converter, work, "stage.mesh.xml", stage_mesh().xml()))
        text_file("robot.material", MATERIAL)
        text_file("robot_glow.vert", VERTEX_SHADER)
        text_file("robot_glow.frag", FRAGMENT_SHADER)
        text_file("robot_stage.osm", scene_file())
        image("robot_metal.png", 128, metal_pixel)
        image("robot_panel.png", 128, panel_pixel)
        image("stage_top.png", 128, stage_pixel)
        image("robot_poster.png", 256, poster_pixel)
        beep = os.path.join(work, "robot_beep.wav")
        write_beep(beep)
        files.append(beep)
        write_package(os.path.join(output, "robot.zip"), files)

        files = [convert(converter, work, "plate.mesh.xml", plate_mesh().xml())]
        text_file("plate.material", PLATE_MATERIAL)
        image("plate_red.png", 4, lambda x, y: (255, 0, 0, 255))
        write_package(os.path.join(output, "plate.zip"), files)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
