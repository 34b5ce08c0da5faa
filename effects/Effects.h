// The 16 effects, by effect number. Each is one static object in the effect table; its
// state is zero when the library loads and changes only in Draw and Reset.
#ifndef KOVRA_EFFECTS_EFFECTS_H
#define KOVRA_EFFECTS_EFFECTS_H

#include "Effect.h"

constexpr int EFFECT_COUNT = 16;

// 0: a cube, camera A on three faces and B on three, over the gradient backdrop.
class CubeEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override { m_angle = 0.0f; }

private:
    float m_angle = 0.0f;  // spin about the view axis, degrees
};

// 1: camera A mixed over camera B by Ctrl 1.
class CrossFadeEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 2: camera A left of a vertical boundary, camera B right of it.
class SplitXEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 3: camera A below a horizontal boundary, camera B above it.
class SplitYEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 4: camera A with its centre moved to (Ctrl 1, Ctrl 2), each quarter stretched to fit.
class QuadShiftEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 5: the left half of camera A and its mirror image, folded about the centre line.
class FoldEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 6: the strip A, B, A scrolling left.
class ScrollXEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override { m_offset = 0.0f; }

private:
    float m_offset = 0.0f;
};

// 7: the strip A, B, A scrolling down.
class ScrollYEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override { m_offset = 0.0f; }

private:
    float m_offset = 0.0f;
};

// 8: one camera's picture pushed in from the right over the other, then the roles swap.
class PushXEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override
    {
        m_bSwapped = 0;
        m_position = 4.0f;
    }

private:
    int m_bSwapped = 0;  // camera A is the background
    float m_position = 0.0f;
};

// 9: as 8, the picture coming down from above.
class PushYEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override
    {
        m_bSwapped = 0;
        m_position = 3.0f;
    }

private:
    int m_bSwapped = 0;
    float m_position = 0.0f;
};

// 10: a grid of nine spinning spheres showing camera A or B.
class SphereGridEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override { m_angle = 0.0f; }

private:
    float m_angle = 0.0f;
};

// 11: a spinning eight-sided funnel lined with camera A, seen through its open base.
class PyramidEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override { m_angle = 0.0f; }

private:
    float m_angle = 0.0f;
};

// 12: a turning floor of camera A under a ceiling of camera B.
class FloorCeilingEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
    void Reset() override { m_angle = 0.0f; }

private:
    float m_angle = 0.0f;
};

// 13: three translucent copies of camera A spread sideways.
class EchoEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 14: interleaved vertical slats of both cameras, separated in depth and turned.
class SlatsEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;
};

// 15: the word LIVE tumbling over the gradient backdrop. Keeps its angle across Reset, so
// the tumble carries on from where it stood whenever the effect is chosen again.
class TitleEffect final : public Effect {
public:
    void Draw(const EffectParams& params) override;

private:
    float m_angle = 0.0f;
};

#endif
