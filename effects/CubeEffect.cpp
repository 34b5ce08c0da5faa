// Effect 0: a textured cube turning over the gradient backdrop.
#include <GL/gl.h>

#include "Effects.h"

namespace {

// One face: four corners, each with its texture coordinate (0,0), (s,0), (s,t), (0,t).
void DrawCubeFace(const float (&corners)[4][3], float s, float t)
{
    const float st[4][2] = {{0.0f, 0.0f}, {s, 0.0f}, {s, t}, {0.0f, t}};
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
        glTexCoord2f(st[k][0], st[k][1]);
        glVertex3f(corners[k][0], corners[k][1], corners[k][2]);
    }
    glEnd();
}

}  // namespace

void CubeEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float c2 = static_cast<float>(p.ctrl2) * kCtrlScale;
    const float turn = c1 * 270.0f;
    m_angle = AdvanceAngle(m_angle, 0.2f);

    BeginFrame(100.0);
    DrawGradientBackdrop();
    glRotatef(m_angle, 0.0f, 0.0f, 1.0f);
    glRotatef(turn, 0.0f, 1.0f, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);

    // Half edge from 1 to 2.
    const float l = -1.0f - c2;
    const float m = 1.0f + c2;

    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawCubeFace({{l, l, l}, {l, m, l}, {m, m, l}, {m, l, l}}, p.maxSA, p.maxTA);  // back
    DrawCubeFace({{l, l, m}, {m, l, m}, {m, m, m}, {l, m, m}}, p.maxSA, p.maxTA);  // front
    DrawCubeFace({{l, m, l}, {l, m, m}, {m, m, m}, {m, m, l}}, p.maxSA, p.maxTA);  // top

    glBindTexture(GL_TEXTURE_2D, p.texB);
    DrawCubeFace({{m, l, l}, {m, m, l}, {m, m, m}, {m, l, m}}, p.maxSB, p.maxTB);  // right
    DrawCubeFace({{l, l, l}, {l, l, m}, {l, m, m}, {l, m, l}}, p.maxSB, p.maxTB);  // left
    DrawCubeFace({{l, l, l}, {m, l, l}, {m, l, m}, {l, l, m}}, p.maxSB, p.maxTB);  // bottom

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
}
