// PICTURE's reading and the check of the texture sizes the GL takes; see PictureSize.h.
#include "PictureSize.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// OpenGL 2.0 made any texture size core; before it, an extension offers it.
bool GlTakesAnyTextureSize()
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version && std::atoi(version) >= 2) return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions && std::strstr(extensions, "GL_ARB_texture_non_power_of_two");
}

}  // namespace

PictureSize ParsePictureSize(const std::string& text)
{
    if (text == "720") return {1280, 720};
    if (text == "1080") return {1920, 1080};
    return {};
}

PictureSize UsablePictureSize(PictureSize wanted)
{
    if ((PowerOfTwo(wanted.TextureWidth()) && PowerOfTwo(wanted.TextureHeight())) ||
        GlTakesAnyTextureSize())
        return wanted;
    std::fprintf(stderr,
                 "Kovra: this OpenGL takes no %dx%d texture; PICTURE %d falls back to 384\n",
                 wanted.TextureWidth(), wanted.TextureHeight(), wanted.height);
    return {};
}
