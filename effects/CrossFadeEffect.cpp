// Effect 1: camera A at Ctrl 1's strength added onto camera B at the rest.
#include <GL/gl.h>

#include "Effects.h"

void CrossFadeEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    AddTranslucentPicture(p.texA, p.maxSA, p.maxTA, c1);
    AddTranslucentPicture(p.texB, p.maxSB, p.maxTB, 1.0f - c1);
}
