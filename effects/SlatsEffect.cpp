// Effect 14: two copies of camera A's slats and two of camera B's, interleaved; Ctrl 1
// pulls one camera's pair forward and the other's back, Ctrl 2 turns them.
#include <GL/gl.h>

#include "Effects.h"
#include "Mesh.h"

void SlatsEffect::Draw(const EffectParams& p)
{
    const float c1 = static_cast<float>(p.ctrl1) * kCtrlScale;
    const float c2 = static_cast<float>(p.ctrl2) * kCtrlScale;
    const float z1 = c1 * 200.0f - 100.0f;
    const float shift = c1 * 25.0f - 12.5f;
    const float turn = c2 * 90.0f;

    BeginFrame(1000.0);
    glEnable(GL_DEPTH_TEST);
    glTranslatef(0.0f, 0.0f, -240.0f);
    glRotatef(turn, 0.0f, 1.0f, 0.0f);

    const GLuint ab[2] = {p.texA, p.texB};
    const GLuint ba[2] = {p.texB, p.texA};
    // Camera B's slats sit 12 units across, not 12.5: they overlap camera A's by 0.5 on one
    // side and leave a gap of 0.5 on the other.
    const struct {
        float x, z;
        const GLuint* textures;
    } copies[4] = {{0.0f, -z1, ab}, {-shift, -z1, ab}, {12.0f, z1, ba}, {shift + 12.0f, z1, ba}};
    for (const auto& copy : copies) {
        glPushMatrix();
        glTranslatef(copy.x, 0.0f, copy.z);
        DrawMesh(g_slatsMesh, copy.textures);
        glPopMatrix();
    }
    glDisable(GL_DEPTH_TEST);
}
