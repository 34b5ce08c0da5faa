// The step shared by the two push effects: one camera's picture slides over the other's,
// and on the frame the slide would pass its end the roles swap and it starts again.
#ifndef KOVRA_EFFECTS_PUSH_H
#define KOVRA_EFFECTS_PUSH_H

#include "KovraEff.h"

// Advances the slide by Ctrl 1's speed and draws the frame; (dirX, dirY) is the unit
// direction the slide comes from, start the distance it starts at.
void DrawPush(const EffectParams& p, int& swapped, float& position, float start, float dirX,
              float dirY);

#endif
