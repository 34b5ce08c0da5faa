// The push effects' common frame; see Push.h.
#include "Push.h"

#include <GL/gl.h>

#include "Effect.h"

namespace {

// The push effects always map the whole picture as s 0..1, t 0..0.75, not the record's
// extents: the main program's pictures fill exactly that part of their textures.
constexpr float kPictureS = 1.0f;
constexpr float kPictureT = 0.75f;

void DrawFullPicture(GLuint texture)
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    DrawPictureQuad(kFullView, kPictureS, kPictureT);
    glDisable(GL_TEXTURE_2D);
}

}  // namespace

void DrawPush(const EffectParams& p, int& swapped, float& position, float start, float dirX,
              float dirY)
{
    const float speed = static_cast<float>(p.ctrl1) * kPushScale;
    BeginFrame(100.0);
    glTranslatef(0.0f, 0.0f, -3.6f);

    position -= speed;
    if (position < 0.0f) {
        swapped = !swapped;
        position = start;
    }
    const GLuint background = swapped ? p.texA : p.texB;
    const GLuint sliding = swapped ? p.texB : p.texA;

    glTranslatef(0.0f, 0.0f, 0.0f);
    DrawFullPicture(background);
    glTranslatef(position * dirX, position * dirY, 0.0f);
    DrawFullPicture(sliding);
}
