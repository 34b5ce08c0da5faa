// The camera picture's size, [CAMERA] PICTURE: every source is scaled to it, the frame memory
// stores it, and the camera texture holds it in its first rows.
#ifndef KOVRA_APP_PICTURESIZE_H
#define KOVRA_APP_PICTURESIZE_H

#include <string>

struct PictureSize {
    int width = 512;
    int height = 384;
    // The texture is 4/3 of the picture's height, so that the picture's extents in it stay
    // 1.0 across and 0.75 up, which the effects and their meshes rely on.
    int TextureWidth() const { return width; }
    int TextureHeight() const { return height * 4 / 3; }
    bool operator==(const PictureSize& other) const
    {
        return width == other.width && height == other.height;
    }
};

// PICTURE's text: "720" is 1280 x 720, "1080" is 1920 x 1080; anything else (384 among them)
// is today's 512 x 384.
PictureSize ParsePictureSize(const std::string& text);

// The size the current OpenGL context can hold: `wanted`, or 512 x 384 with one line on
// standard error where its texture would not be a power of two and the GL takes none such.
PictureSize UsablePictureSize(PictureSize wanted);

#endif
