// Effect 8: one camera's picture pushed in from the right over the other's.
#include "Effects.h"
#include "Push.h"

void PushXEffect::Draw(const EffectParams& p) { DrawPush(p, m_bSwapped, m_position, 4.0f, 1, 0); }
