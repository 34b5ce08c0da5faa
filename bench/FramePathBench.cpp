// The camera frame path per tick: copy out the newest frame, convert blue-green-red to
// red-green-blue and stretch it to the 512 x 384 picture. Kovra's one pass against the floor
// of copying the frame alone, and against libyuv and libswscale doing the same work, for
// four camera sizes.
#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <libyuv/scale_rgb.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
#include <vector>

#include "FrameMemory.h"

namespace {

constexpr int kPictureW = 512;
constexpr int kPictureH = 384;

struct Frame {
    int w, h, stride;
    std::vector<uint8_t> captured;  // as the capture's frame buffer holds it
    std::vector<uint8_t> copy;      // the frame path's own copy
    std::vector<uint8_t> picture;

    Frame(int width, int height)
        : w(width),
          h(height),
          stride((width * 3 + 3) / 4 * 4),
          captured(static_cast<size_t>(stride) * height),
          copy(captured.size()),
          picture(kPictureW * kPictureH * 3)
    {
        uint32_t state = 7;
        for (auto& byte : captured)
            byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    }
};

Frame MakeFrame(const benchmark::State& state)
{
    return Frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
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
    const CFrameMemory::ScaleTables tables =
        CFrameMemory::MakeScaleTables(f.w, f.h, kPictureW, kPictureH);
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
        CFrameMemory::Scale(rgb.data(), f.w, f.h, f.picture.data(), kPictureW, kPictureH);
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
        libyuv::RGBScale(f.copy.data(), f.stride, f.w, f.h, scaled.data(), kPictureW * 3, kPictureW,
                         kPictureH, libyuv::kFilterNone);
        libyuv::RAWToRGB24(scaled.data(), kPictureW * 3, f.picture.data(), kPictureW * 3, kPictureW,
                           kPictureH);
        benchmark::ClobberMemory();
    }
}

void BM_Swscale(benchmark::State& state)
{
    Frame f = MakeFrame(state);
    SwsContext* context = sws_getContext(f.w, f.h, AV_PIX_FMT_BGR24, kPictureW, kPictureH,
                                         AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("no swscale context");
        return;
    }
    uint8_t* destination[1] = {f.picture.data()};
    const int destinationStride[1] = {kPictureW * 3};
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
    b->Args({320, 240})->Args({640, 480})->Args({1280, 720})->Args({1920, 1080});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_CopyOnly)->Apply(Cameras);
BENCHMARK(BM_Kovra)->Apply(Cameras);
BENCHMARK(BM_TwoPass)->Apply(Cameras);
BENCHMARK(BM_Libyuv)->Apply(Cameras);
BENCHMARK(BM_Swscale)->Apply(Cameras);

}  // namespace

BENCHMARK_MAIN();
