// Effect 2: camera A squeezed left of a vertical boundary, camera B right of it.
#include <GL/gl.h>

#include "Effects.h"

namespace {

void DrawBlended(GLuint texture, const QuadRect& rect, float s, float t)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    DrawPictureQuad(rect, s, t);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

}  // namespace

void SplitXEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float x = c1 * 4.0f - 2.0f;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    DrawBlended(p.texA, {-2.0f, -1.5f, x, 1.5f}, p.maxSA, p.maxTA);
    DrawBlended(p.texB, {x, -1.5f, 2.0f, 1.5f}, p.maxSB, p.maxTB);
}
