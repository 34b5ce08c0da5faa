// Each tick's picture and the views that show it; see FrameLoop.h.
#include "FrameLoop.h"

#include <QWindow>
#include <chrono>
#include <string>
#include <utility>

#include "GlView.h"
#include "IniFile.h"

namespace {

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CFrameLoop::CFrameLoop(std::function<void()> draw, std::function<bool()> mainOnScreen)
    : m_draw(std::move(draw)), m_mainOnScreen(std::move(mainOnScreen))
{
}

CFrameLoop::~CFrameLoop() { Destroy(); }

PixelSize CFrameLoop::View::Size() const
{
    const qreal ratio = window->devicePixelRatio();
    return {static_cast<int>(window->width() * ratio), static_cast<int>(window->height() * ratio)};
}

bool CFrameLoop::View::Use() const { return context && context->makeCurrent(window); }

bool CFrameLoop::View::Make(QWindow* surface, QOpenGLContext* share)
{
    window = surface;
    surface->create();
    context = std::make_unique<QOpenGLContext>();
    context->setFormat(CGlView::Format());
    if (share) context->setShareContext(share);
    if (!context->create()) context.reset();
    return context != nullptr;
}

void CFrameLoop::View::Free()
{
    if (!context) return;
    if (Use()) target.Free();
    context->doneCurrent();
    context.reset();
}

bool CFrameLoop::Create(QWindow* main)
{
    Destroy();
    if (m_main.Make(main, nullptr) && m_main.Use()) return true;
    m_main.context.reset();
    return false;
}

void CFrameLoop::Destroy()
{
    SetOutput(nullptr);
    FreeOut();
    m_main.Free();
}

bool CFrameLoop::MakeCurrent() { return m_main.Use(); }

void CFrameLoop::SetOutput(QWindow* output)
{
    m_bMainBlack = false;
    if (output == m_output.window) return;
    m_output.Free();
    m_output.window = output;
    // Without a context of its own the output shows nothing; the main window plays on.
    if (output && m_main.context) m_output.Make(output, m_main.context.get());
}

void CFrameLoop::MainResized() { m_bMainBlack = false; }

void CFrameLoop::SetPreview(bool on)
{
    m_bPreview = on;
    m_bMainBlack = false;
}

void CFrameLoop::ExchangeSettings(IniProfile& profile, bool load)
{
    if (load) {
        std::string text;
        m_nRenderCap =
            profile.GetString("OUTPUT", "RENDER", text) ? ParseRenderCap(text) : kDefaultRenderCap;
        m_bPreviewInFile = profile.GetString("OUTPUT", "PREVIEW", text);
        m_bPreview = !m_bPreviewInFile || text != "0";
        return;
    }
    // A file of before the preview gets the key only once it is turned off.
    if (m_bPreviewInFile || !m_bPreview) profile.Set("OUTPUT", "PREVIEW", m_bPreview ? "1" : "0");
}

void CFrameLoop::SetOutSize(PixelSize size)
{
    if (size == m_outSize) return;
    m_outSize = size;
    m_bMainBlack = false;
    if (size.width <= 0 || size.height <= 0) FreeOut();
}

void CFrameLoop::FreeOut()
{
    m_outSize = {};
    if (!m_main.Use()) return;
    m_outTarget.Free();
    m_readback.Free();
}

void CFrameLoop::Tick(long long tickNs)
{
    if (!m_main.context) return;
    const long long startNs = NowNs();
    TickViews(tickNs);
    m_lastTickMs = static_cast<double>(NowNs() - startNs) / 1e6;
}

void CFrameLoop::TickViews(long long tickNs)
{
    m_times = {};
    m_markNs = m_bTimed ? NowNs() : 0;
    // Without a framebuffer of the ways out's size, the views are drawn as without them.
    if (m_outSize.width > 0 && m_outSize.height > 0 && TickOut(tickNs < 0 ? NowNs() : tickNs))
        return;
    // The output window counts from its first exposure: before, it has no size to draw at.
    if (m_output.context && m_output.window->isExposed()) {
        if (m_bPreview && m_mainOnScreen()) {
            TickBoth();
            return;
        }
        BlackenMain();
        DrawInto(m_output);
        Present(m_output, true);
        return;
    }
    DrawInto(m_main);
    Present(m_main, m_mainOnScreen());
}

void CFrameLoop::DrawInto(View& view)
{
    const PixelSize size = view.Size();
    if (!view.Use() || size.width <= 0 || size.height <= 0) return;
    const PixelSize render = RenderSizeFor(size, m_nRenderCap);
    if (render == size || !view.target.Ensure(render)) {
        // Straight into the window, as without a cap: no extra copy.
        DrawStraight(size);
        return;
    }
    DrawScaled(view, size);
    Mark(m_times.upscale);
}

void CFrameLoop::DrawStraight(PixelSize size)
{
    glViewport(0, 0, size.width, size.height);
    m_draw();
    Mark(m_times.draw);
}

void CFrameLoop::DrawScaled(View& view, PixelSize size)
{
    view.target.Bind();
    m_draw();
    Mark(m_times.draw);
    CRenderTarget::BindWindow(size);
    view.target.Show();
}

void CFrameLoop::TickBoth()
{
    m_bMainBlack = false;
    const PixelSize outputSize = m_output.Size();
    const PixelSize render = RenderSizeFor(outputSize, m_nRenderCap);
    if (!m_output.Use() || outputSize.width <= 0 || outputSize.height <= 0 ||
        !m_output.target.Ensure(render)) {
        DrawInto(m_main);
        Present(m_main, true);
        return;
    }
    if (m_twoViews == TwoViews::CopyForPreview && render == outputSize) {
        DrawStraight(outputSize);
        m_output.target.CopyFromBound();
    } else {
        DrawScaled(m_output, outputSize);
    }
    Mark(m_times.upscale);
    Present(m_output, true);
    // The output's picture is a texture the main window's context shares.
    if (!m_main.Use()) return;
    CRenderTarget::BindWindow(m_main.Size());
    m_output.target.Show();
    Mark(m_times.upscale);
    Present(m_main, true);
}

bool CFrameLoop::TickOut(long long tickNs)
{
    const bool outputUp = m_output.context && m_output.window->isExposed();
    if (!outputUp && m_mainOnScreen() && m_main.Size() == m_outSize && m_main.Use()) {
        // The window alone, at the ways out's size: the picture drawn into it is theirs, read
        // back before the swap, with no offscreen picture to show.
        m_bMainBlack = false;
        CRenderTarget::BindWindow(m_outSize);
        m_draw();
        Mark(m_times.draw);
        m_readback.Read(m_outSize, tickNs, m_outTake);
        Mark(m_times.readback);
        Present(m_main, true);
        return true;
    }
    if (!m_main.Use() || !m_outTarget.Ensure(m_outSize)) return false;
    // Drawn every tick, shown or not: the ways out take every frame.
    m_outTarget.Bind();
    m_draw();
    Mark(m_times.draw);
    m_readback.Read(m_outSize, tickNs, m_outTake);
    Mark(m_times.readback);
    if (outputUp) {
        // The other context reads the texture this one drew.
        glFlush();
        ShowOut(m_output);
    }
    if (m_mainOnScreen() && (!outputUp || m_bPreview)) {
        m_bMainBlack = false;
        ShowOut(m_main);
    } else if (outputUp) {
        BlackenMain();
    }
    return true;
}

void CFrameLoop::ShowOut(View& view)
{
    const PixelSize size = view.Size();
    if (!view.Use() || size.width <= 0 || size.height <= 0) return;
    CRenderTarget::BindWindow(size);
    m_outTarget.Show();
    Mark(m_times.upscale);
    Present(view, true);
}

void CFrameLoop::BlackenMain()
{
    // Once per change: a preview that is off costs no tick.
    if (m_bMainBlack || !m_mainOnScreen() || !m_main.Use()) return;
    CRenderTarget::BindWindow(m_main.Size());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    m_main.context->swapBuffers(m_main.window);
    m_bMainBlack = true;
}

void CFrameLoop::Present(const View& view, bool shown)
{
    if (!shown) return;
    view.context->swapBuffers(view.window);
    Mark(m_times.swap);
}

void CFrameLoop::Mark(double& part)
{
    if (!m_bTimed) return;
    glFinish();
    const long long now = NowNs();
    part += static_cast<double>(now - m_markNs) / 1e6;
    m_markNs = now;
}
