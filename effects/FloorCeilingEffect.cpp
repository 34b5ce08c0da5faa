// Effect 12: a floor of camera A under a ceiling of camera B, turning about the vertical
// axis; Ctrl 2 tilts the view.
#include <GL/gl.h>

#include "Effects.h"
#include "Mesh.h"

void FloorCeilingEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float c2 = static_cast<float>(p.ctrl2) * kCtrlScale;
    const float step = c1 * 10.0f * 2.0f;
    const float tilt = c2 * 180.0f - 90.0f;

    BeginFrame(500.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    m_angle = AdvanceAngle(m_angle, step);

    glRotatef(tilt, 1.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, -150.0f);
    glRotatef(m_angle, 0.0f, 1.0f, 0.0f);
    const GLuint ab[2] = {p.texA, p.texB};
    glEnable(GL_DEPTH_TEST);
    DrawMesh(g_floorCeilingMesh, ab);
    glDisable(GL_DEPTH_TEST);
}
