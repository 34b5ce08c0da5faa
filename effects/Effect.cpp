// The drawing steps shared by all effects.
#include "Effect.h"

#include <GL/gl.h>
#include <GL/glu.h>

void BeginFrame(double farPlane)
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the single-precision 0.1 widened, as the frame has always used.
    gluPerspective(45.0, 1.3333333333333333, static_cast<double>(0.1f), farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

float AdvanceAngle(float angle, float step)
{
    angle += step;
    if (angle >= 360.0f) angle -= 360.0f;
    return angle;
}

void DrawPictureQuad(const QuadRect& rect, float s, float t)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(rect.x0, rect.y0, 0.0f);
    glTexCoord2f(s, 0.0f);
    glVertex3f(rect.x1, rect.y0, 0.0f);
    glTexCoord2f(s, t);
    glVertex3f(rect.x1, rect.y1, 0.0f);
    glTexCoord2f(0.0f, t);
    glVertex3f(rect.x0, rect.y1, 0.0f);
    glEnd();
}

void DrawTranslucentQuad(const QuadRect& rect, float s, float t, float alpha)
{
    glBegin(GL_QUADS);
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(rect.x0, rect.y0, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glTexCoord2f(s, 0.0f);
    glVertex3f(rect.x1, rect.y0, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glTexCoord2f(s, t);
    glVertex3f(rect.x1, rect.y1, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glTexCoord2f(0.0f, t);
    glVertex3f(rect.x0, rect.y1, 0.0f);
    glEnd();
}

void AddTranslucentPicture(unsigned texture, float s, float t, float alpha)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    DrawTranslucentQuad(kFullView, s, t, alpha);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

void DrawGradientBackdrop()
{
    glTranslatef(0.0f, 0.0f, -6.6f);
    glBegin(GL_QUADS);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glVertex3f(-4.0f, -3.0f, 0.0f);
    glVertex3f(4.0f, -3.0f, 0.0f);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    glVertex3f(4.0f, 3.0f, 0.0f);
    glVertex3f(-4.0f, 3.0f, 0.0f);
    glEnd();
}
