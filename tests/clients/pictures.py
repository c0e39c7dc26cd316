"""Pictures for the tests that look at the player's window, standard library only: PNG reading
(8-bit grey, RGB, RGBA), PPM writing, the camera file, a marker rendered into a camera frame the
way a camera on a desk would see it, lens distortion included, and the pixels of a screenshot
that only a magenta model can have made."""
import math
import struct
import zlib


def read_png(path):
    """(width, height, rows): rows[y] is a bytes object of width * 3 (R, G, B)."""
    with open(path, "rb") as file:
        data = file.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s: not a PNG file" % path)
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        raise ValueError("%s: only 8-bit grey, RGB and RGBA PNGs without interlacing" % path)
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        previous = line
        if channels == 3:
            rows.append(bytes(line))
        else:
            rgb = bytearray()
            for x in range(width):
                pixel = line[x * channels:(x + 1) * channels]
                rgb += bytes(pixel[:3]) if channels == 4 else bytes(pixel) * 3
            rows.append(bytes(rgb))
    return width, height, rows


def write_ppm(path, width, height, rows):
    with open(path, "wb") as file:
        file.write(b"P6\n%d %d\n255\n" % (width, height))
        for row in rows:
            file.write(row)


def read_camera(path):
    """The camera file: width, height, the 3 x 4 projection (rows) and the distortion values."""
    with open(path, "rb") as file:
        data = file.read(136)
    width, height = struct.unpack(">ii", data[:8])
    values = struct.unpack(">12d", data[8:104])
    distortion = struct.unpack(">4d", data[104:136])
    return width, height, [values[0:4], values[4:8], values[8:12]], distortion


def observed_to_ideal(distortion, ox, oy):
    """The detector's removal of lens distortion (three Newton steps)."""
    x0, y0, f, s = distortion
    px, py = ox - x0, oy - y0
    z2 = px * px + py * py
    q = z0 = math.sqrt(z2)
    p = f * 1e-8
    for i in range(3):
        if z0 == 0:
            px = py = 0
            break
        z = z0 - ((1 - p * z2) * z0 - q) / (1 - 3 * p * z2)
        px, py = px * z / z0, py * z / z0
        if i < 2:
            z2 = px * px + py * py
            z0 = math.sqrt(z2)
    return x0 + px / s, y0 + py / s


def marker_pose(distance, tilt_degrees, shift_x=0.0, shift_y=0.0):
    """Marker to camera: the marker faces the camera upright (its y up is the picture's up),
    tilted back by the angle about its x axis, its centre shifted and `distance` away."""
    a = math.radians(tilt_degrees)
    # Columns: where the marker's x and y axes point in camera coordinates (x right, y down, z ahead).
    x_axis = (1.0, 0.0, 0.0)
    y_axis = (0.0, -math.cos(a), math.sin(a))
    return x_axis, y_axis, (shift_x, shift_y, distance)


def project(camera, pose, x, y, z=0.0):
    """Where the marker point (x, y, z) lies in the ideal (distortion-free) picture: x towards the
    marker's right edge, y towards its top edge, z up off the paper (towards the camera)."""
    _, _, p, _ = camera
    x_axis, y_axis, t = pose
    z_axis = [x_axis[1] * y_axis[2] - x_axis[2] * y_axis[1], x_axis[2] * y_axis[0] - x_axis[0] * y_axis[2],
              x_axis[0] * y_axis[1] - x_axis[1] * y_axis[0]]
    c = [x_axis[i] * x + y_axis[i] * y + z_axis[i] * z + t[i] for i in range(3)]
    return (p[0][0] * c[0] + p[0][1] * c[1] + p[0][2] * c[2]) / c[2], (p[1][1] * c[1] + p[1][2] * c[2]) / c[2]


def render_marker(camera, pose, marker_png, square_width, background=(176, 180, 172)):
    """Rows of a camera frame showing the printed marker (velquin-marker's PNG, whose black
    square is square_width units wide) at the pose, on a plain desk."""
    width, height, p, distortion = camera
    m_width, m_height, m_rows = read_png(marker_png)
    # The printed picture: black square of 8/10 of the picture's side (the white margin is an eighth
    # of the square on each side), centred on the marker's origin.
    square_pixels = m_width * 8 / 10
    units_per_pixel = square_width / square_pixels
    x_axis, y_axis, t = pose
    # Homography from marker plane (x, y, 1) to the ideal picture, and its inverse.
    k = [[p[0][0], p[0][1], p[0][2]], [0.0, p[1][1], p[1][2]], [0.0, 0.0, 1.0]]
    columns = [x_axis, y_axis, t]
    h = [[sum(k[r][i] * columns[c][i] for i in range(3)) for c in range(3)] for r in range(3)]
    inverse = invert3(h)
    rows = []
    grey = bytes(background)
    for v in range(height):
        row = bytearray(grey * width)
        for u in range(width):
            ix, iy = observed_to_ideal(distortion, u, v)
            w = inverse[2][0] * ix + inverse[2][1] * iy + inverse[2][2]
            mx = (inverse[0][0] * ix + inverse[0][1] * iy + inverse[0][2]) / w
            my = (inverse[1][0] * ix + inverse[1][1] * iy + inverse[1][2]) / w
            px = int(math.floor(mx / units_per_pixel + m_width / 2))
            py = int(math.floor(-my / units_per_pixel + m_height / 2))
            if 0 <= px < m_width and 0 <= py < m_height:
                row[u * 3:u * 3 + 3] = m_rows[py][px * 3:px * 3 + 3]
        rows.append(bytes(row))
    return rows


def invert3(m):
    a, b, c = m[0]
    d, e, f = m[1]
    g, h, i = m[2]
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]


def magenta_pixels(path):
    """(width, height, pixels) of a screenshot: the pixels that only a magenta model can have
    made, red and blue far above green."""
    width, height, rows = read_png(path)
    found = []
    for y in range(height):
        row = rows[y]
        for x in range(width):
            r, g, b = row[3 * x], row[3 * x + 1], row[3 * x + 2]
            if r > 120 and b > 120 and g < 0.6 * min(r, b):
                found.append((x, y))
    return width, height, found
