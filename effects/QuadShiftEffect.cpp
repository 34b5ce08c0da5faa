// Effect 4: camera A's centre pinned to a movable point, each quarter stretched to fill
// its rectangle.
#include <GL/gl.h>

#include "Effects.h"

namespace {

struct Corner {
    float x, y, s, t;
};

void DrawQuarter(const Corner (&corners)[4])
{
    glBegin(GL_QUADS);
    for (const Corner& c : corners) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(c.x, c.y, 0.0f);
    }
    glEnd();
}

}  // namespace

void QuadShiftEffect::Draw(const EffectParams& p)
{
    // Ctrl 1 is scaled by 1/32, so the centre reaches 1.96875 at most and the right
    // quarters never vanish.
    const float x = static_cast<float>(p.ctrl1) * 0.03125f - 2.0f;
    const float y = static_cast<float>(p.ctrl2) * kCtrlScale * 3.0f - 1.5f;
    const float sa = p.maxSA;
    const float ta = p.maxTA;
    const float hs = sa * 0.5f;
    const float ht = ta * 0.5f;

    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawQuarter(
        {{-2.0f, -1.5f, 0.0f, 0.0f}, {x, -1.5f, hs, 0.0f}, {x, y, hs, ht}, {-2.0f, y, 0.0f, ht}});
    DrawQuarter({{x, -1.5f, hs, 0.0f}, {2.0f, -1.5f, sa, 0.0f}, {2.0f, y, sa, ht}, {x, y, hs, ht}});
    DrawQuarter({{x, y, hs, ht}, {2.0f, y, sa, ht}, {2.0f, 1.5f, sa, ta}, {x, 1.5f, hs, ta}});
    DrawQuarter({{-2.0f, y, 0.0f, ht}, {x, y, hs, ht}, {x, 1.5f, hs, ta}, {-2.0f, 1.5f, 0.0f, ta}});
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
}
