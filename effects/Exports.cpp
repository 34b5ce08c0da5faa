// The library's three exported calls and the table that maps effect numbers to effects.
#include "Effects.h"
#include "KovraEff.h"

namespace {

CubeEffect s_cube;
CrossFadeEffect s_crossFade;
SplitXEffect s_splitX;
SplitYEffect s_splitY;
QuadShiftEffect s_quadShift;
FoldEffect s_fold;
ScrollXEffect s_scrollX;
ScrollYEffect s_scrollY;
PushXEffect s_pushX;
PushYEffect s_pushY;
SphereGridEffect s_sphereGrid;
PyramidEffect s_pyramid;
FloorCeilingEffect s_floorCeiling;
EchoEffect s_echo;
SlatsEffect s_slats;
TitleEffect s_title;

Effect* g_effects[EFFECT_COUNT] = {};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int KOVRAEFF_Init(void)
{
    Effect* const effects[EFFECT_COUNT] = {&s_cube,         &s_crossFade, &s_splitX,     &s_splitY,
                                           &s_quadShift,    &s_fold,      &s_scrollX,    &s_scrollY,
                                           &s_pushX,        &s_pushY,     &s_sphereGrid, &s_pyramid,
                                           &s_floorCeiling, &s_echo,      &s_slats,      &s_title};
    for (int i = 0; i < EFFECT_COUNT; ++i) g_effects[i] = effects[i];
    for (Effect* effect : g_effects) effect->Reset();
    return EFFECT_COUNT;
}

// The effect number is the caller's to keep in range: it clamps wherever it changes it.
__attribute__((visibility("default"))) void KOVRAEFF_Reset(int effect)
{
    g_effects[effect]->Reset();
}

__attribute__((visibility("default"))) void KOVRAEFF_Draw(int effect, const EffectParams* params)
{
    g_effects[effect]->Draw(*params);
}

}  // extern "C"
