// Effect 13: three translucent copies of camera A, spread sideways by Ctrl 1, at Ctrl 2's
// opacity; where they overlap they add up.
#include <GL/gl.h>

#include "Effects.h"

namespace {

void DrawCopy(const EffectParams& p, float alpha)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawTranslucentQuad(kFullView, p.maxSA, p.maxTA, alpha);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

}  // namespace

void EchoEffect::Draw(const EffectParams& p)
{
    const float dx = static_cast<float>(p.ctrl1) * kCtrlScale * 2.0f;
    const float alpha = static_cast<float>(p.ctrl2) * kCtrlScale;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    DrawCopy(p, alpha);
    glPushMatrix();
    glTranslatef(dx, 0.0f, 0.0f);
    DrawCopy(p, alpha);
    glPopMatrix();
    glTranslatef(-dx, 0.0f, 0.0f);
    DrawCopy(p, alpha);
}
