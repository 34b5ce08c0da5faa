// The effect base class and the drawing steps that every effect shares: the frame set-up,
// control scaling, angle wrapping and the textured picture quad.
#ifndef KOVRA_EFFECTS_EFFECT_H
#define KOVRA_EFFECTS_EFFECT_H

#include "KovraEff.h"

// Every effect is a single static object that lives as long as the library, so the base
// has no virtual destructor; its protected destructor keeps anyone from deleting through it.
class Effect {
public:
    // Clears the frame and draws one frame, advancing the animation by one step first.
    virtual void Draw(const EffectParams& params) = 0;
    // Returns the animation to its starting state; effects without state keep this one.
    virtual void Reset() {}

protected:
    Effect() = default;
    ~Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;
};

// Turns a control value 0..127 into 0.0..1.0.
constexpr float kCtrlScale = 0.007874016f;
// The push effects' speed factor (1/255): at most about half a picture width per frame.
constexpr float kPushScale = 0.003921569f;

// Clear to opaque black, the 45-degree 4:3 projection with the given far plane, identity
// model-view and white colour. The effect's own viewing translation follows.
void BeginFrame(double farPlane);

// Adds the step; a result of 360 or more comes back by one turn (steps never exceed 25).
float AdvanceAngle(float angle, float step);

// A rectangle in the z = 0 plane, lower left (x0, y0) to upper right (x1, y1).
struct QuadRect {
    float x0, y0, x1, y1;
};

// The full 4:3 view at the usual 3.6 units' distance.
constexpr QuadRect kFullView = {-2.0f, -1.5f, 2.0f, 1.5f};

// One GL_QUADS primitive showing the picture whole: (0, 0) lower left, (s, 0) lower right,
// (s, t) upper right, (0, t) upper left. Texturing must be enabled and the texture bound.
void DrawPictureQuad(const QuadRect& rect, float s, float t);

// As DrawPictureQuad, with colour (1, 1, 1, alpha) issued before each corner.
void DrawTranslucentQuad(const QuadRect& rect, float s, float t, float alpha);

// The whole picture over the full view at `alpha`, added onto what is drawn: the frame is
// cleared to alpha 1, so the destination factor is 1. Texturing and blending are off again
// afterwards.
void AddTranslucentPicture(unsigned texture, float s, float t, float alpha);

// White at the bottom fading to black at the top, filling the view 6.6 units away. Drawn
// before depth testing is on, so it writes no depth and never hides what follows.
void DrawGradientBackdrop();

#endif
