// Property tests of the five stored meshes: counts, extents, texture coordinates, normals,
// and for the lettering a closed, consistently wound solid with planar picture mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <utility>
#include <vector>

#include "Mesh.h"

namespace {

struct V3 {
    double x, y, z;
};

V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(V3 a) { return std::sqrt(Dot(a, a)); }

// Half a unit in the third decimal, plus float slack.
constexpr double kRound = 0.0005 + 1e-5;

V3 Vertex(const Mesh& m, int i)
{
    return {m.vertices[3 * i], m.vertices[3 * i + 1], m.vertices[3 * i + 2]};
}
V3 Normal(const Mesh& m, int f)
{
    return {m.normals[3 * f], m.normals[3 * f + 1], m.normals[3 * f + 2]};
}
int Corners(const Mesh& m, int f) { return m.faces[f].cornerCount; }
V3 Corner(const Mesh& m, int f, int k) { return Vertex(m, m.faces[f].corners[k]); }
float S(const Mesh& m, int f, int k) { return m.texcoords[8 * f + 2 * k]; }
float T(const Mesh& m, int f, int k) { return m.texcoords[8 * f + 2 * k + 1]; }

// Newell's normal: its direction follows the corner order by the right-hand rule and its
// length is twice the face's area.
V3 WindingNormal(const Mesh& m, int f)
{
    V3 n{0, 0, 0};
    for (int k = 0; k < Corners(m, f); ++k) {
        V3 a = Corner(m, f, k), b = Corner(m, f, (k + 1) % Corners(m, f));
        n = n + Cross(a, b);
    }
    return n;
}

V3 Centroid(const Mesh& m, int f)
{
    V3 c{0, 0, 0};
    for (int k = 0; k < Corners(m, f); ++k) c = c + Corner(m, f, k);
    return c * (1.0 / Corners(m, f));
}

struct MeshCase {
    const char* name;
    const Mesh* mesh;
    int vertices, triangles, quads, materials;
};

const MeshCase kMeshes[] = {
    {"sphere", &g_sphereMesh, 58, 16, 48, 1},
    {"pyramid", &g_pyramidMesh, 9, 8, 0, 1},
    {"floor and ceiling", &g_floorCeilingMesh, 32, 0, 18, 2},
    {"slats", &g_slatsMesh, 32, 0, 8, 1},
    {"lettering", &g_letteringMesh, 622, 606, 311, 1},
};

bool IsThreeDecimal(double v) { return std::fabs(v * 1000 - std::round(v * 1000)) < 0.02; }

TEST(MeshTablesTest, CountsIndicesAndMaterials)
{
    for (const MeshCase& c : kMeshes) {
        SCOPED_TRACE(c.name);
        const Mesh& m = *c.mesh;
        EXPECT_EQ(m.vertexCount, c.vertices);
        EXPECT_EQ(m.faceCount, c.triangles + c.quads);
        EXPECT_EQ(m.colours, nullptr);
        int triangles = 0, quads = 0;
        for (int f = 0; f < m.faceCount; ++f) {
            const MeshFace& face = m.faces[f];
            ASSERT_TRUE(face.cornerCount == 3 || face.cornerCount == 4) << "face " << f;
            (face.cornerCount == 3 ? triangles : quads)++;
            if (face.cornerCount == 3) {
                EXPECT_EQ(face.corners[3], 0) << "face " << f;
            }
            for (int k = 0; k < face.cornerCount; ++k) {
                EXPECT_GE(face.corners[k], 0) << "face " << f;
                EXPECT_LT(face.corners[k], m.vertexCount) << "face " << f;
            }
            ASSERT_GE(face.material, 0);
            ASSERT_LT(face.material, c.materials);
        }
        EXPECT_EQ(triangles, c.triangles);
        EXPECT_EQ(quads, c.quads);
        for (int i = 0; i < c.materials; ++i) {
            const MeshMaterial& mat = m.materials[i];
            EXPECT_EQ(mat.r, 1.0f);
            EXPECT_EQ(mat.g, 1.0f);
            EXPECT_EQ(mat.b, 1.0f);
            EXPECT_EQ(mat.a, 1.0f);
            EXPECT_TRUE(mat.textureSlot == 0 || mat.textureSlot == 1);
            EXPECT_FALSE(mat.cornerColours);
        }
    }
}

TEST(MeshTablesTest, FacesAreSoundAndNormalsAreUnitAndPerpendicular)
{
    for (const MeshCase& c : kMeshes) {
        SCOPED_TRACE(c.name);
        const Mesh& m = *c.mesh;
        for (int f = 0; f < m.faceCount; ++f) {
            const MeshFace& face = m.faces[f];
            std::set<int> distinct(face.corners, face.corners + face.cornerCount);
            EXPECT_EQ(static_cast<int>(distinct.size()), face.cornerCount) << "face " << f;
            EXPECT_GT(Length(WindingNormal(m, f)) / 2, 1e-3) << "face " << f << " area";
            V3 n = Normal(m, f);
            EXPECT_NEAR(Length(n), 1.0, 0.0015) << "face " << f;
            for (int k = 0; k < face.cornerCount; ++k) {
                V3 a = Corner(m, f, k), b = Corner(m, f, (k + 1) % face.cornerCount);
                EXPECT_GT(Length(b - a), 1e-3) << "face " << f << " edge " << k;
                // Flat face: every edge lies across the normal (rounding allows a little).
                EXPECT_LT(std::fabs(Dot(n, b - a)) / Length(b - a), 0.003) << "face " << f;
            }
        }
    }
}

TEST(MeshTablesTest, StoredValuesAreThreeDecimalAndTexcoordsInPicture)
{
    for (const MeshCase& c : kMeshes) {
        SCOPED_TRACE(c.name);
        const Mesh& m = *c.mesh;
        for (int i = 0; i < 3 * m.vertexCount; ++i) EXPECT_TRUE(IsThreeDecimal(m.vertices[i]));
        for (int i = 0; i < 3 * m.faceCount; ++i) EXPECT_TRUE(IsThreeDecimal(m.normals[i]));
        for (int f = 0; f < m.faceCount; ++f) {
            for (int k = 0; k < 4; ++k) {
                EXPECT_TRUE(IsThreeDecimal(S(m, f, k)) && IsThreeDecimal(T(m, f, k)));
                EXPECT_GE(S(m, f, k), 0.0f) << "face " << f;
                EXPECT_LE(S(m, f, k), 1.0f) << "face " << f;
                EXPECT_GE(T(m, f, k), 0.0f) << "face " << f;
                EXPECT_LE(T(m, f, k), 0.75f) << "face " << f;
            }
            if (Corners(m, f) == 3) {
                EXPECT_TRUE(S(m, f, 3) == 0.0f && T(m, f, 3) == 0.0f);
            }
        }
    }
}

TEST(SphereMeshTest, ShapeNormalsAndPictureWrap)
{
    const Mesh& m = g_sphereMesh;
    for (int i = 0; i < m.vertexCount; ++i) EXPECT_NEAR(Length(Vertex(m, i)), 10.0, 0.002);
    EXPECT_EQ(Vertex(m, 0).y, 10.0);
    EXPECT_EQ(Vertex(m, 57).y, -10.0);
    for (int f = 0; f < m.faceCount; ++f) {
        EXPECT_GT(Dot(Normal(m, f), Centroid(m, f)), 0.0) << "face " << f;
        // Each face covers one segment of the picture across and one band down.
        float sMin = 1, sMax = 0, tMin = 1, tMax = 0;
        for (int k = 0; k < Corners(m, f); ++k) {
            sMin = std::min(sMin, S(m, f, k)), sMax = std::max(sMax, S(m, f, k));
            tMin = std::min(tMin, T(m, f, k)), tMax = std::max(tMax, T(m, f, k));
            V3 p = Corner(m, f, k);
            if (std::fabs(p.y) > 9.99) continue;  // the poles have no azimuth
            double turn = std::atan2(p.x, p.z) / (2 * M_PI);
            if (turn < -1e-6) turn += 1;
            // s follows the azimuth; the seam on +z is s 0 on one side and 1 on the other.
            double s = S(m, f, k);
            EXPECT_NEAR(s == 1.0 ? 0.0 : s, turn, kRound) << "face " << f;
        }
        EXPECT_NEAR(sMax - sMin, 0.125, 0.001) << "face " << f;
        if (Corners(m, f) == 3) {  // a pole sits mid-segment, 1/16 rounded up
            int pole = std::fabs(Corner(m, f, 0).y) > 9.99 ? 0 : 2;
            double mid = (S(m, f, (pole + 1) % 3) + S(m, f, (pole + 2) % 3)) / 2;
            EXPECT_GE(S(m, f, pole), mid - 1e-6) << "face " << f;
            EXPECT_LE(S(m, f, pole), mid + kRound) << "face " << f;
        }
        EXPECT_NEAR(tMax - tMin, 0.75 / 8, 0.002) << "face " << f;
    }
    // The picture stands upright: t falls as y falls, for every corner of every face.
    std::vector<std::pair<double, float>> yt;
    for (int f = 0; f < m.faceCount; ++f)
        for (int k = 0; k < Corners(m, f); ++k) yt.push_back({Corner(m, f, k).y, T(m, f, k)});
    std::sort(yt.begin(), yt.end());
    for (size_t i = 1; i < yt.size(); ++i) EXPECT_LE(yt[i - 1].second, yt[i].second);
    EXPECT_EQ(yt.front().second, 0.0f);
    EXPECT_EQ(yt.back().second, 0.75f);
}

TEST(PyramidMeshTest, OpenEightSidedShapeWithStatedPicture)
{
    const Mesh& m = g_pyramidMesh;
    V3 apex = Vertex(m, 8);
    EXPECT_TRUE(apex.x == 0 && apex.y == 200 && apex.z == 0);
    for (int k = 0; k < 8; ++k) {
        V3 p = Vertex(m, k), q = Vertex(m, (k + 1) % 8);
        EXPECT_EQ(p.y, 0.0);
        EXPECT_NEAR(std::hypot(p.x, p.z), 100.0, 0.002);
        EXPECT_NEAR(Length(Cross(p, q)) / 1e4, std::sin(M_PI / 4), 1e-4);  // 45 degrees apart
    }
    EXPECT_EQ(Vertex(m, 0).z, 100.0);
    EXPECT_GT(Vertex(m, 1).x, 0.0);  // turning from +z towards +x
    static const float kPicture[8][6] = {
        {0, 0, 0.25f, 0.75f, 0.25f, 0},    {0.5f, 0.75f, 0.5f, 0, 0.75f, 0.75f},
        {0.5f, 0, 0.75f, 0.75f, 0.75f, 0}, {0.25f, 0.75f, 0.25f, 0, 0.5f, 0.75f},
        {0.25f, 0, 0.5f, 0.75f, 0.5f, 0},  {1, 0.75f, 0.75f, 0, 0.75f, 0.75f},
        {0.75f, 0, 1, 0.75f, 1, 0},        {0.25f, 0.75f, 0, 0, 0, 0.75f},
    };
    std::map<std::pair<int, int>, int> edgeUses;
    for (int f = 0; f < 8; ++f) {
        const MeshFace& face = m.faces[f];
        EXPECT_TRUE(face.corners[1] == 8 && face.corners[0] == f && face.corners[2] == (f + 1) % 8);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(m.texcoords[8 * f + k], kPicture[f][k]) << f;
        // Out of the solid: away from the axis point level with the face's centroid.
        V3 c = Centroid(m, f);
        EXPECT_GT(Dot(Normal(m, f), c - V3{0, c.y, 0}), 0.0) << "face " << f;
        for (int k = 0; k < 3; ++k) {
            int a = face.corners[k], b = face.corners[(k + 1) % 3];
            edgeUses[{std::min(a, b), std::max(a, b)}]++;
        }
    }
    // Open at the bottom: the rim edges bound one face each, the slanted edges two.
    for (const auto& [edge, uses] : edgeUses) EXPECT_EQ(uses, edge.second == 8 ? 2 : 1);
}

TEST(FloorCeilingMeshTest, TilesCoverBothPlanesAndShowWholePicture)
{
    const Mesh& m = g_floorCeilingMesh;
    for (int i = 0; i < 32; ++i) {
        V3 p = Vertex(m, i);
        EXPECT_EQ(p.y, i < 16 ? -15.0 : 15.0);
        EXPECT_LE(std::fabs(p.x), 200.0);
        EXPECT_LE(std::fabs(p.z), 200.0);
    }
    double area[2] = {0, 0};
    for (int f = 0; f < 18; ++f) {
        SCOPED_TRACE(f);
        bool floor = f < 9;
        EXPECT_EQ(m.faces[f].material, floor ? 0 : 1);
        EXPECT_EQ(m.materials[m.faces[f].material].textureSlot, floor ? 0 : 1);
        EXPECT_EQ(Centroid(m, f).y, floor ? -15.0 : 15.0);
        // Into the space between the planes, towards y = 0.
        EXPECT_EQ(Normal(m, f).y, floor ? 1.0 : -1.0);
        area[floor ? 0 : 1] += Length(WindingNormal(m, f)) / 2;
        double xMin = 1e9, xMax = -1e9, zMin = 1e9, zMax = -1e9;
        for (int k = 0; k < 4; ++k) {
            V3 p = Corner(m, f, k);
            xMin = std::min(xMin, p.x), xMax = std::max(xMax, p.x);
            zMin = std::min(zMin, p.z), zMax = std::max(zMax, p.z);
        }
        EXPECT_NEAR(xMax - xMin, 400.0 / 3, 0.002);
        EXPECT_NEAR(zMax - zMin, 400.0 / 3, 0.002);
        for (int k = 0; k < 4; ++k) {  // s across x, t from 0.75 at the tile's low z to 0
            V3 p = Corner(m, f, k);
            EXPECT_EQ(S(m, f, k), p.x == xMin ? 0.0f : 1.0f);
            EXPECT_EQ(T(m, f, k), p.z == zMin ? 0.75f : 0.0f);
        }
    }
    EXPECT_NEAR(area[0], 400.0 * 400.0, 1.0);
    EXPECT_NEAR(area[1], 400.0 * 400.0, 1.0);
}

TEST(SlatsMeshTest, EightSpacedSlatsEachWithItsSixteenth)
{
    const Mesh& m = g_slatsMesh;
    for (int f = 0; f < 8; ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(Normal(m, f).z, 1.0);
        double xMin = 1e9, xMax = -1e9;
        for (int k = 0; k < 4; ++k) {
            V3 p = Corner(m, f, k);
            EXPECT_EQ(p.z, 0.0);
            EXPECT_EQ(std::fabs(p.y), 100.0);
            EXPECT_EQ(T(m, f, k), p.y > 0 ? 0.75f : 0.0f);
            xMin = std::min(xMin, p.x), xMax = std::max(xMax, p.x);
        }
        EXPECT_EQ(xMin, -100.0 + 25.0 * f);  // 12.5 wide, then a 12.5 gap
        EXPECT_EQ(xMax - xMin, 12.5);
        for (int k = 0; k < 4; ++k) {  // s from x over the picture's width, 1/16 per slat
            V3 p = Corner(m, f, k);
            double s = p.x == xMin ? f / 8.0 : f / 8.0 + 1.0 / 16;
            EXPECT_NEAR(S(m, f, k), s, kRound);
            EXPECT_GE(S(m, f, k), s - 1e-6) << "a half in the fourth decimal rounds up";
        }
    }
}

// ---- the lettering ----------------------------------------------------------------------

constexpr double kHalfDepth = 2.621;
constexpr int kFront = 303, kSides = 311;

double PlanarS(double x) { return 0.023 + (x + 100.806) * (0.984 - 0.023) / 201.612; }
double PlanarT(double y) { return 0.031 + (y + 30.566) * (0.733 - 0.031) / 61.132; }

// The front triangles split into the letters' connected pieces, sorted left to right.
std::vector<std::vector<int>> LetterTriangles()
{
    const Mesh& m = g_letteringMesh;
    std::vector<int> parent(m.vertexCount);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    for (int f = 0; f < kFront; ++f)
        for (int k = 1; k < 3; ++k)
            parent[find(m.faces[f].corners[k])] = find(m.faces[f].corners[0]);
    std::map<int, std::vector<int>> groups;
    for (int f = 0; f < kFront; ++f) groups[find(m.faces[f].corners[0])].push_back(f);
    std::vector<std::vector<int>> letters;
    for (auto& [root, faces] : groups) letters.push_back(faces);
    std::sort(letters.begin(), letters.end(), [&](const auto& a, const auto& b) {
        return Corner(m, a[0], 0).x < Corner(m, b[0], 0).x;
    });
    return letters;
}

TEST(LetteringMeshTest, FaceLayoutAndDepth)
{
    const Mesh& m = g_letteringMesh;
    int front = 0, back = 0;
    for (int i = 0; i < m.vertexCount; ++i) {
        double z = Vertex(m, i).z;
        ASSERT_TRUE(z == float(kHalfDepth) || z == float(-kHalfDepth)) << "vertex " << i;
        (z > 0 ? front : back)++;
        EXPECT_LE(std::fabs(Vertex(m, i).x), 100.806 + 1e-4);
        EXPECT_LE(std::fabs(Vertex(m, i).y), 30.566 + 1e-4);
    }
    EXPECT_EQ(front, kSides);
    EXPECT_EQ(back, kSides);
    for (int f = 0; f < m.faceCount; ++f) {
        SCOPED_TRACE(f);
        V3 n = Normal(m, f);
        if (f < 2 * kFront) {
            double side = f < kFront ? 1 : -1;
            ASSERT_EQ(Corners(m, f), 3);
            EXPECT_TRUE(n.x == 0 && n.y == 0 && n.z == side);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(Corner(m, f, k).z, float(side * kHalfDepth));
        } else {
            ASSERT_EQ(Corners(m, f), 4);
            EXPECT_EQ(n.z, 0.0);
        }
    }
}

TEST(LetteringMeshTest, LettersSpanTheirBoxesAsSimpleOutlines)
{
    const Mesh& m = g_letteringMesh;
    struct Box {
        double x0, x1, y0, y1;
    };
    const Box boxes[4] = {{-100.806, -49.438, -29.199, 30.566},
                          {-45.288, -19.751, -29.199, 30.566},
                          {-16.616, 46.590, -30.566, 30.566},
                          {49.585, 100.806, -29.199, 30.566}};
    auto letters = LetterTriangles();
    ASSERT_EQ(letters.size(), 4u);
    int points = 0;
    for (int l = 0; l < 4; ++l) {
        SCOPED_TRACE(l);
        std::set<int> vertices;
        Box b{1e9, -1e9, 1e9, -1e9};
        for (int f : letters[l]) {
            for (int k = 0; k < 3; ++k) {
                vertices.insert(m.faces[f].corners[k]);
                V3 p = Corner(m, f, k);
                b = {std::min(b.x0, p.x), std::max(b.x1, p.x), std::min(b.y0, p.y),
                     std::max(b.y1, p.y)};
            }
        }
        EXPECT_NEAR(b.x0, boxes[l].x0, 1e-4);
        EXPECT_NEAR(b.x1, boxes[l].x1, 1e-4);
        EXPECT_NEAR(b.y0, boxes[l].y0, 1e-4);
        EXPECT_NEAR(b.y1, boxes[l].y1, 1e-4);
        // A triangulated disc whose every point is on the outline: n points, n - 2 triangles.
        EXPECT_EQ(letters[l].size() + 2, vertices.size());
        points += vertices.size();
    }
    EXPECT_EQ(points, kSides);
}

TEST(LetteringMeshTest, FrontTrianglesTileEachLetterWithoutOverlapsOrSlivers)
{
    const Mesh& m = g_letteringMesh;
    for (const auto& letter : LetterTriangles()) {
        std::set<std::pair<int, int>> edges;
        double area = 0;
        for (int f : letter) {
            area += WindingNormal(m, f).z / 2;
            double longest = 0;
            for (int k = 0; k < 3; ++k) {
                edges.insert({m.faces[f].corners[k], m.faces[f].corners[(k + 1) % 3]});
                longest = std::max(longest, Length(Corner(m, f, (k + 1) % 3) - Corner(m, f, k)));
            }
            EXPECT_GT(WindingNormal(m, f).z / longest, 0.1) << "face " << f << " is a sliver";
        }
        // The outline is the edges whose reverse no triangle uses; positively wound
        // triangles that overlapped or folded would add up to more than the area it encloses.
        double outlineArea = 0;
        for (auto [a, b] : edges) {
            if (edges.count({b, a})) continue;
            V3 p = Vertex(m, a), q = Vertex(m, b);
            outlineArea += (p.x * q.y - q.x * p.y) / 2;
        }
        EXPECT_GT(area, 100.0);
        EXPECT_NEAR(area, outlineArea, 1e-6 * area);
    }
}

TEST(LetteringMeshTest, ClosedConsistentlyWoundSolid)
{
    const Mesh& m = g_letteringMesh;
    std::map<std::pair<int, int>, int> directed;
    double volume = 0, frontArea = 0;
    for (int f = 0; f < m.faceCount; ++f) {
        int n = Corners(m, f);
        for (int k = 0; k < n; ++k)
            directed[{m.faces[f].corners[k], m.faces[f].corners[(k + 1) % n]}]++;
        V3 w = WindingNormal(m, f);
        EXPECT_GT(Dot(w, Normal(m, f)) / Length(w), 0.999) << "face " << f;
        for (int k = 1; k + 1 < n; ++k)  // divergence theorem over a fan of the face
            volume += Dot(Corner(m, f, 0), Cross(Corner(m, f, k), Corner(m, f, k + 1))) / 6;
        if (f < kFront) frontArea += w.z / 2;
    }
    // Every edge is crossed once each way: closed, and all faces turned the same way.
    for (const auto& [edge, uses] : directed) {
        EXPECT_EQ(uses, 1);
        EXPECT_EQ(directed.count({edge.second, edge.first}), 1u)
            << edge.first << "-" << edge.second;
    }
    EXPECT_NEAR(volume, frontArea * 2 * kHalfDepth, 1e-4 * volume);
    EXPECT_GT(volume, 0.0);
}

TEST(LetteringMeshTest, PictureIsProjectedOnFrontAndRunsBackAlongSides)
{
    const Mesh& m = g_letteringMesh;
    std::map<std::pair<float, float>, std::pair<float, float>> frontTexcoord;  // by x, y
    for (int f = 0; f < 2 * kFront; ++f) {
        for (int k = 0; k < 3; ++k) {
            V3 p = Corner(m, f, k);
            EXPECT_NEAR(S(m, f, k), PlanarS(p.x), kRound) << "face " << f;
            EXPECT_NEAR(T(m, f, k), PlanarT(p.y), kRound) << "face " << f;
            frontTexcoord[{float(p.x), float(p.y)}] = {S(m, f, k), T(m, f, k)};
        }
    }
    for (int f = 2 * kFront; f < m.faceCount; ++f) {
        SCOPED_TRACE(f);
        // Two front corners and two back ones, the back corners behind the front ones.
        int frontCorners = 0;
        for (int k = 0; k < 4; ++k) frontCorners += Corner(m, f, k).z > 0;
        EXPECT_EQ(frontCorners, 2);
        std::map<std::pair<float, float>, int> outlinePoints;
        for (int k = 0; k < 4; ++k) outlinePoints[{Corner(m, f, k).x, Corner(m, f, k).y}]++;
        EXPECT_EQ(outlinePoints.size(), 2u);  // each outline point once at front, once at back
        for (auto [point, uses] : outlinePoints) EXPECT_EQ(uses, 2);
        for (int k = 0; k < 4; ++k) {
            V3 p = Corner(m, f, k);
            auto it = frontTexcoord.find({float(p.x), float(p.y)});
            ASSERT_NE(it, frontTexcoord.end());
            EXPECT_EQ(S(m, f, k), it->second.first);
            EXPECT_EQ(T(m, f, k), it->second.second);
        }
    }
}

TEST(LetteringMeshTest, StemsAreNarrowerThanSerifs)
{
    // Across the stems of L, I and E, below the E's middle bar, the outline is less than half
    // the letter's width; a block sans capital would fill it. The V narrows to its point.
    const Mesh& m = g_letteringMesh;
    auto letters = LetterTriangles();
    ASSERT_EQ(letters.size(), 4u);
    for (int l = 0; l < 4; ++l) {
        SCOPED_TRACE(l);
        double xMin = 1e9, xMax = -1e9, cutMin = 1e9, cutMax = -1e9;
        double cutY = l == 2 ? -25.0 : -10.0;
        for (int f : letters[l]) {
            for (int k = 0; k < 3; ++k) {
                V3 p = Corner(m, f, k), q = Corner(m, f, (k + 1) % 3);
                xMin = std::min(xMin, p.x), xMax = std::max(xMax, p.x);
                if ((p.y - cutY) * (q.y - cutY) >= 0) continue;
                double x = p.x + (q.x - p.x) * (cutY - p.y) / (q.y - p.y);
                cutMin = std::min(cutMin, x), cutMax = std::max(cutMax, x);
            }
        }
        EXPECT_LT(cutMax - cutMin, 0.5 * (xMax - xMin));
        EXPECT_GT(cutMax - cutMin, 0.02 * (xMax - xMin));
    }
}

}  // namespace
