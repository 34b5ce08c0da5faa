// Effect 13: three translucent copies of camera A, spread sideways by Ctrl 1, at Ctrl 2's
// opacity; where they overlap they add up.
#include <GL/gl.h>

#include "Effects.h"

void EchoEffect::Draw(const EffectParams& p)
{
    const float dx = static_cast<float>(p.ctrl1) * kCtrlScale * 2.0f;
    const float alpha = static_cast<float>(p.ctrl2) * kCtrlScale;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    AddTranslucentPicture(p.texA, p.maxSA, p.maxTA, alpha);
    glPushMatrix();
    glTranslatef(dx, 0.0f, 0.0f);
    AddTranslucentPicture(p.texA, p.maxSA, p.maxTA, alpha);
    glPopMatrix();
    glTranslatef(-dx, 0.0f, 0.0f);
    AddTranslucentPicture(p.texA, p.maxSA, p.maxTA, alpha);
}
