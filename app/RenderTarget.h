// The offscreen picture: a framebuffer of the render size with a colour texture and a 24-bit
// depth buffer (the effects clear depth and the meshes test it), and the one textured draw
// that shows it in a view. Made and freed with the program's OpenGL context current.
#ifndef KOVRA_APP_RENDERTARGET_H
#define KOVRA_APP_RENDERTARGET_H

#include "RenderSize.h"

class CRenderTarget {
public:
    CRenderTarget() = default;
    ~CRenderTarget();
    CRenderTarget(const CRenderTarget&) = delete;
    CRenderTarget& operator=(const CRenderTarget&) = delete;

    // Has the framebuffer at `size`, made anew only when the size changed; false when the
    // driver could not complete it (then nothing is kept).
    bool Ensure(PixelSize size);
    // Draws into the framebuffer from now on, the viewport over all of it.
    void Bind() const;
    // Draws into the current window again, the viewport over `size` of it.
    static void BindWindow(PixelSize size);
    // Copies the bound framebuffer's lower-left pixels, as many as the texture holds, into it.
    void CopyFromBound() const;
    // The picture over the whole current viewport, linearly scaled, leaving OpenGL's state as
    // it found it.
    void Show() const;
    void Free();

private:
    PixelSize m_size;
    unsigned m_framebuffer = 0;
    unsigned m_texture = 0;
    unsigned m_depth = 0;
};

#endif
