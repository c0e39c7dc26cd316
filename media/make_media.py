#!/usr/bin/env python3
"""Builds the player's own files into the runnable folder.

    make_media.py OUTPUT_DIR PLUGIN_DIR OGRE_XML_CONVERTER FONT_FILE

Writes plugins.cfg, display.cfg, void.zip and VelquinCore.zip. The core archive holds the
overlay scripts, materials and font kept in media/core/, textures drawn here, and meshes that
are described here as Ogre XML and converted with OgreXMLConverter.
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# ---------------------------------------------------------------- textures

def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a), 8 bits each."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        out.write(chunk(b"IEND", b""))


def grid_pixel(x, y):
    # Fine lines every 16 pixels, strong ones every 64, on a dark blue-grey field.
    if x % 64 == 0 or y % 64 == 0:
        return (96, 128, 160, 255)
    if x % 16 == 0 or y % 16 == 0:
        return (52, 64, 80, 255)
    return (22, 26, 34, 255)


def splash_pixel(x, y):
    # A deep vertical gradient with a soft glow towards the centre.
    t = y / 255.0
    dx, dy = (x - 128) / 128.0, (y - 110) / 128.0
    glow = max(0.0, 1.0 - math.sqrt(dx * dx + dy * dy)) ** 2
    r = int(10 + 18 * t + 30 * glow)
    g = int(16 + 22 * t + 50 * glow)
    b = int(34 + 40 * t + 70 * glow)
    return (min(r, 255), min(g, 255), min(b, 255), 255)


def panel_pixel(x, y):
    return (0, 0, 0, 150)


def accent_pixel(x, y):
    t = x / 63.0
    return (int(40 + 60 * t), int(170 + 40 * t), int(230 - 30 * t), 255)


# ---------------------------------------------------------------- meshes

class MeshBuilder:
    """Collects sub-meshes of triangles with positions, normals and texture coordinates."""

    def __init__(self):
        self.submeshes = []  # (material, vertices, triangles)

    def part(self, material):
        self.submeshes.append((material, [], []))
        return self.submeshes[-1]

    @staticmethod
    def add_triangle(part, a, b, c, smooth_normals=None):
        vertices, triangles = part[1], part[2]
        if smooth_normals is None:
            n = normalize(cross(sub(b, a), sub(c, a)))
            normals = (n, n, n)
        else:
            normals = smooth_normals
        base = len(vertices)
        for p, n in zip((a, b, c), normals):
            vertices.append((p, n, (0.5 + p[0] * 0.5, 0.5 - p[1] * 0.5)))
        triangles.append((base, base + 1, base + 2))

    def quad(self, part, a, b, c, d):
        self.add_triangle(part, a, b, c)
        self.add_triangle(part, a, c, d)

    def box(self, part, centre, size):
        cx, cy, cz = centre
        hx, hy, hz = size[0] / 2, size[1] / 2, size[2] / 2
        p = [(cx + sx * hx, cy + sy * hy, cz + sz * hz) for sx in (-1, 1) for sy in (-1, 1) for sz in (-1, 1)]
        # index = (sx>0)*4 + (sy>0)*2 + (sz>0)
        faces = [(0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4), (1, 5, 7, 3)]
        for f in faces:
            self.quad(part, p[f[0]], p[f[1]], p[f[2]], p[f[3]])

    def sphere(self, part, centre, radius, rings=16, segments=24, squash=1.0):
        def point(i, j):
            theta = math.pi * i / rings
            phi = 2 * math.pi * j / segments
            n = (math.sin(theta) * math.cos(phi), math.sin(theta) * math.sin(phi), math.cos(theta) * squash)
            return add(centre, scale(n, radius)), normalize(n)
        for i in range(rings):
            for j in range(segments):
                (a, na), (b, nb) = point(i, j), point(i + 1, j)
                (c, nc), (d, nd) = point(i + 1, j + 1), point(i, j + 1)
                if i > 0:
                    self.add_triangle(part, a, b, d, (na, nb, nd))
                if i < rings - 1:
                    self.add_triangle(part, b, c, d, (nb, nc, nd))

    def cylinder(self, part, base, height, r0, r1, segments=24, caps=True):
        """Along +z from base; radius r0 at the base, r1 at the top (a cone when r1 is 0)."""
        bx, by, bz = base
        for j in range(segments):
            a0, a1 = 2 * math.pi * j / segments, 2 * math.pi * (j + 1) / segments
            c0, s0, c1, s1 = math.cos(a0), math.sin(a0), math.cos(a1), math.sin(a1)
            p00 = (bx + r0 * c0, by + r0 * s0, bz)
            p01 = (bx + r0 * c1, by + r0 * s1, bz)
            p10 = (bx + r1 * c0, by + r1 * s0, bz + height)
            p11 = (bx + r1 * c1, by + r1 * s1, bz + height)
            slope = (r0 - r1) / height if height else 0
            n0 = normalize((c0, s0, slope))
            n1 = normalize((c1, s1, slope))
            self.add_triangle(part, p00, p01, p11, (n0, n1, n1))
            if r1 > 0:
                self.add_triangle(part, p00, p11, p10, (n0, n1, n0))
            if caps:
                self.add_triangle(part, (bx, by, bz), p01, p00)
                if r1 > 0:
                    self.add_triangle(part, (bx, by, bz + height), p10, p11)

    def torus(self, part, centre, major, minor, segments=32, sides=12):
        def point(i, j):
            u = 2 * math.pi * i / segments
            v = 2 * math.pi * j / sides
            n = (math.cos(u) * math.cos(v), math.sin(u) * math.cos(v), math.sin(v))
            p = ((major + minor * math.cos(v)) * math.cos(u), (major + minor * math.cos(v)) * math.sin(u),
                 minor * math.sin(v))
            return add(centre, p), n
        for i in range(segments):
            for j in range(sides):
                (a, na), (b, nb) = point(i, j), point(i + 1, j)
                (c, nc), (d, nd) = point(i + 1, j + 1), point(i, j + 1)
                self.add_triangle(part, a, b, c, (na, nb, nc))
                self.add_triangle(part, a, c, d, (na, nc, nd))

    def prism(self, part, outline, z0, z1):
        """Extrudes a convex 2D outline (counter-clockwise) from z0 to z1."""
        n = len(outline)
        top = [(x, y, z1) for x, y in outline]
        bottom = [(x, y, z0) for x, y in outline]
        for i in range(1, n - 1):
            self.add_triangle(part, top[0], top[i], top[i + 1])
            self.add_triangle(part, bottom[0], bottom[i + 1], bottom[i])
        for i in range(n):
            j = (i + 1) % n
            self.quad(part, bottom[i], bottom[j], top[j], top[i])

    def xml(self):
        lines = ["<mesh>", "  <submeshes>"]
        for material, vertices, triangles in self.submeshes:
            lines.append('    <submesh material="%s" usesharedvertices="false" use32bitindexes="false" '
                         'operationtype="triangle_list">' % material)
            lines.append('      <faces count="%d">' % len(triangles))
            for a, b, c in triangles:
                lines.append('        <face v1="%d" v2="%d" v3="%d" />' % (a, b, c))
            lines.append("      </faces>")
            lines.append('      <geometry vertexcount="%d">' % len(vertices))
            lines.append('        <vertexbuffer positions="true" normals="true" texture_coords="1" '
                         'texture_coord_dimensions_0="2">')
            for p, n, uv in vertices:
                lines.append('          <vertex><position x="%.5f" y="%.5f" z="%.5f" />'
                             '<normal x="%.5f" y="%.5f" z="%.5f" /><texcoord u="%.4f" v="%.4f" /></vertex>'
                             % (to_model(p, MARKER_WIDTH) + to_model(n) + uv))
            lines.append("        </vertexbuffer>")
            lines.append("      </geometry>")
            lines.append("    </submesh>")
        lines += ["  </submeshes>", "</mesh>"]
        return "\n".join(lines) + "\n"


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def scale(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def normalize(a):
    length = math.sqrt(a[0] ** 2 + a[1] ** 2 + a[2] ** 2) or 1.0
    return (a[0] / length, a[1] / length, a[2] / length)


# Meshes are described here lying on the plane z = 0, rising along +z and fitting a unit square.
# They are written the way the player expects content: "up" along +y (the engine's convention;
# an actor turns its content so that +y stands out of the marker) and in the unit of the marker
# width, for the usual 80 mm marker.
MARKER_WIDTH = 80.0


def to_model(v, scale_by=1.0):
    """From the z-up description to the y-up model: (x, y, z) -> (x, z, -y), scaled."""
    return (v[0] * scale_by, v[2] * scale_by, -v[1] * scale_by)

def tile(builder, material):
    """A rounded-looking base tile that every icon stands on."""
    part = builder.part(material)
    builder.box(part, (0, 0, 0.04), (0.9, 0.9, 0.08))
    builder.box(part, (0, 0, 0.04), (0.96, 0.8, 0.06))
    builder.box(part, (0, 0, 0.04), (0.8, 0.96, 0.06))


def platform_mesh():
    b = MeshBuilder()
    ring = b.part("Core/PlatformMaterial")
    b.torus(ring, (0, 0, 0.01), 0.62, 0.025, segments=48, sides=8)
    marks = b.part("Core/PlatformMarkMaterial")
    for k in range(4):
        a = k * math.pi / 2
        c, s = math.cos(a), math.sin(a)
        outline = [(0.66 * c - 0.06 * s, 0.66 * s + 0.06 * c), (0.66 * c + 0.06 * s, 0.66 * s - 0.06 * c),
                   (0.8 * c, 0.8 * s)]
        b.prism(marks, outline, 0.0, 0.03)
    return b


def light_mesh():
    b = MeshBuilder()
    glass = b.part("Core/LightBulbMaterial")
    b.sphere(glass, (0, 0, 0.55), 0.22)
    socket = b.part("Core/LightSocketMaterial")
    b.cylinder(socket, (0, 0, 0.18), 0.18, 0.09, 0.13)
    for k in range(3):
        b.torus(socket, (0, 0, 0.2 + k * 0.05), 0.095, 0.015, segments=24, sides=6)
    b.cylinder(socket, (0, 0, 0.0), 0.18, 0.05, 0.08)
    return b


def audio_mesh():
    b = MeshBuilder()
    tile(b, "Core/IconAudioMaterial")
    sym = b.part("Core/IconSymbolMaterial")
    b.sphere(sym, (-0.12, -0.12, 0.16), 0.1, squash=0.5)
    b.box(sym, (-0.04, 0.08, 0.14), (0.05, 0.4, 0.05))
    b.box(sym, (0.06, 0.26, 0.14), (0.2, 0.05, 0.05))
    return b


def video_mesh():
    b = MeshBuilder()
    tile(b, "Core/IconVideoMaterial")
    sym = b.part("Core/IconSymbolMaterial")
    b.prism(sym, [(-0.15, -0.22), (0.25, 0.0), (-0.15, 0.22)], 0.08, 0.2)
    for k in range(5):
        b.box(sym, (-0.36 + k * 0.18, 0.4, 0.1), (0.1, 0.05, 0.04))
        b.box(sym, (-0.36 + k * 0.18, -0.4, 0.1), (0.1, 0.05, 0.04))
    return b


def image_mesh():
    b = MeshBuilder()
    tile(b, "Core/IconImageMaterial")
    frame = b.part("Core/IconSymbolMaterial")
    b.box(frame, (0, 0.3, 0.12), (0.66, 0.05, 0.06))
    b.box(frame, (0, -0.3, 0.12), (0.66, 0.05, 0.06))
    b.box(frame, (0.3, 0, 0.12), (0.05, 0.66, 0.06))
    b.box(frame, (-0.3, 0, 0.12), (0.05, 0.66, 0.06))
    b.prism(frame, [(-0.25, -0.25), (0.0, 0.12), (0.25, -0.25)], 0.08, 0.14)
    sun = b.part("Core/IconSunMaterial")
    b.sphere(sun, (0.14, 0.14, 0.14), 0.06, rings=8, segments=12)
    return b


def web_mesh():
    b = MeshBuilder()
    tile(b, "Core/IconWebMaterial")
    globe = b.part("Core/IconSymbolMaterial")
    b.sphere(globe, (0, 0, 0.36), 0.26)
    rings = b.part("Core/IconSunMaterial")
    b.torus(rings, (0, 0, 0.36), 0.28, 0.018, segments=32, sides=6)
    return b


def document_mesh():
    b = MeshBuilder()
    tile(b, "Core/IconDocumentMaterial")
    page = b.part("Core/IconPageMaterial")
    b.prism(page, [(-0.25, -0.33), (0.25, -0.33), (0.25, 0.2), (0.12, 0.33), (-0.25, 0.33)], 0.08, 0.14)
    ink = b.part("Core/IconInkMaterial")
    b.box(ink, (-0.05, 0.18, 0.145), (0.3, 0.05, 0.01))
    b.box(ink, (0.0, 0.0, 0.145), (0.4, 0.06, 0.01))
    b.box(ink, (0.0, -0.15, 0.145), (0.4, 0.06, 0.01))
    return b


def text_mesh():
    b = MeshBuilder()
    tile(b, "Core/IconTextMaterial")
    page = b.part("Core/IconPageMaterial")
    b.box(page, (0, 0, 0.11), (0.56, 0.68, 0.06))
    ink = b.part("Core/IconInkMaterial")
    for k in range(6):
        width = 0.42 if k % 3 != 2 else 0.26
        b.box(ink, (-0.21 + width / 2, 0.24 - k * 0.095, 0.145), (width, 0.035, 0.01))
    return b


MESHES = {
    "platform": platform_mesh,
    "light": light_mesh,
    "audio": audio_mesh,
    "video": video_mesh,
    "image": image_mesh,
    "web": web_mesh,
    "document": document_mesh,
    "text": text_mesh,
}


# ---------------------------------------------------------------- configuration

def write_plugins_cfg(path, plugin_dir):
    with open(path, "w") as out:
        out.write("# Render engine plug-ins of the player\n")
        out.write("PluginFolder=%s\n" % plugin_dir)
        out.write("Plugin=RenderSystem_GL\n")
        out.write("Plugin=Codec_STBI\n")


def write_display_cfg(path):
    with open(path, "w") as out:
        out.write("Render System=OpenGL Rendering Subsystem\n\n")
        out.write("[OpenGL Rendering Subsystem]\n")
        out.write("FSAA=0\n")
        out.write("Full Screen=No\n")
        out.write("RTT Preferred Mode=FBO\n")
        out.write("VSync=No\n")
        out.write("Video Mode=800 x 600\n")
        out.write("sRGB Gamma Conversion=No\n")


def main():
    output, plugin_dir, converter, font = sys.argv[1:5]
    os.makedirs(output, exist_ok=True)
    write_plugins_cfg(os.path.join(output, "plugins.cfg"), plugin_dir)
    write_display_cfg(os.path.join(output, "display.cfg"))

    # The package of the built-in resource "Nothing": a valid archive with no file. The engine's
    # ZIP reader refuses an archive without any entry, so it holds one empty folder.
    with zipfile.ZipFile(os.path.join(output, "void.zip"), "w") as z:
        z.writestr(zipfile.ZipInfo("void/"), "")

    work = tempfile.mkdtemp(prefix="velquin-media-")
    try:
        files = []
        for name in sorted(os.listdir(os.path.join(HERE, "core"))):
            files.append(os.path.join(HERE, "core", name))
        shutil.copy(font, os.path.join(work, "DejaVuSans.ttf"))
        files.append(os.path.join(work, "DejaVuSans.ttf"))
        for name, size, pixel in (("grid.png", 256, grid_pixel), ("splash.png", 256, splash_pixel),
                                  ("panel.png", 8, panel_pixel), ("accent.png", 64, accent_pixel)):
            write_png(os.path.join(work, name), size, size, pixel)
            files.append(os.path.join(work, name))
        for name, make in MESHES.items():
            xml = os.path.join(work, name + ".mesh.xml")
            with open(xml, "w") as out:
                out.write(make().xml())
            mesh = os.path.join(work, name + ".mesh")
            subprocess.run([converter, "-q", "-log", os.path.join(work, "converter.log"), xml, mesh], check=True, cwd=work,
                           stdout=subprocess.DEVNULL)
            files.append(mesh)
        archive = os.path.join(output, "VelquinCore.zip")
        with zipfile.ZipFile(archive + ".part", "w", zipfile.ZIP_DEFLATED) as z:
            for path in files:
                z.write(path, os.path.basename(path))
        os.replace(archive + ".part", archive)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
