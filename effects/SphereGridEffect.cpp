// Effect 10: nine spheres in a 3 x 3 grid, spinning in alternate directions, each showing
// camera A or B; Ctrl 2 moves the grid away from the eye.
#include <GL/gl.h>

#include "Effects.h"
#include "Mesh.h"

namespace {

struct SpherePlace {
    float x, y;
    float turn;   // +1 or -1 times the spin angle
    bool swapAB;  // show camera B
};

constexpr SpherePlace kSpheres[9] = {
    {0, 0, -1, false},   {-20, 0, 1, true},   {20, 0, -1, false},
    {0, 20, 1, false},   {-20, 20, -1, true}, {20, 20, 1, true},
    {0, -20, -1, false}, {-20, -20, 1, true}, {20, -20, 1, false},
};

}  // namespace

void SphereGridEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float c2 = static_cast<float>(p.ctrl2) * kCtrlScale;
    const float step = c1 * 10.0f;
    const float d = c2 * 50.0f;

    BeginFrame(500.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    m_angle = AdvanceAngle(m_angle, step);

    const GLuint ab[2] = {p.texA, p.texB};
    const GLuint ba[2] = {p.texB, p.texA};
    for (const SpherePlace& s : kSpheres) {
        glPushMatrix();
        glTranslatef(s.x, s.y, -d);
        glRotatef(s.turn * m_angle, 0.0f, 1.0f, 0.0f);
        glEnable(GL_DEPTH_TEST);
        DrawMesh(g_sphereMesh, s.swapAB ? ba : ab);
        glDisable(GL_DEPTH_TEST);
        glPopMatrix();
    }
}
