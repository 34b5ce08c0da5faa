// Each tick's picture: drawn once, and shown in every view that needs it. One view at the
// render size is drawn straight into its window; an output larger than the render cap, or an
// output window beside the performer's preview, takes the offscreen picture and one textured
// draw per view. Owns the program's OpenGL contexts: one per window, sharing their textures,
// since a context moved between two windows makes the renderer set each one up afresh at
// every tick. While a way out of the picture is on, every tick draws at the ways out's fixed
// size into an offscreen picture, reads it back once, and every view shows it scaled. Used on
// the user-interface thread.
#ifndef KOVRA_APP_FRAMELOOP_H
#define KOVRA_APP_FRAMELOOP_H

#include <QOpenGLContext>
#include <QWindow>
#include <functional>
#include <memory>

#include "PictureReadback.h"
#include "RenderSize.h"
#include "RenderTarget.h"

class IniProfile;

class CFrameLoop {
public:
    // `draw` draws the effect into the bound framebuffer with the viewport set;
    // `mainOnScreen` says whether presenting the main window's picture is worth a swap.
    CFrameLoop(std::function<void()> draw, std::function<bool()> mainOnScreen);
    ~CFrameLoop();

    // Makes the context with the main window's picture current; false without OpenGL.
    bool Create(QWindow* main);
    void Destroy();
    // The context current with the main view, for set-up work; false without one.
    bool MakeCurrent();

    // The output window while it shows the show, else null: its context is made with it
    // and goes with it.
    void SetOutput(QWindow* output);
    // The performer's preview in the main window while the output window is up; off, the main
    // window is black and costs nothing.
    void SetPreview(bool on);
    bool Preview() const { return m_bPreview; }
    // The main window's picture area changed size: a black preview is drawn again.
    void MainResized();
    void SetRenderCap(int cap) { m_nRenderCap = cap; }
    // RENDER and PREVIEW of the [OUTPUT] section. RENDER is read only: the program never
    // changes it, so the user's own text stays as written.
    void ExchangeSettings(IniProfile& profile, bool load);

    // The ways out: while `size` is not empty, each tick's picture is drawn at it and handed to
    // `take` once read back; empty, nothing is read back and the views are drawn as before.
    void SetOutSize(PixelSize size);
    void SetOutTake(CPictureReadback::Take take) { m_outTake = std::move(take); }
    PixelSize OutPictureSize() const { return m_outSize; }

    // One tick: the draw, then each view shown. `tickNs` is the tick's time on the tick's own
    // clock, which the ways out stamp their frames with (now, when not given).
    void Tick(long long tickNs = -1);

    // How the tick with two views shows the picture (for the benchmark): through the
    // offscreen picture, or drawn into the output and copied for the preview.
    enum class TwoViews { Offscreen, CopyForPreview };
    void SetTwoViews(TwoViews how) { m_twoViews = how; }
    // The last tick's parts in milliseconds, with the renderer finished after each part
    // (for the benchmark; off, the parts are neither timed nor waited for).
    struct Times {
        double draw = 0, upscale = 0, swap = 0, readback = 0;
    };
    void SetTimed(bool timed) { m_bTimed = timed; }
    const Times& LastTimes() const { return m_times; }
    // The last tick's own time on the user-interface thread in milliseconds, as it runs
    // (nothing finished or waited for beyond what the tick does itself).
    double LastTickMs() const { return m_lastTickMs; }

private:
    // A window, the context that draws into it, and that context's offscreen picture.
    struct View {
        QWindow* window = nullptr;
        std::unique_ptr<QOpenGLContext> context;
        CRenderTarget target;  // freed with its context current, before the context goes
        PixelSize Size() const;
        bool Use() const;
        // A context of the program's format for `surface`, sharing `share`'s textures if
        // given; false, with none kept, when the driver gives none.
        bool Make(QWindow* surface, QOpenGLContext* share);
        void Free();
    };

    // Tick's own work: the draw and each view shown.
    void TickViews(long long tickNs);
    // The picture for one view, drawn at the render size: straight in, or offscreen and
    // scaled up.
    void DrawInto(View& view);
    // The effect drawn into the bound window over `size`.
    void DrawStraight(PixelSize size);
    // The effect drawn into the view's offscreen picture, then shown over `size` of its window.
    void DrawScaled(View& view, PixelSize size);
    void TickBoth();
    // The tick while a way out is on: drawn at its size, read back, shown scaled in each view;
    // false when no framebuffer of that size can be had.
    bool TickOut(long long tickNs);
    void ShowOut(View& view);
    void FreeOut();
    void BlackenMain();
    void Present(const View& view, bool shown);
    void Mark(double& part);

    const std::function<void()> m_draw;
    const std::function<bool()> m_mainOnScreen;
    View m_main;
    View m_output;
    bool m_bPreview = true;
    bool m_bPreviewInFile = false;
    bool m_bMainBlack = false;  // the main window was cleared once for a preview that is off
    int m_nRenderCap = kDefaultRenderCap;
    TwoViews m_twoViews = TwoViews::CopyForPreview;
    bool m_bTimed = false;
    Times m_times;
    long long m_markNs = 0;
    double m_lastTickMs = 0;
    // The ways out's picture, in the main context (its texture is shared with the output's).
    PixelSize m_outSize;
    CRenderTarget m_outTarget;
    CPictureReadback m_readback;
    CPictureReadback::Take m_outTake;
};

#endif
