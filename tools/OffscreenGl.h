// An OpenGL compatibility context without any display: EGL on Mesa's surfaceless platform,
// drawing into a framebuffer object with colour (RGBA8) and depth (24 bits).
// Serves the effects tests, the render tool and the benchmarks.
#ifndef KOVRA_TOOLS_OFFSCREENGL_H
#define KOVRA_TOOLS_OFFSCREENGL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class OffscreenGl {
public:
    // Creates the context, makes it current on this thread and binds a width x height target
    // with the viewport set to it. Check Ok() afterwards; Error() says what failed.
    OffscreenGl(int width, int height);
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::string Renderer() const;

    // Replaces the render target with one of a new size; the context stays.
    bool Resize(int width, int height);

    // Reads the whole target after glFinish: RGBA, 4 bytes a pixel, bottom row first.
    std::vector<uint8_t> ReadPixels() const;

private:
    struct Egl;
    std::unique_ptr<Egl> m_egl;
    int m_width = 0;
    int m_height = 0;
    std::string m_error;
};

#endif
