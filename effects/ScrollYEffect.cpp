// Effect 7: the strip A, B, A scrolling down at Ctrl 1's speed, wrapping by two picture
// heights.
#include <GL/gl.h>

#include "Effects.h"

void ScrollYEffect::Draw(const EffectParams& p)
{
    m_offset -= static_cast<float>(p.ctrl1) * kCtrlScale;
    if (m_offset <= -6.0f) m_offset += 6.0f;

    BeginFrame(100.0);
    glTranslatef(0.0f, m_offset, -3.6f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawPictureQuad({-2.0f, -1.5f, 2.0f, 1.5f}, p.maxSA, p.maxTA);
    glBindTexture(GL_TEXTURE_2D, p.texB);
    DrawPictureQuad({-2.0f, 1.5f, 2.0f, 4.5f}, p.maxSB, p.maxTB);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawPictureQuad({-2.0f, 4.5f, 2.0f, 7.5f}, p.maxSA, p.maxTA);
    glDisable(GL_TEXTURE_2D);
}
