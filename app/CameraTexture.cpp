// Definition and upload of the camera textures; see CameraTexture.h.
#include "CameraTexture.h"

#include <GL/gl.h>

#include <cstddef>
#include <new>

bool CreateCameraTexture(unsigned name, int w, int h)
{
    std::vector<uint8_t> black;
    try {
        black.assign(static_cast<std::size_t>(w) * h * 3, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, black.data());
    glDisable(GL_TEXTURE_2D);
    return true;
}

void UploadCameraPicture(unsigned name, const uint8_t* pixels, int bands, int band, int w, int h)
{
    glBindTexture(GL_TEXTURE_2D, name);
    const int bandHeight = h / bands;
    const int firstRow = band * bandHeight;
    // The default unpack alignment of 4 suits the rows: 3 bytes times a width divisible by 4.
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, firstRow, w, bandHeight, GL_RGB, GL_UNSIGNED_BYTE,
                    pixels + static_cast<std::size_t>(firstRow) * w * 3);
}

std::vector<uint8_t> MakePlaceholder(uint8_t r, uint8_t g, uint8_t b, int w, int h)
{
    std::vector<uint8_t> picture(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < picture.size(); i += 3) {
        picture[i] = r;
        picture[i + 1] = g;
        picture[i + 2] = b;
    }
    return picture;
}
