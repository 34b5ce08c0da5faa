// Effect 6: the strip A, B, A scrolling left at Ctrl 1's speed. The offset wraps by exactly
// two picture widths, so the third picture takes the first one's place without a seam.
#include <GL/gl.h>

#include "Effects.h"

void ScrollXEffect::Draw(const EffectParams& p)
{
    m_offset -= static_cast<float>(p.ctrl1) * kCtrlScale;
    if (m_offset <= -8.0f) m_offset += 8.0f;

    BeginFrame(100.0);
    glTranslatef(m_offset, 0.0f, -3.6f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawPictureQuad({-2.0f, -1.5f, 2.0f, 1.5f}, p.maxSA, p.maxTA);
    glBindTexture(GL_TEXTURE_2D, p.texB);
    DrawPictureQuad({2.0f, -1.5f, 6.0f, 1.5f}, p.maxSB, p.maxTB);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawPictureQuad({6.0f, -1.5f, 10.0f, 1.5f}, p.maxSA, p.maxTA);
    glDisable(GL_TEXTURE_2D);
}
