// What a controller plays on the performance: the effect, the two controls, the record flag
// and the frame-memory keys. The performance state implements it. User-interface thread only.
#ifndef KOVRA_COMMON_MIDIPERFORMANCE_H
#define KOVRA_COMMON_MIDIPERFORMANCE_H

// Who made a change, carried with its notification (feedback is not sent back to its source).
enum class ChangeSource { Keys, Dialog, Midi, Osc };

class MidiPerformance {
public:
    // Each setter clamps (the effect to 0..count-1, the controls to 0..127) and then notifies
    // once with the new value and its source.
    virtual void SetEffect(int effect, ChangeSource source) = 0;
    virtual void SetCtrl1(int value, ChangeSource source) = 0;
    virtual void SetCtrl2(int value, ChangeSource source) = 0;
    virtual void SetRecord(bool on, ChangeSource source) = 0;
    virtual bool Record() const = 0;
    // A frame-memory key of camera 0 (A) or 1 (B), key 0..6 from the notes.
    virtual void FrameKey(int camera, int key, bool pressed) = 0;

protected:
    ~MidiPerformance() = default;
};

#endif
