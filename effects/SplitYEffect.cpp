// Effect 3: camera A squeezed below a horizontal boundary, camera B above it.
#include <GL/gl.h>

#include "Effects.h"

void SplitYEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float y = c1 * 3.0f - 1.5f;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawPictureQuad({-2.0f, -1.5f, 2.0f, y}, p.maxSA, p.maxTA);
    glBindTexture(GL_TEXTURE_2D, p.texB);
    DrawPictureQuad({-2.0f, y, 2.0f, 1.5f}, p.maxSB, p.maxTB);
    glDisable(GL_TEXTURE_2D);
}
