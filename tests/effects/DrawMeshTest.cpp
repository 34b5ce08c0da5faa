// The mesh renderer on small meshes of the tests' own: materials, texture slots, odd
// corner counts and the state it leaves behind.
#include <GL/gl.h>

#include "EffectFixture.h"
#include "Mesh.h"

namespace {

// Two faces filling the left and right halves of a [-1, 1] square in an orthographic view.
const float kVertices[] = {-1, -1, 0, 0, -1, 0, 0, 1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0};
const float kTexcoords[] = {0, 0, 1, 0, 1, 0.75f, 0, 0.75f, 0, 0, 1, 0, 1, 0.75f, 0, 0.75f};
const float kNormals[] = {0, 0, 1, 0, 0, 1};

class MeshRenderer : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    void DrawTwoFaces(const MeshFace (&faces)[2], const MeshMaterial* materials,
                      const GLuint* textures)
    {
        const Mesh mesh = {kVertices, faces, kTexcoords, nullptr, kNormals, materials, 2, 6};
        DrawMesh(mesh, textures);
        m_frame = s_gl->ReadPixels();
    }

    Shows ShowsIn(int x, int y) const
    {
        const uint8_t* p = &m_frame[(y * kWidth + x) * 4];
        return Classify({p[0], p[1], p[2]});
    }

    std::vector<uint8_t> m_frame;
};

const MeshMaterial kSlot0 = {1, 1, 1, 1, 0, false};
const MeshMaterial kSlot1 = {1, 1, 1, 1, 1, false};

TEST_F(MeshRenderer, TextureListOrderChoosesTheCamera)
{
    const MeshMaterial materials[] = {kSlot0, kSlot1};
    const MeshFace faces[2] = {{0, 4, {0, 1, 2, 3}}, {1, 4, {1, 4, 5, 2}}};
    const GLuint ab[2] = {kTextureA, kTextureB};
    DrawTwoFaces(faces, materials, ab);
    EXPECT_EQ(ShowsIn(40, 40), Shows::ALowLeft);
    EXPECT_EQ(ShowsIn(600, 440), Shows::BUpRight);
    const GLuint ba[2] = {kTextureB, kTextureA};
    DrawTwoFaces(faces, materials, ba);
    EXPECT_EQ(ShowsIn(40, 40), Shows::BLowLeft);
    EXPECT_EQ(ShowsIn(600, 440), Shows::AUpRight);
}

TEST_F(MeshRenderer, TrianglesUseThreeCornersAndOddCountsDrawNothingButSetTheColour)
{
    const MeshMaterial materials[] = {kSlot0, {0.2f, 0.4f, 0.6f, 1.0f, 0, false}};
    // A triangle over the left half's lower-right part, then a face of five corners.
    const MeshFace faces[2] = {{0, 3, {0, 1, 2, 0}}, {1, 5, {1, 4, 5, 2}}};
    const GLuint ab[2] = {kTextureA, kTextureB};
    DrawTwoFaces(faces, materials, ab);
    EXPECT_EQ(ShowsIn(300, 20), Shows::ALowRight) << "inside the triangle";
    EXPECT_EQ(ShowsIn(20, 460), Shows::Black) << "the fourth corner is ignored";
    EXPECT_EQ(ShowsIn(500, 240), Shows::Black) << "a five-corner face draws nothing";
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.2f);
    EXPECT_FLOAT_EQ(colour[1], 0.4f);
    EXPECT_FLOAT_EQ(colour[2], 0.6f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(MeshRenderer, UntexturedMaterialDrawsItsColourAndLeavesTexturingAlone)
{
    const MeshMaterial materials[] = {{0, 1, 0, 1, -1, false}, {1, 0, 0, 1, -1, false}};
    const MeshFace faces[2] = {{0, 4, {0, 1, 2, 3}}, {1, 4, {1, 4, 5, 2}}};
    const GLuint ab[2] = {kTextureA, kTextureB};
    // The renderer never touches texturing for such faces: left on, it stays on.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, kTextureB);
    DrawTwoFaces(faces, materials, ab);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glDisable(GL_TEXTURE_2D);
    DrawTwoFaces(faces, materials, ab);
    const uint8_t* left = &m_frame[(240 * kWidth + 100) * 4];
    EXPECT_EQ(left[1], 255);
    EXPECT_EQ(left[0], 0);
    EXPECT_EQ(ShowsIn(500, 240), Shows::ALowLeft) << "pure red, as camera A's corner";
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 1.0f) << "the last face's material colour stays current";
    EXPECT_FLOAT_EQ(colour[1], 0.0f);
}

TEST_F(MeshRenderer, CornerColoursAreUsedOnlyWhenTheMaterialAsks)
{
    const float colours[32] = {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1,
                               0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1};
    const MeshMaterial materials[] = {{1, 1, 1, 1, -1, true}, {1, 1, 1, 1, -1, false}};
    const MeshFace faces[2] = {{0, 4, {0, 1, 2, 3}}, {1, 4, {1, 4, 5, 2}}};
    const Mesh mesh = {kVertices, faces, kTexcoords, colours, kNormals, materials, 2, 6};
    const GLuint ab[2] = {kTextureA, kTextureB};
    DrawMesh(mesh, ab);
    m_frame = s_gl->ReadPixels();
    EXPECT_EQ(ShowsIn(100, 240), Shows::AUpLeft) << "blue from the corner colours";
    EXPECT_EQ(ShowsIn(500, 240), Shows::BUpLeft) << "white from the material";
}

}  // namespace
