// Effect 15: the word LIVE, lined with camera A, tumbling over the gradient backdrop at a
// distance Ctrl 1 sets and a speed Ctrl 2 sets.
#include <GL/gl.h>

#include "Effects.h"
#include "Mesh.h"

void TitleEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float c2 = static_cast<float>(p.ctrl2) * kCtrlScale;
    const float d = c1 * 300.0f - 150.0f;
    const float step = c2 * 25.0f;

    BeginFrame(1000.0);
    DrawGradientBackdrop();
    m_angle = AdvanceAngle(m_angle, step);

    glEnable(GL_DEPTH_TEST);
    glTranslatef(0.0f, 0.0f, -240.0f);
    glTranslatef(0.0f, 0.0f, -d);
    glRotatef(m_angle, 1.0f, 0.0f, 0.0f);
    const GLuint ab[2] = {p.texA, p.texB};
    DrawMesh(g_letteringMesh, ab);
    glDisable(GL_DEPTH_TEST);
}
