// Time of one effect frame on the offscreen context: KOVRAEFF_Draw followed by glFinish,
// since llvmpipe renders only when flushed. Per effect at 640x480 and 1920x1080.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "CameraTexture.h"
#include "KovraEff.h"
#include "OffscreenGl.h"

namespace {

// A busy picture so that texturing cannot take any short cut.
std::vector<uint8_t> NoisePicture(uint32_t state)
{
    std::vector<uint8_t> rgb(512 * 384 * 3);
    for (auto& byte : rgb) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return rgb;
}

OffscreenGl& Context()
{
    static OffscreenGl gl(640, 480);
    static bool ready = false;
    if (!ready && gl.Ok()) {
        CreateCameraTexture(kTextureA, 512, 512);
        CreateCameraTexture(kTextureB, 512, 512);
        UploadCameraPicture(kTextureA, NoisePicture(1).data(), 1, 0, 512, 384);
        UploadCameraPicture(kTextureB, NoisePicture(2).data(), 1, 0, 512, 384);
        KOVRAEFF_Init();
        ready = true;
    }
    return gl;
}

void BM_EffectFrame(benchmark::State& state)
{
    const int effect = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = width == 640 ? 480 : 1080;
    OffscreenGl& gl = Context();
    if (!gl.Ok() || !gl.Resize(width, height)) {
        state.SkipWithError("no offscreen OpenGL context");
        return;
    }
    // Mid-range controls with some movement, as a performer would have them.
    const EffectParams params = {64, 64, 0, 0, kTextureA, 1.0f, 0.75f, kTextureB, 1.0f, 0.75f};
    KOVRAEFF_Reset(effect);
    KOVRAEFF_Draw(effect, &params);
    glFinish();
    for (auto _ : state) {
        KOVRAEFF_Draw(effect, &params);
        glFinish();
    }
    state.SetLabel(gl.Renderer());
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int width : {640, 1920}) {
        for (int effect = 0; effect < 16; ++effect) b->Args({effect, width});
    }
}

BENCHMARK(BM_EffectFrame)
    ->Apply(Sizes)
    ->ArgNames({"effect", "width"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();  // llvmpipe draws on threads of its own

}  // namespace

BENCHMARK_MAIN();
