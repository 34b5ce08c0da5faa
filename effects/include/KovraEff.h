// Public face of the effects library: the per-frame record and the three exported calls.
// The library draws one whole frame of an effect into the OpenGL context current on the
// calling thread, using camera textures the caller owns; it keeps no window, clock or texture.
#ifndef KOVRA_EFFECTS_KOVRAEFF_H
#define KOVRA_EFFECTS_KOVRAEFF_H

#include <stddef.h>
#include <stdint.h>

// Filled by the main program on its stack each frame; the layout is shared by both sides.
struct EffectParams {
    int32_t ctrl1;      // Ctrl 1, 0..127
    int32_t ctrl2;      // Ctrl 2, 0..127
    int32_t reserved1;  // never read by the library
    int32_t reserved2;  // never read by the library
    uint32_t texA;      // texture name holding camera A's picture
    float maxSA;        // s of the right edge of camera A's picture
    float maxTA;        // t of the last row of camera A's picture
    uint32_t texB;
    float maxSB;
    float maxTB;
};

static_assert(sizeof(EffectParams) == 40, "EffectParams is ten 32-bit fields");
static_assert(offsetof(EffectParams, ctrl1) == 0 && offsetof(EffectParams, ctrl2) == 4 &&
                  offsetof(EffectParams, reserved1) == 8 &&
                  offsetof(EffectParams, reserved2) == 12 && offsetof(EffectParams, texA) == 16 &&
                  offsetof(EffectParams, maxSA) == 20 && offsetof(EffectParams, maxTA) == 24 &&
                  offsetof(EffectParams, texB) == 28 && offsetof(EffectParams, maxSB) == 32 &&
                  offsetof(EffectParams, maxTB) == 36,
              "EffectParams field order is fixed");

#ifdef __cplusplus
extern "C" {
#endif

// Fills the effect table, resets every effect and returns the number of effects (16).
// Issues no OpenGL call; calling it again is harmless.
int KOVRAEFF_Init(void);

// Returns the effect's animation to its starting state. No OpenGL call.
// The caller guarantees 0 <= effect < the count KOVRAEFF_Init returned.
void KOVRAEFF_Reset(int effect);

// Clears the frame and draws one frame of the effect, advancing its animation by one step.
// Needs a current OpenGL context; every capability it enables is disabled again on return.
void KOVRAEFF_Draw(int effect, const EffectParams* params);

#ifdef __cplusplus
}
#endif

#endif
