// The offscreen picture and its textured draw; see RenderTarget.h.
#include "RenderTarget.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace {

QOpenGLFunctions* Gl() { return QOpenGLContext::currentContext()->functions(); }

}  // namespace

CRenderTarget::~CRenderTarget() { Free(); }

bool CRenderTarget::Ensure(PixelSize size)
{
    if (m_framebuffer && size == m_size) return true;
    Free();
    if (!QOpenGLContext::currentContext()) return false;
    QOpenGLFunctions* gl = Gl();
    glGenTextures(1, &m_texture);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width, size.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    gl->glGenRenderbuffers(1, &m_depth);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
    gl->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size.width, size.height);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    gl->glGenFramebuffers(1, &m_framebuffer);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_texture, 0);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth);
    const bool complete = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl->glBindFramebuffer(GL_FRAMEBUFFER,
                          QOpenGLContext::currentContext()->defaultFramebufferObject());
    m_size = size;
    if (!complete) Free();
    return complete;
}

void CRenderTarget::Bind() const
{
    Gl()->glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glViewport(0, 0, m_size.width, m_size.height);
}

void CRenderTarget::BindWindow(PixelSize size)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    context->functions()->glBindFramebuffer(GL_FRAMEBUFFER, context->defaultFramebufferObject());
    glViewport(0, 0, size.width, size.height);
}

void CRenderTarget::CopyFromBound() const
{
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, m_size.width, m_size.height);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void CRenderTarget::Show() const
{
    // Whatever the effect left (lights, depth test, blending, its matrices) stays out of
    // this draw and is back for the next tick.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void CRenderTarget::Free()
{
    if (!m_framebuffer && !m_texture && !m_depth) return;
    if (QOpenGLContext::currentContext()) {
        QOpenGLFunctions* gl = Gl();
        gl->glDeleteFramebuffers(1, &m_framebuffer);
        gl->glDeleteRenderbuffers(1, &m_depth);
        glDeleteTextures(1, &m_texture);
    }
    m_framebuffer = m_texture = m_depth = 0;
    m_size = {};
}
