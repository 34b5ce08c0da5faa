// The two camera textures (names 100 and 101; 512 x 512 at the default picture size, the
// picture in rows 0..383) and the placeholder pictures shown while a camera has no device.
#ifndef KOVRA_APP_CAMERATEXTURE_H
#define KOVRA_APP_CAMERATEXTURE_H

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr unsigned kTextureA = 100;
constexpr unsigned kTextureB = 101;
constexpr int kTextureSize = 512;
constexpr int kPictureWidth = 512;
constexpr int kPictureHeight = 384;

// Defines the texture w x h, GL_RGB, black, linear filtering, repeat wrap, one level.
// False, with nothing done, when the black pixels cannot be had.
bool CreateCameraTexture(unsigned name, int w, int h);

// Replaces band `band` of `bands` equal bands of rows of the texture from a packed RGB
// picture of w x h; the frame loop uploads the whole picture as one band.
void UploadCameraPicture(unsigned name, const uint8_t* pixels, int bands, int band, int w, int h);

// A picture of one colour, w x h RGB (512 x 384 unless given).
std::vector<uint8_t> MakePlaceholder(uint8_t r, uint8_t g, uint8_t b, int w = kPictureWidth,
                                     int h = kPictureHeight);

#endif
