// The performance state: the effect, Ctrl 1, Ctrl 2 and the record flag, with their clamps.
// Every change goes through a setter and is announced once, with its source. UI thread only.
#ifndef KOVRA_COMMON_PERFORMANCE_H
#define KOVRA_COMMON_PERFORMANCE_H

#include <QObject>
#include <functional>
#include <utility>

#include "MidiPerformance.h"

class CPerformance : public QObject, public MidiPerformance {
    Q_OBJECT

public:
    // Which value a change notification is about.
    enum class Value { Effect, Ctrl1, Ctrl2, Record };
    // What plays a frame-memory key: the frame memories live with the window, not here.
    using FrameKeyHandler = std::function<void(int camera, int key, bool pressed)>;

    static constexpr int kCtrlMax = 127;

    int Effect() const { return m_nEffect; }
    int Ctrl1() const { return m_nCtrl1; }
    int Ctrl2() const { return m_nCtrl2; }
    bool Record() const override { return m_bRecord; }
    int EffectCount() const { return m_nEffectCount; }

    // How many effects there are; the effect number is clamped again into the new range
    // (announced as the dialog's, the one place besides set-up that sets a count).
    void SetEffectCount(int count);
    void SetEffect(int effect, ChangeSource source) override;
    void SetCtrl1(int value, ChangeSource source) override;
    void SetCtrl2(int value, ChangeSource source) override;
    void SetRecord(bool on, ChangeSource source) override;
    // Passed on to the handler; nothing without one.
    void FrameKey(int camera, int key, bool pressed) override;
    void SetFrameKeyHandler(FrameKeyHandler handler) { m_frameKey = std::move(handler); }

signals:
    // Once per setter call, after the clamp, also when the value stays as it was: a
    // controller pushed past an end hears where the value stopped.
    void Changed(CPerformance::Value value, int newValue, ChangeSource source);

private:
    int m_nEffect = 0;
    int m_nCtrl1 = 0;
    int m_nCtrl2 = 0;
    bool m_bRecord = false;
    int m_nEffectCount = 0;
    FrameKeyHandler m_frameKey;
};

#endif
