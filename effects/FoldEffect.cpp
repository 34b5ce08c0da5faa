// Effect 5: the left half of camera A and its mirror image meeting at a fold line that
// Ctrl 1 moves towards or away from the viewer; repeated above and below.
#include <GL/gl.h>

#include "Effects.h"

namespace {

// Three quads from the outer edge at x = edge, z = 0 to the fold line at x = 0, z = depth,
// each showing the left half of the picture; the outer edge always gets s = 0.
void DrawFoldSide(float edge, float depth, float hs, float ta)
{
    const float bands[3][2] = {{-1.5f, 1.5f}, {1.5f, 3.0f}, {-3.0f, -1.5f}};
    glBegin(GL_QUADS);
    for (const auto& band : bands) {
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(edge, band[0], 0.0f);
        glTexCoord2f(hs, 0.0f);
        glVertex3f(0.0f, band[0], depth);
        glTexCoord2f(hs, ta);
        glVertex3f(0.0f, band[1], depth);
        glTexCoord2f(0.0f, ta);
        glVertex3f(edge, band[1], 0.0f);
    }
    glEnd();
}

}  // namespace

void FoldEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float d = c1 * 6.0f - 3.0f;
    const float hs = p.maxSA * 0.5f;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, p.texA);
    DrawFoldSide(-2.0f, d, hs, p.maxTA);
    DrawFoldSide(2.0f, d, hs, p.maxTA);
    glDisable(GL_TEXTURE_2D);
}
