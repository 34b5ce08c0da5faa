// Effect 11: a spinning eight-sided funnel lined with camera A, seen through its open base.
#include <GL/gl.h>

#include "Effects.h"
#include "Mesh.h"

void PyramidEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float c2 = static_cast<float>(p.ctrl2) * kCtrlScale;
    const float step = c1 * 10.0f * 2.0f;
    const float d = c2 * 150.0f;

    BeginFrame(500.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    m_angle = AdvanceAngle(m_angle, step);

    glTranslatef(0.0f, 0.0f, -d);
    glRotatef(m_angle, 0.0f, 0.0f, 1.0f);
    // Turns the apex away from the viewer along the view axis.
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    const GLuint ab[2] = {p.texA, p.texB};
    glEnable(GL_DEPTH_TEST);
    DrawMesh(g_pyramidMesh, ab);
    glDisable(GL_DEPTH_TEST);
}
