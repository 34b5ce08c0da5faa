// The performance state's setters: clamp, store, announce. See Performance.h.
#include "Performance.h"

#include <utility>

namespace {

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

}  // namespace

void CPerformance::SetEffectCount(int count)
{
    m_nEffectCount = count;
    SetEffect(m_nEffect, ChangeSource::Dialog);
}

void CPerformance::SetEffect(int effect, ChangeSource source)
{
    // Never below 0, also before the count is known: the effects library indexes with it.
    m_nEffect = Clamp(effect, 0, m_nEffectCount > 0 ? m_nEffectCount - 1 : 0);
    emit Changed(Value::Effect, m_nEffect, source);
}

void CPerformance::SetCtrl1(int value, ChangeSource source)
{
    m_nCtrl1 = Clamp(value, 0, kCtrlMax);
    emit Changed(Value::Ctrl1, m_nCtrl1, source);
}

void CPerformance::SetCtrl2(int value, ChangeSource source)
{
    m_nCtrl2 = Clamp(value, 0, kCtrlMax);
    emit Changed(Value::Ctrl2, m_nCtrl2, source);
}

void CPerformance::SetRecord(bool on, ChangeSource source)
{
    m_bRecord = on;
    emit Changed(Value::Record, on ? 1 : 0, source);
}

void CPerformance::FrameKey(int camera, int key, bool pressed)
{
    if (m_frameKey) m_frameKey(camera, key, pressed);
}
