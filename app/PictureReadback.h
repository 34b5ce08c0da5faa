// The picture read back once a tick for the ways out, through a ring of pixel buffer objects:
// each tick's read goes into the next buffer, and the one read a tick earlier is handed over,
// so that a GPU copies while the tick goes on. llvmpipe copies at once, and the same path runs
// there. Made and freed with the main OpenGL context current.
#ifndef KOVRA_APP_PICTUREREADBACK_H
#define KOVRA_APP_PICTUREREADBACK_H

#include <cstdint>
#include <functional>

#include "RenderSize.h"

class CPictureReadback {
public:
    // Rows bottom first, RGBA, `stride` bytes apart, read at `tickNs`.
    using Take = std::function<void(const uint8_t* rows, int stride, long long tickNs)>;

    CPictureReadback() = default;
    ~CPictureReadback();
    CPictureReadback(const CPictureReadback&) = delete;
    CPictureReadback& operator=(const CPictureReadback&) = delete;

    // Reads the bound framebuffer's lower-left `size` into the ring and hands the earlier read
    // to `take`. A new size starts the ring afresh.
    void Read(PixelSize size, long long tickNs, const Take& take);
    void Free();

private:
    static constexpr int kRing = 2;
    unsigned m_buffers[kRing] = {};
    long long m_times[kRing] = {};
    bool m_filled[kRing] = {};
    int m_next = 0;
    PixelSize m_size;
};

#endif
