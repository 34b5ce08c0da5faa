#!/usr/bin/python3
# Writes the five stored meshes of the effects library as C++ tables (effects/Mesh*.cpp).
# The lettering comes from a serif font's outlines; the library itself never reads a font.
"""Generate effects/MeshSphere.cpp, MeshPyramid.cpp, MeshFloorCeiling.cpp, MeshSlats.cpp and
MeshLettering.cpp.

Needs python3-fonttools and the TeX Gyre Termes font (Debian: fonts-texgyre); --preview also
needs python3-pil. All stored values are rounded to three decimals, halves away from zero, on
the exact value (so 1/16 is stored as 0.063).
"""

import argparse
import math
import os
import sys
from fractions import Fraction

DEFAULT_FONT = "/usr/share/texmf/fonts/opentype/public/tex-gyre/texgyretermes-regular.otf"
COLUMNS = 100

# The lettering's boxes (x0, x1, y0, y1): each capital's outline is mapped onto its box.
LETTER_BOXES = [
    ("L", (-100.806, -49.438, -29.199, 30.566)),
    ("I", (-45.288, -19.751, -29.199, 30.566)),
    ("V", (-16.616, 46.590, -30.566, 30.566)),
    ("E", (49.585, 100.806, -29.199, 30.566)),
]
LETTER_POINTS = 311  # outline points of the four letters together
LETTER_HALF_DEPTH = "2.621"
# Planar texture mapping of the lettering: s and t at the word's extreme x and y.
S_RANGE = ("-100.806", "0.023", "100.806", "0.984")
T_RANGE = ("-30.566", "0.031", "30.566", "0.733")


# ---- three-decimal values -------------------------------------------------------------------

def milli(value):
    """Rounds an exact value (int, Fraction, decimal string or float) to integer thousandths."""
    q = Fraction(value) * 1000
    n = math.floor(abs(q) + Fraction(1, 2))
    return -n if q < 0 else n


def fmt_milli(m):
    """C++ float literal of m thousandths: 0.656f, 10.0f, -9.239f (never -0.0f)."""
    sign = "-" if m < 0 else ""
    whole, frac = divmod(abs(m), 1000)
    digits = ("%03d" % frac).rstrip("0") or "0"
    return "%s%d.%sf" % (sign, whole, digits)


def fmt(value):
    return fmt_milli(milli(value))


def unit_milli(vec):
    """A float vector made unit length, in thousandths."""
    length = math.sqrt(sum(c * c for c in vec))
    return tuple(milli(c / length) for c in vec)


# ---- C++ output -----------------------------------------------------------------------------

def wrap(items, indent="    "):
    """Joins C++ initialiser items with commas, wrapped to the column limit."""
    lines, line = [], indent
    for item in items:
        piece = item + ","
        if len(line) > len(indent) and len(line) + 1 + len(piece) > COLUMNS:
            lines.append(line)
            line = indent
        line += ("" if line == indent else " ") + piece
    if line.strip():
        lines.append(line)
    return "\n".join(lines)


def face_literal(material, corners):
    padded = list(corners) + [0] * (4 - len(corners))
    return "{%d, %d, {%s}}" % (material, len(corners), ", ".join(str(c) for c in padded))


class MeshTables:
    """Collects one mesh: vertices in thousandths, faces, per-corner texcoords, face normals."""

    def __init__(self):
        self.vertices = []   # (x, y, z) in thousandths
        self.faces = []      # (material, corner indices)
        self.texcoords = []  # per face: list of (s, t) in thousandths, one per corner
        self.normals = []    # per face: (x, y, z) in thousandths

    def add_vertex(self, x, y, z):
        self.vertices.append((milli(x), milli(y), milli(z)))
        return len(self.vertices) - 1

    def add_face(self, material, corners, texcoords, normal_milli):
        assert len(corners) in (3, 4) and len(texcoords) == len(corners)
        self.faces.append((material, tuple(corners)))
        self.texcoords.append([(milli(s), milli(t)) for s, t in texcoords])
        self.normals.append(tuple(normal_milli))

    def render(self, name, header, materials, vertex_comment, face_comment):
        """The C++ source defining `name` from the tables; materials: list of texture slots."""
        prefix = "k" + name[2].upper() + name[3:-4]  # g_sphereMesh -> kSphere
        # Kept as generated: one vertex, texture row or normal a line reads better than reflowed.
        out = [header, "", '#include "Mesh.h"', "", "// clang-format off"]
        out.append("// " + vertex_comment)
        out.append("static const float %sVertices[] = {" % prefix)
        for v in self.vertices:
            out.append("    " + ", ".join(fmt_milli(c) for c in v) + ",")
        out.append("};")
        out.append("")
        out.append("// " + face_comment)
        out.append("static const MeshFace %sFaces[] = {" % prefix)
        out.append(wrap(face_literal(m, c) for m, c in self.faces))
        out.append("};")
        out.append("")
        out.append("// (s, t) of the four corners of each face; a triangle's fourth is (0, 0).")
        out.append("static const float %sTexcoords[] = {" % prefix)
        for corners in self.texcoords:
            padded = list(corners) + [(0, 0)] * (4 - len(corners))
            out.append("    " + ", ".join(fmt_milli(c) for st in padded for c in st) + ",")
        out.append("};")
        out.append("")
        out.append("static const float %sNormals[] = {" % prefix)
        for n in self.normals:
            out.append("    " + ", ".join(fmt_milli(c) for c in n) + ",")
        out.append("};")
        out.append("")
        out.append("static const MeshMaterial %sMaterials[] = {" % prefix)
        for slot in materials:
            out.append("    {1.0f, 1.0f, 1.0f, 1.0f, %d, false}," % slot)
        out.append("};")
        out.append("")
        out.append("const Mesh %s = {" % name)
        out.append("    %sVertices, %sFaces, %sTexcoords, nullptr," % (prefix, prefix, prefix))
        out.append("    %sNormals, %sMaterials, %d, %d};" % (
            prefix, prefix, len(self.faces), len(self.vertices)))
        out.append("// clang-format on")
        return "\n".join(out) + "\n"


def generated_line(font=None):
    if font:
        return "// Generated by tools/gen-meshes.py from the font %s; do not edit." % font
    return "// Generated by tools/gen-meshes.py (no font involved); do not edit."


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def outward_normal(points, centre):
    """Unit normal of a planar face, turned to point away from `centre` (floats)."""
    n = cross(sub(points[1], points[0]), sub(points[2], points[0]))
    if len(points) == 4:  # diagonals: exact for any planar quad
        n = cross(sub(points[2], points[0]), sub(points[3], points[1]))
    centroid = tuple(sum(p[i] for p in points) / len(points) for i in range(3))
    if dot(n, sub(centroid, centre)) < 0:
        n = tuple(-c for c in n)
    return unit_milli(n)


# ---- the four meshes built from rules ------------------------------------------------------

def sphere():
    """Radius 10, poles on y, 8 segments and 8 bands; normals point out of the sphere."""
    m = MeshTables()
    exact = []  # unrounded positions, for the normals

    def vertex(x, y, z):
        exact.append((x, y, z))
        m.add_vertex(x, y, z)

    vertex(0, 10, 0)
    for j in range(1, 8):
        polar = math.radians(22.5 * j)
        r, y = 10 * math.sin(polar), 10 * math.cos(polar)
        for k in range(8):
            az = math.radians(45 * k)
            vertex(r * math.sin(az), y, r * math.cos(az))
    vertex(0, -10, 0)
    south = 57

    def ring(j, k):
        return 1 + (j - 1) * 8 + k % 8

    def s(k):  # k = 8 where the segment wraps round to point 0
        return Fraction(k, 8)

    def t(j):
        return Fraction(3, 4) * Fraction(8 - j, 8)

    def face(corners, tex):
        m.add_face(0, corners, tex, outward_normal([exact[c] for c in corners], (0, 0, 0)))

    for k in range(8):
        face([0, ring(1, k + 1), ring(1, k)],
             [(s(k) + Fraction(1, 16), Fraction(3, 4)), (s(k + 1), t(1)), (s(k), t(1))])
    for j in range(1, 7):
        for k in range(8):
            face([ring(j, k), ring(j, k + 1), ring(j + 1, k + 1), ring(j + 1, k)],
                 [(s(k), t(j)), (s(k + 1), t(j)), (s(k + 1), t(j + 1)), (s(k), t(j + 1))])
    for k in range(8):
        face([ring(7, k), ring(7, k + 1), south],
             [(s(k), t(7)), (s(k + 1), t(7)), (s(k) + Fraction(1, 16), 0)])
    return m


PYRAMID_TEXCOORDS = [  # per triangle: base k, apex, base k+1
    ("0", "0", "0.25", "0.75", "0.25", "0"),
    ("0.5", "0.75", "0.5", "0", "0.75", "0.75"),
    ("0.5", "0", "0.75", "0.75", "0.75", "0"),
    ("0.25", "0.75", "0.25", "0", "0.5", "0.75"),
    ("0.25", "0", "0.5", "0.75", "0.5", "0"),
    ("1", "0.75", "0.75", "0", "0.75", "0.75"),
    ("0.75", "0", "1", "0.75", "1", "0"),
    ("0.25", "0.75", "0", "0", "0", "0.75"),
]


def pyramid():
    """Eight sides round the y axis, no base; normals point away from the axis."""
    m = MeshTables()
    exact = []
    for k in range(8):
        az = math.radians(45 * k)
        exact.append((100 * math.sin(az), 0.0, 100 * math.cos(az)))
    exact.append((0.0, 200.0, 0.0))
    for p in exact:
        m.add_vertex(*p)
    apex = 8
    for k in range(8):
        corners = [k, apex, (k + 1) % 8]
        # Away from the axis: the centre is the point of the axis level with the centroid.
        cy = sum(exact[c][1] for c in corners) / 3
        tex = PYRAMID_TEXCOORDS[k]
        m.add_face(0, corners, [(tex[0], tex[1]), (tex[2], tex[3]), (tex[4], tex[5])],
                   outward_normal([exact[c] for c in corners], (0, cy, 0)))
    return m


def floor_ceiling():
    """3 x 3 floor tiles at y = -15 (material 0) and ceiling tiles at y = 15 (material 1)."""
    m = MeshTables()
    steps = [-200, Fraction(-200, 3), Fraction(200, 3), 200]
    for y in (-15, 15):
        for z in steps:
            for x in steps:
                m.add_vertex(x, y, z)

    def grid(base, r, c):
        return base + r * 4 + c

    for r in range(3):
        for c in range(3):
            m.add_face(0, [grid(0, r, c), grid(0, r, c + 1), grid(0, r + 1, c + 1),
                           grid(0, r + 1, c)],
                       [(0, "0.75"), (1, "0.75"), (1, 0), (0, 0)], (0, 1000, 0))
    for r in range(3):
        for c in range(3):
            m.add_face(1, [grid(16, r, c), grid(16, r + 1, c), grid(16, r + 1, c + 1),
                           grid(16, r, c + 1)],
                       [(0, "0.75"), (0, 0), (1, 0), (1, "0.75")], (0, -1000, 0))
    return m


def slats():
    """Eight slats 12.5 wide and 200 high in the z = 0 plane, 12.5 apart."""
    m = MeshTables()
    for y in (100, -100):
        for i in range(16):
            m.add_vertex(Fraction(-100) + Fraction(25, 2) * i, y, 0)
    for k in range(8):
        s0, s1 = Fraction(k, 8), Fraction(k, 8) + Fraction(1, 16)
        m.add_face(0, [2 * k, 2 * k + 1, 16 + 2 * k + 1, 16 + 2 * k],
                   [(s0, "0.75"), (s1, "0.75"), (s1, 0), (s0, 0)], (0, 0, 1000))
    return m


# ---- the lettering: outlines -----------------------------------------------------------------

def flatten_glyph(glyph_set, glyph_name):
    """The glyph's single contour as a dense polyline (floats, font units, no repeated end)."""
    from fontTools.pens.basePen import BasePen

    class FlattenPen(BasePen):
        def __init__(self):
            BasePen.__init__(self, glyph_set)
            self.contours = []

        def _moveTo(self, p):
            self.contours.append([p])

        def _lineTo(self, p):
            self.contours[-1].append(p)

        def _curveToOne(self, p1, p2, p3):
            p0 = self.contours[-1][-1]
            # Fine enough that simplification, not flattening, decides the final shape.
            steps = max(8, int(math.dist(p0, p1) + math.dist(p1, p2) + math.dist(p2, p3)))
            for i in range(1, steps + 1):
                u = i / steps
                v = 1 - u
                self.contours[-1].append(tuple(
                    v * v * v * a + 3 * v * v * u * b + 3 * v * u * u * c + u * u * u * d
                    for a, b, c, d in zip(p0, p1, p2, p3)))

        def _qCurveToOne(self, p1, p2):
            p0 = self.contours[-1][-1]
            self._curveToOne(tuple(a + 2 * (b - a) / 3 for a, b in zip(p0, p1)),
                             tuple(c + 2 * (b - c) / 3 for b, c in zip(p1, p2)), p2)

        def _closePath(self):
            pts = self.contours[-1]
            if math.dist(pts[0], pts[-1]) < 1e-9:
                pts.pop()

    pen = FlattenPen()
    glyph_set[glyph_name].draw(pen)
    if len(pen.contours) != 1:
        sys.exit("gen-meshes: glyph %s has %d contours, need one" % (glyph_name,
                                                                   len(pen.contours)))
    pts = pen.contours[0]
    if signed_area2(pts) < 0:  # font outlines run clockwise; the mesh wants them anticlockwise
        pts.reverse()
    return pts


def signed_area2(pts):
    return sum(pts[i - 1][0] * pts[i][1] - pts[i][0] * pts[i - 1][1] for i in range(len(pts)))


def orient(a, b, c):
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])


def segments_touch(p, q, r, s):
    """Whether closed segments pq and rs meet (exact for integers)."""
    d1, d2 = orient(p, q, r), orient(p, q, s)
    d3, d4 = orient(r, s, p), orient(r, s, q)
    if ((d1 > 0 and d2 < 0) or (d1 < 0 and d2 > 0)) and \
            ((d3 > 0 and d4 < 0) or (d3 < 0 and d4 > 0)):
        return True

    def on(a, b, c):  # c on segment ab, given collinear
        return min(a[0], b[0]) <= c[0] <= max(a[0], b[0]) and \
            min(a[1], b[1]) <= c[1] <= max(a[1], b[1])

    return (d1 == 0 and on(p, q, r)) or (d2 == 0 and on(p, q, s)) or \
        (d3 == 0 and on(r, s, p)) or (d4 == 0 and on(r, s, q))


def simplify(outlines, total):
    """Drops points of the dense outlines until `total` remain, always the one whose removal
    changes the shape least (smallest triangle with its neighbours), keeping each outline
    simple and its bounding box."""
    import heapq
    nxt = [[(i + 1) % len(o) for i in range(len(o))] for o in outlines]
    prv = [[(i - 1) % len(o) for i in range(len(o))] for o in outlines]
    alive = [[True] * len(o) for o in outlines]
    keep = []
    for o in outlines:
        xs, ys = [p[0] for p in o], [p[1] for p in o]
        box = (min(xs), max(xs), min(ys), max(ys))
        keep.append({i for i, p in enumerate(o) if p[0] in box[:2] or p[1] in box[2:]})

    def cost(li, i):
        o = outlines[li]
        return abs(orient(o[prv[li][i]], o[i], o[nxt[li][i]]))

    version = [[0] * len(o) for o in outlines]
    heap = [(cost(li, i), li, i, 0) for li, o in enumerate(outlines) for i in range(len(o))
            if i not in keep[li]]
    heapq.heapify(heap)
    count = sum(len(o) for o in outlines)
    skipped = []  # removals that would have made an outline cross itself, retried later
    while count > total:
        if not heap:
            sys.exit("gen-meshes: cannot simplify the lettering to %d points" % total)
        c, li, i, ver = heapq.heappop(heap)
        if not alive[li][i] or ver != version[li][i]:
            continue
        if not removal_keeps_simple(outlines[li], nxt[li], prv[li], i):
            skipped.append((c, li, i, ver))
            continue
        alive[li][i] = False
        a, b = prv[li][i], nxt[li][i]
        nxt[li][a], prv[li][b] = b, a
        count -= 1
        for j in (a, b):
            if j not in keep[li]:
                version[li][j] += 1
                heapq.heappush(heap, (cost(li, j), li, j, version[li][j]))
        for entry in skipped:
            heapq.heappush(heap, entry)
        skipped = []
    result = []
    for li, o in enumerate(outlines):
        start = next(i for i in range(len(o)) if alive[li][i])
        pts, i = [], start
        while True:
            pts.append(o[i])
            i = nxt[li][i]
            if i == start:
                break
        result.append(pts)
    return result


def removal_keeps_simple(outline, nxt, prv, i):
    """Whether the shortcut from i's predecessor to its successor misses every other edge."""
    a, c = prv[i], nxt[i]
    pa, pc = outline[a], outline[c]
    k = nxt[c]
    while nxt[k] != a:  # edges c+1 -> ... -> a-1; the ones ending at a or c share a corner
        if segments_touch(pa, pc, outline[k], outline[nxt[k]]):
            return False
        k = nxt[k]
    return True


def map_to_box(outline, box):
    """Maps an outline (font units) exactly onto the box, then into thousandths."""
    x0, x1, y0, y1 = (Fraction(v) for v in box)
    xs, ys = [Fraction(p[0]) for p in outline], [Fraction(p[1]) for p in outline]
    bx0, bx1, by0, by1 = min(xs), max(xs), min(ys), max(ys)
    return [(milli(x0 + (x - bx0) * (x1 - x0) / (bx1 - bx0)),
             milli(y0 + (y - by0) * (y1 - y0) / (by1 - by0))) for x, y in zip(xs, ys)]


def check_outline(name, pts):
    """The rounded outline must still be simple, anticlockwise, without repeats or straight
    runs."""
    n = len(pts)
    problems = []
    if len(set(pts)) != n:
        problems.append("repeated point")
    for i in range(n):
        if orient(pts[i - 1], pts[i], pts[(i + 1) % n]) == 0:
            problems.append("straight run at point %d" % i)
        for k in range(i + 2, n):
            if (k + 1) % n == i:
                continue
            if segments_touch(pts[i], pts[(i + 1) % n], pts[k], pts[(k + 1) % n]):
                problems.append("edges %d and %d meet" % (i, k))
    if signed_area2(pts) <= 0:
        problems.append("not anticlockwise")
    if problems:
        sys.exit("gen-meshes: outline of %s: %s" % (name, "; ".join(problems[:5])))


# ---- the lettering: triangulation ----------------------------------------------------------

def in_triangle(a, b, c, p):
    """Closed triangle test (a, b, c anticlockwise)."""
    return orient(a, b, p) >= 0 and orient(b, c, p) >= 0 and orient(c, a, p) >= 0


def min_angle(a, b, c):
    def angle(p, q, r):  # at q
        u, v = sub(p, q), sub(r, q)
        return math.acos(max(-1.0, min(1.0, dot(u, v) / math.hypot(*u) / math.hypot(*v))))
    return min(angle(c, a, b), angle(a, b, c), angle(b, c, a))


def ear_clip(pts):
    """n - 2 anticlockwise triangles (index triples) covering a simple anticlockwise polygon;
    of the ears on offer it cuts the best-shaped one first."""
    ring = list(range(len(pts)))
    tris = []
    while len(ring) > 3:
        best = None
        m = len(ring)
        for pos in range(m):
            ia, ib, ic = ring[pos - 1], ring[pos], ring[(pos + 1) % m]
            a, b, c = pts[ia], pts[ib], pts[ic]
            if orient(a, b, c) <= 0:
                continue
            if any(in_triangle(a, b, c, pts[j]) for j in ring if j not in (ia, ib, ic)):
                continue
            q = min_angle(a, b, c)
            if best is None or q > best[0]:
                best = (q, pos, (ia, ib, ic))
        if best is None:
            sys.exit("gen-meshes: no ear left to cut")
        tris.append(best[2])
        del ring[best[1]]
    tris.append(tuple(ring))
    return tris


def in_circle(a, b, c, d):
    """Positive when d lies strictly inside the circle through anticlockwise a, b, c."""
    rows = [(p[0] - d[0], p[1] - d[1]) for p in (a, b, c)]
    rows = [(x, y, x * x + y * y) for x, y in rows]
    (a1, a2, a3), (b1, b2, b3), (c1, c2, c3) = rows
    return (a1 * (b2 * c3 - b3 * c2) - a2 * (b1 * c3 - b3 * c1) + a3 * (b1 * c2 - b2 * c1))


def delaunay_flips(pts, tris):
    """Flips inner diagonals until the triangulation is the constrained Delaunay one, which
    makes the thinnest triangles as fat as the outline allows."""
    tris = [tuple(t) for t in tris]
    changed = True
    while changed:
        changed = False
        edges = {}
        for ti, t in enumerate(tris):
            for e in range(3):
                edges[(t[e], t[(e + 1) % 3])] = ti
        for (u, v), ti in edges.items():
            tj = edges.get((v, u))
            if tj is None or tj < ti:
                continue
            t1, t2 = tris[ti], tris[tj]
            if (u, v) not in [(t1[e], t1[(e + 1) % 3]) for e in range(3)] or \
                    (v, u) not in [(t2[e], t2[(e + 1) % 3]) for e in range(3)]:
                continue  # stale after an earlier flip in this pass
            c = next(x for x in t1 if x not in (u, v))
            d = next(x for x in t2 if x not in (u, v))
            # t1 = (u, v, c), t2 = (v, u, d); the flip makes (c, u, d) and (d, v, c).
            if in_circle(pts[u], pts[v], pts[c], pts[d]) <= 0:
                continue
            if orient(pts[c], pts[u], pts[d]) <= 0 or orient(pts[d], pts[v], pts[c]) <= 0:
                continue
            tris[ti], tris[tj] = (c, u, d), (d, v, c)
            changed = True
            break
    return tris


def check_triangulation(name, pts, tris):
    area2 = sum(orient(pts[a], pts[b], pts[c]) for a, b, c in tris)
    if len(tris) != len(pts) - 2 or area2 != signed_area2(pts) or \
            any(orient(pts[a], pts[b], pts[c]) <= 0 for a, b, c in tris):
        sys.exit("gen-meshes: bad triangulation of %s" % name)


# ---- the lettering: mesh ---------------------------------------------------------------------

def load_outlines(font_path):
    from fontTools.ttLib import TTFont
    font = TTFont(font_path)
    glyph_set, cmap = font.getGlyphSet(), font.getBestCmap()
    dense = [flatten_glyph(glyph_set, cmap[ord(ch)]) for ch, _ in LETTER_BOXES]
    names = font["name"]
    family = names.getDebugName(1)
    style = names.getDebugName(2)
    version = (names.getDebugName(5) or "").split(";")[0].strip()
    label = "%s %s %s" % (family, style, version.replace("Version", "").strip())
    return dense, label


def lettering(font_path):
    dense, label = load_outlines(font_path)
    simple = simplify(dense, LETTER_POINTS)
    outlines = [map_to_box(o, box) for o, (_, box) in zip(simple, LETTER_BOXES)]
    for (ch, _), o in zip(LETTER_BOXES, outlines):
        check_outline(ch, o)

    front = [p for o in outlines for p in o]
    count = len(front)
    half = milli(LETTER_HALF_DEPTH)
    m = MeshTables()
    for z in (half, -half):
        for x, y in front:
            m.vertices.append((x, y, z))

    def planar(p):  # s, t of a front point (thousandths) as exact fractions
        (xa, sa, xb, sb), (ya, ta, yb, tb) = ([Fraction(v) for v in r] for r in (S_RANGE,
                                                                                 T_RANGE))
        x, y = Fraction(p[0], 1000), Fraction(p[1], 1000)
        return (sa + (x - xa) * (sb - sa) / (xb - xa), ta + (y - ya) * (tb - ta) / (yb - ya))

    tris, starts, start = [], [], 0
    for (ch, _), o in zip(LETTER_BOXES, outlines):
        t = delaunay_flips(o, ear_clip(o))
        check_triangulation(ch, o, t)
        tris.append(t)
        starts.append(start)
        start += len(o)
    for t, base in zip(tris, starts):
        for a, b, c in t:
            corners = [base + a, base + b, base + c]
            m.add_face(0, corners, [planar(front[i]) for i in corners], (0, 0, 1000))
    for t, base in zip(tris, starts):
        for a, b, c in t:  # the back seen from -z: reversed corners
            corners = [base + c, base + b, base + a]
            m.add_face(0, [count + i for i in corners], [planar(front[i]) for i in corners],
                       (0, 0, -1000))
    for o, base in zip(outlines, starts):
        for k in range(len(o)):
            i, j = base + k, base + (k + 1) % len(o)
            (xi, yi), (xj, yj) = front[i], front[j]
            # The outline runs anticlockwise, so its outside is to the right of i -> j.
            normal = unit_milli((yj - yi, xi - xj, 0))
            m.add_face(0, [i, count + i, count + j, j],
                       [planar(front[i]), planar(front[i]), planar(front[j]), planar(front[j])],
                       normal)
    return m, label, outlines, tris


# ---- preview ----------------------------------------------------------------------------------

def preview(path, outlines, tris, scale=8):
    """Draws the front triangles, filled and edged, to a PNG, to judge the letters by eye."""
    from PIL import Image, ImageDraw
    margin = 20
    width = int(201.612 * scale) + 2 * margin
    height = int(61.132 * scale) + 2 * margin
    image = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(image)

    def px(p):
        return (margin + (p[0] / 1000 + 100.806) * scale,
                margin + (30.566 - p[1] / 1000) * scale)

    colours = [(250, 200, 120), (160, 210, 250), (190, 240, 170), (240, 170, 220)]
    for o, t in zip(outlines, tris):
        for n, (a, b, c) in enumerate(t):
            draw.polygon([px(o[a]), px(o[b]), px(o[c])], fill=colours[n % 4],
                         outline=(90, 90, 90))
        draw.line([px(p) for p in o] + [px(o[0])], fill=(0, 0, 0), width=2)
    image.save(path)


# ---- main -------------------------------------------------------------------------------------

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--font", default=DEFAULT_FONT, help="serif font for the lettering")
    parser.add_argument("--out-dir", default=os.path.join(here, "..", "effects"))
    parser.add_argument("--preview", metavar="PNG", help="also draw the lettering's front")
    args = parser.parse_args()

    lettering_mesh, label, outlines, tris = lettering(args.font)
    meshes = [
        ("MeshSphere.cpp", "g_sphereMesh", sphere(), [0], None,
         "The sphere of radius 10 round the origin, poles on y, 8 segments by 8 bands.",
         "North pole, rings 1..7 of 8 points from +z towards +x (north to south), south pole.",
         "8 north cap triangles, 6 bands of 8 quads, 8 south cap triangles."),
        ("MeshPyramid.cpp", "g_pyramidMesh", pyramid(), [0], None,
         "The open eight-sided pyramid: base circle of radius 100 at y = 0, apex at y = 200.",
         "Base points 0..7 from +z towards +x, then the apex.",
         "Side k: base k, apex, base k + 1."),
        ("MeshFloorCeiling.cpp", "g_floorCeilingMesh", floor_ceiling(), [0, 1], None,
         "The tiled floor (y = -15, texture slot 0) and ceiling (y = 15, texture slot 1).",
         "Floor grid 0..15, ceiling grid 16..31; each 4 x 4, rows along z, columns along x.",
         "9 floor tiles (material 0), then 9 ceiling tiles (material 1), row by row."),
        ("MeshSlats.cpp", "g_slatsMesh", slats(), [0], None,
         "Eight picture slats in the z = 0 plane, each showing its sixteenth of the picture.",
         "Top edge points 0..15 at y = 100, bottom edge points 16..31 at y = -100.",
         "Slat k: top 2k, top 2k + 1, bottom 2k + 1, bottom 2k."),
        ("MeshLettering.cpp", "g_letteringMesh", lettering_mesh, [0], label,
         "The word LIVE in serif capitals, extruded 5.242 deep, picture projected on the front.",
         "Outline points of L, I, V, E in turn, each letter anticlockwise seen from +z, at "
         "z = 2.621;\n// then the same points in the same order at z = -2.621.",
         "Front triangles (L, I, V, E), back triangles (same, reversed), side quads (front i, "
         "back i,\n// back i + 1, front i + 1) round each outline. Every face winds "
         "anticlockwise about its normal."),
    ]
    for filename, name, mesh, materials, font, purpose, vcomment, fcomment in meshes:
        header = generated_line(font) + "\n// " + purpose
        text = mesh.render(name, header, materials, vcomment, fcomment)
        with open(os.path.join(args.out_dir, filename), "w") as f:
            f.write(text)
    per_letter = ", ".join("%s %d" % (ch, len(o)) for (ch, _), o in zip(LETTER_BOXES, outlines))
    print("lettering from %s: %d vertices, %d faces; outline points %s" % (
        label, len(lettering_mesh.vertices), len(lettering_mesh.faces), per_letter))
    if args.preview:
        preview(args.preview, outlines, tris)


if __name__ == "__main__":
    main()
