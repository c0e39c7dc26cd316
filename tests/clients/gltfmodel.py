"""Writes a small animated glTF 2.0 binary (.glb) with the standard library only: a magenta
tower standing on the origin (a block, and an arm on a joint that the animation "Spin" turns
about the up axis), in metres, +y up, with an embedded PNG texture."""
import json
import math
import struct
import zlib


def png_bytes(width, height, rgb):
    raw = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def box(centre, size):
    """Positions, normals, texture coordinates and indices of an axis-aligned box."""
    positions, normals, uvs, indices = [], [], [], []
    for axis in range(3):
        for sign in (-1, 1):
            normal = [0.0, 0.0, 0.0]
            normal[axis] = float(sign)
            u_axis, v_axis = [(1, 2), (2, 0), (0, 1)][axis]
            base = len(positions)
            for du, dv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                p = list(centre)
                p[axis] += sign * size[axis] / 2
                p[u_axis] += du * size[u_axis] / 2
                p[v_axis] += dv * size[v_axis] / 2
                positions.append(p)
                normals.append(normal)
                uvs.append([(du + 1) / 2, (dv + 1) / 2])
            quad = [0, 1, 2, 0, 2, 3] if sign > 0 else [0, 2, 1, 0, 3, 2]
            indices += [base + i for i in quad]
    return positions, normals, uvs, indices


def write_glb(path, size=0.05):
    """A tower `size` metres wide: a block size x 1.2 size x size, and an arm sticking out along +x."""
    meshes_data = [box((0, 0.6 * size, 0), (size, 1.2 * size, size)),
                   box((0.45 * size, 0, 0), (0.9 * size, 0.3 * size, 0.3 * size))]
    binary = bytearray()
    views, accessors, meshes = [], [], []

    def add(values, component, kind, target=None, minmax=False):
        while len(binary) % 4:
            binary.append(0)
        flat = [x for v in values for x in (v if isinstance(v, (list, tuple)) else [v])]
        fmt = {5126: "f", 5123: "H"}[component]
        data = struct.pack("<%d%s" % (len(flat), fmt), *flat)
        view = {"buffer": 0, "byteOffset": len(binary), "byteLength": len(data)}
        if target:
            view["target"] = target
        views.append(view)
        binary.extend(data)
        accessor = {"bufferView": len(views) - 1, "componentType": component, "count": len(values), "type": kind}
        if minmax:
            accessor["min"] = [min(v[i] for v in values) for i in range(3)]
            accessor["max"] = [max(v[i] for v in values) for i in range(3)]
        accessors.append(accessor)
        return len(accessors) - 1

    for positions, normals, uvs, indices in meshes_data:
        attributes = {"POSITION": add(positions, 5126, "VEC3", 34962, True),
                      "NORMAL": add(normals, 5126, "VEC3", 34962),
                      "TEXCOORD_0": add(uvs, 5126, "VEC2", 34962)}
        meshes.append({"primitives": [{"attributes": attributes, "indices": add(indices, 5123, "SCALAR", 34963),
                                       "material": 0}]})
    times = [0.0, 0.5, 1.0, 1.5, 2.0]
    turns = []
    for t in times:
        angle = math.pi * t  # a full turn in two seconds
        turns.append([0.0, math.sin(angle / 2), 0.0, math.cos(angle / 2)])
    key_times = add(times, 5126, "SCALAR")
    accessors[key_times]["min"], accessors[key_times]["max"] = [0.0], [2.0]
    key_values = add(turns, 5126, "VEC4")
    while len(binary) % 4:
        binary.append(0)
    texture = png_bytes(4, 4, (255, 40, 255))
    views.append({"buffer": 0, "byteOffset": len(binary), "byteLength": len(texture)})
    binary.extend(texture)
    while len(binary) % 4:
        binary.append(0)

    document = {
        "asset": {"version": "2.0", "generator": "velquin newcomer test"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "Tower", "mesh": 0, "children": [1]},
                  {"name": "Joint", "translation": [0.0, 0.9 * size, 0.0], "mesh": 1}],
        "meshes": meshes,
        "materials": [{"name": "Magenta", "pbrMetallicRoughness": {
            "baseColorFactor": [1.0, 0.15, 1.0, 1.0], "baseColorTexture": {"index": 0},
            "metallicFactor": 0.0}, "emissiveFactor": [0.5, 0.0, 0.5]}],
        "textures": [{"source": 0}],
        "images": [{"bufferView": len(views) - 1, "mimeType": "image/png"}],
        "animations": [{"name": "Spin", "samplers": [{"input": key_times, "output": key_values,
                                                      "interpolation": "LINEAR"}],
                        "channels": [{"sampler": 0, "target": {"node": 1, "path": "rotation"}}]}],
        "buffers": [{"byteLength": len(binary)}],
        "bufferViews": views,
        "accessors": accessors,
    }
    text = json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    body = struct.pack("<II", len(text), 0x4E4F534A) + text + struct.pack("<II", len(binary), 0x004E4942) + bytes(binary)
    with open(path, "wb") as file:
        file.write(struct.pack("<III", 0x46546C67, 2, 12 + len(body)) + body)


if __name__ == "__main__":
    import sys
    write_glb(sys.argv[1])
