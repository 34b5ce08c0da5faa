// Effect 9: one camera's picture pushed down from above over the other's.
#include "Effects.h"
#include "Push.h"

void PushYEffect::Draw(const EffectParams& p) { DrawPush(p, m_bSwapped, m_position, 3.0f, 0, 1); }
