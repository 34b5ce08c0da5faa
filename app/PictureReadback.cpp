// The picture read back for the ways out; see PictureReadback.h.
#include "PictureReadback.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>

CPictureReadback::~CPictureReadback() { Free(); }

void CPictureReadback::Read(PixelSize size, long long tickNs, const Take& take)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context || size.width <= 0 || size.height <= 0) return;
    // Pixel buffer objects and their mapping: OpenGL 3.0, or these two extensions before it.
    if (context->format().version() < qMakePair(3, 0) &&
        !(context->hasExtension("GL_ARB_pixel_buffer_object") &&
          context->hasExtension("GL_ARB_map_buffer_range")))
        return;
    QOpenGLExtraFunctions* gl = context->extraFunctions();
    const int stride = size.width * 4;
    const auto bytes = static_cast<long>(stride) * size.height;
    if (size != m_size || !m_buffers[0]) {
        Free();
        gl->glGenBuffers(kRing, m_buffers);
        for (unsigned buffer : m_buffers) {
            gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            gl->glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
        }
        m_size = size;
    }
    const int slot = m_next;
    m_next = (m_next + 1) % kRing;
    gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, m_buffers[slot]);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glReadPixels(0, 0, size.width, size.height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    m_times[slot] = tickNs;
    m_filled[slot] = true;
    // The oldest read of the ring, finished by now on a GPU too.
    const int oldest = m_next;
    if (m_filled[oldest]) {
        gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, m_buffers[oldest]);
        if (const void* rows =
                gl->glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, bytes, GL_MAP_READ_BIT)) {
            take(static_cast<const uint8_t*>(rows), stride, m_times[oldest]);
            gl->glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        }
    }
    gl->glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

void CPictureReadback::Free()
{
    if (m_buffers[0] && QOpenGLContext::currentContext())
        QOpenGLContext::currentContext()->extraFunctions()->glDeleteBuffers(kRing, m_buffers);
    for (int i = 0; i < kRing; ++i) {
        m_buffers[i] = 0;
        m_filled[i] = false;
    }
    m_next = 0;
    m_size = {};
}
