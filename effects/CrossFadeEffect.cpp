// Effect 1: camera A at Ctrl 1's strength added onto camera B at the rest.
#include <GL/gl.h>

#include "Effects.h"

namespace {

// The frame is cleared to alpha 1, so the destination factor is 1 and the copies add up.
void AddPicture(GLuint texture, float s, float t, float alpha)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    DrawTranslucentQuad(kFullView, s, t, alpha);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

}  // namespace

void CrossFadeEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    AddPicture(p.texA, p.maxSA, p.maxTA, c1);
    AddPicture(p.texB, p.maxSB, p.maxTB, 1.0f - c1);
}
