// EGL surfaceless context plus framebuffer object; see OffscreenGl.h.
#include "OffscreenGl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

struct OffscreenGl::Egl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

    void DropTarget()
    {
        if (framebuffer) deleteFramebuffers(1, &framebuffer);
        if (colour) deleteRenderbuffers(1, &colour);
        if (depth) deleteRenderbuffers(1, &depth);
        framebuffer = colour = depth = 0;
    }
};

namespace {

template <typename F>
bool Resolve(F& fn, const char* name)
{
    fn = reinterpret_cast<F>(eglGetProcAddress(name));
    return fn != nullptr;
}

}  // namespace

OffscreenGl::OffscreenGl(int width, int height) : m_egl(std::make_unique<Egl>())
{
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        m_error = "eglGetPlatformDisplayEXT is missing";
        return;
    }
    m_egl->display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (m_egl->display == EGL_NO_DISPLAY || !eglInitialize(m_egl->display, nullptr, nullptr)) {
        m_error = "no surfaceless EGL display";
        m_egl->display = EGL_NO_DISPLAY;
        return;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        m_error = "EGL cannot bind desktop OpenGL";
        return;
    }
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    // Surfaceless contexts need no config; take one if offered, else go without.
    if (!eglChooseConfig(m_egl->display, configAttribs, &config, 1, &configCount) ||
        configCount == 0) {
        config = nullptr;
    }
    // Without a profile request EGL gives the compatibility profile, as legacy drawing needs.
    m_egl->context = eglCreateContext(m_egl->display, config, EGL_NO_CONTEXT, nullptr);
    if (m_egl->context == EGL_NO_CONTEXT) {
        m_error = "eglCreateContext failed";
        return;
    }
    if (!eglMakeCurrent(m_egl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_egl->context)) {
        m_error = "eglMakeCurrent failed";
        return;
    }
    Egl& e = *m_egl;
    if (!Resolve(e.genFramebuffers, "glGenFramebuffers") ||
        !Resolve(e.deleteFramebuffers, "glDeleteFramebuffers") ||
        !Resolve(e.bindFramebuffer, "glBindFramebuffer") ||
        !Resolve(e.genRenderbuffers, "glGenRenderbuffers") ||
        !Resolve(e.deleteRenderbuffers, "glDeleteRenderbuffers") ||
        !Resolve(e.bindRenderbuffer, "glBindRenderbuffer") ||
        !Resolve(e.renderbufferStorage, "glRenderbufferStorage") ||
        !Resolve(e.framebufferRenderbuffer, "glFramebufferRenderbuffer") ||
        !Resolve(e.checkFramebufferStatus, "glCheckFramebufferStatus")) {
        m_error = "framebuffer objects are not available";
        return;
    }
    if (!Resize(width, height) && m_error.empty()) m_error = "framebuffer incomplete";
}

OffscreenGl::~OffscreenGl()
{
    if (m_egl->display == EGL_NO_DISPLAY) return;
    if (m_egl->context != EGL_NO_CONTEXT) {
        if (m_egl->genFramebuffers) m_egl->DropTarget();
        eglMakeCurrent(m_egl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_egl->display, m_egl->context);
    }
    eglTerminate(m_egl->display);
}

bool OffscreenGl::Resize(int width, int height)
{
    Egl& e = *m_egl;
    if (e.context == EGL_NO_CONTEXT || !e.genFramebuffers) return false;
    e.DropTarget();
    e.genFramebuffers(1, &e.framebuffer);
    e.bindFramebuffer(GL_FRAMEBUFFER, e.framebuffer);
    e.genRenderbuffers(1, &e.colour);
    e.bindRenderbuffer(GL_RENDERBUFFER, e.colour);
    e.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    e.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, e.colour);
    e.genRenderbuffers(1, &e.depth);
    e.bindRenderbuffer(GL_RENDERBUFFER, e.depth);
    e.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    e.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, e.depth);
    if (e.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        m_error = "framebuffer incomplete";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
    m_width = width;
    m_height = height;
    return true;
}

std::string OffscreenGl::Renderer() const
{
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return text ? text : "";
}

std::vector<uint8_t> OffscreenGl::ReadPixels() const
{
    std::vector<uint8_t> pixels(static_cast<size_t>(m_width) * m_height * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}
