// The camera frame path per tick: copy out the newest frame, convert blue-green-red to
// red-green-blue and stretch it to the picture. Kovra's one pass against the floor of copying
// the frame alone, and against libyuv and libswscale doing the same work, for four camera
// sizes at the default 512 x 384 picture, and a 1920 x 1080 camera at PICTURE 720 and 1080
// (at 1080 the pass is a plain colour reorder).
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <libyuv/scale_rgb.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "FrameMemory.h"

namespace {

struct Frame {
    int w, h, stride;
    int pw, ph;                     // the picture's size
    std::vector<uint8_t> captured;  // as the capture's frame buffer holds it
    std::vector<uint8_t> copy;      // the frame path's own copy
    std::vector<uint8_t> picture;

    Frame(int width, int height, int pictureWidth, int pictureHeight)
        : w(width),
          h(height),
          stride((width * 3 + 3) / 4 * 4),
          pw(pictureWidth),
          ph(pictureHeight),
          captured(static_cast<size_t>(stride) * height),
          copy(captured.size()),
          picture(static_cast<size_t>(pw) * ph * 3)
    {
        uint32_t state = 7;
        for (auto& byte : captured)
            byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    }
};

Frame MakeFrame(const benchmark::State& state)
{
    return Frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                 static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
}

void BM_CopyOnly(benchmark::State& state)
{
    Frame f = MakeFrame(state);
    for (auto _ : state) {
        std::memcpy(f.copy.data(), f.captured.data(), f.captured.size());
        benchmark::ClobberMemory();
    }
}

void BM_Kovra(benchmark::State& state)
{
    Frame f = MakeFrame(state);
    const CFrameMemory::ScaleTables tables = CFrameMemory::MakeScaleTables(f.w, f.h, f.pw, f.ph);
    for (auto _ : state) {
        std::memcpy(f.copy.data(), f.captured.data(), f.captured.size());
        CFrameMemory::ConvertAndScale(f.copy.data(), tables, f.picture.data());
        benchmark::ClobberMemory();
    }
}

void BM_TwoPass(benchmark::State& state)
{
    Frame f = MakeFrame(state);
    std::vector<uint8_t> rgb(static_cast<size_t>(f.w) * f.h * 3);
    for (auto _ : state) {
        std::memcpy(f.copy.data(), f.captured.data(), f.captured.size());
        CFrameMemory::ConvertToRgb(f.copy.data(), rgb.data(), f.w, f.h);
        CFrameMemory::Scale(rgb.data(), f.w, f.h, f.picture.data(), f.pw, f.ph);
        benchmark::ClobberMemory();
    }
}

void BM_Libyuv(benchmark::State& state)
{
    Frame f = MakeFrame(state);
    std::vector<uint8_t> scaled(f.picture.size());
    for (auto _ : state) {
        std::memcpy(f.copy.data(), f.captured.data(), f.captured.size());
        // Its fastest route here: stretch the 24-bit pixels first, then swap red and blue.
        libyuv::RGBScale(f.copy.data(), f.stride, f.w, f.h, scaled.data(), f.pw * 3, f.pw, f.ph,
                         libyuv::kFilterNone);
        libyuv::RAWToRGB24(scaled.data(), f.pw * 3, f.picture.data(), f.pw * 3, f.pw, f.ph);
        benchmark::ClobberMemory();
    }
}

void BM_Swscale(benchmark::State& state)
{
    Frame f = MakeFrame(state);
    SwsContext* context = sws_getContext(f.w, f.h, AV_PIX_FMT_BGR24, f.pw, f.ph, AV_PIX_FMT_RGB24,
                                         SWS_POINT, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("no swscale context");
        return;
    }
    uint8_t* destination[1] = {f.picture.data()};
    const int destinationStride[1] = {f.pw * 3};
    for (auto _ : state) {
        std::memcpy(f.copy.data(), f.captured.data(), f.captured.size());
        const uint8_t* source[1] = {f.copy.data()};
        const int sourceStride[1] = {f.stride};
        sws_scale(context, source, sourceStride, 0, f.h, destination, destinationStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
}

void Cameras(benchmark::internal::Benchmark* b)
{
    // Camera width and height, picture width and height.
    const std::pair<int, int> cameras[] = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};
    for (const auto& camera : cameras) b->Args({camera.first, camera.second, 512, 384});
    b->Args({1920, 1080, 1280, 720})->Args({1920, 1080, 1920, 1080});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_CopyOnly)->Apply(Cameras);
BENCHMARK(BM_Kovra)->Apply(Cameras);
BENCHMARK(BM_TwoPass)->Apply(Cameras);
BENCHMARK(BM_Libyuv)->Apply(Cameras);
BENCHMARK(BM_Swscale)->Apply(Cameras);

}  // namespace

BENCHMARK_MAIN();
