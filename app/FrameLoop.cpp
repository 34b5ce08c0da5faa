// Each tick's picture and the views that show it; see FrameLoop.h.
#include "FrameLoop.h"

#include <QWindow>
#include <chrono>
#include <string>
#include <utility>

#include "GlView.h"
#include "IniFile.h"

namespace {

PixelSize DevicePixels(const QWindow* window)
{
    const qreal ratio = window->devicePixelRatio();
    return {static_cast<int>(window->width() * ratio), static_cast<int>(window->height() * ratio)};
}

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

bool CFrameLoop::Create(QWindow* main)
{
    Destroy();
    m_main = main;
    m_main->create();
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setFormat(CGlView::Format());
    if (!m_context->create() || !m_context->makeCurrent(m_main)) {
        m_context.reset();
        return false;
    }
    return true;
}

void CFrameLoop::Destroy()
{
    if (!m_context) return;
    if (m_context->makeCurrent(m_main)) m_target.Free();
    m_context->doneCurrent();
    m_context.reset();
}

bool CFrameLoop::MakeCurrent() { return m_context && m_context->makeCurrent(m_main); }

void CFrameLoop::SetOutput(QWindow* output)
{
    m_output = output;
    m_bMainBlack = false;
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
        m_nRenderCap = profile.GetString("OUTPUT", "RENDER", text) ? ParseRenderCap(text)
                                                                    : kDefaultRenderCap;
        m_bPreviewInFile = profile.GetString("OUTPUT", "PREVIEW", text);
        m_bPreview = !m_bPreviewInFile || text != "0";
        return;
    }
    // A file of before the preview gets the key only once it is turned off.
    if (m_bPreviewInFile || !m_bPreview) profile.Set("OUTPUT", "PREVIEW", m_bPreview ? "1" : "0");
}

void CFrameLoop::Tick()
{
    if (!m_context) return;
    m_times = {};
    m_markNs = m_bTimed ? NowNs() : 0;
    // The output window counts from its first exposure: before, it has no size to draw at.
    if (m_output && m_output->isExposed()) {
        const PixelSize outputSize = DevicePixels(m_output);
        if (m_bPreview && m_mainOnScreen()) {
            TickBoth(outputSize);
            return;
        }
        BlackenMain();
        DrawInto(m_output, outputSize);
        Present(m_output, true);
        return;
    }
    DrawInto(m_main, DevicePixels(m_main));
    Present(m_main, m_mainOnScreen());
}

void CFrameLoop::DrawInto(QWindow* surface, PixelSize size)
{
    if (!m_context->makeCurrent(surface) || size.width <= 0 || size.height <= 0) return;
    const PixelSize render = RenderSizeFor(size, m_nRenderCap);
    if (render == size || !m_target.Ensure(render)) {
        // Straight into the window, as without a cap: no extra copy.
        glViewport(0, 0, size.width, size.height);
        m_draw();
        Mark(m_times.draw);
        return;
    }
    m_target.Bind();
    m_draw();
    Mark(m_times.draw);
    CRenderTarget::BindWindow(size);
    m_target.Show();
    Mark(m_times.upscale);
}

void CFrameLoop::TickBoth(PixelSize outputSize)
{
    m_bMainBlack = false;
    const PixelSize render = RenderSizeFor(outputSize, m_nRenderCap);
    if (!m_context->makeCurrent(m_output) || outputSize.width <= 0 || outputSize.height <= 0 ||
        !m_target.Ensure(render)) {
        DrawInto(m_main, DevicePixels(m_main));
        Present(m_main, true);
        return;
    }
    if (m_twoViews == TwoViews::CopyForPreview && render == outputSize) {
        glViewport(0, 0, outputSize.width, outputSize.height);
        m_draw();
        Mark(m_times.draw);
        m_target.CopyFromBound();
    } else {
        m_target.Bind();
        m_draw();
        Mark(m_times.draw);
        CRenderTarget::BindWindow(outputSize);
        m_target.Show();
    }
    Mark(m_times.upscale);
    Present(m_output, true);
    if (!m_context->makeCurrent(m_main)) return;
    const PixelSize mainSize = DevicePixels(m_main);
    glViewport(0, 0, mainSize.width, mainSize.height);
    m_target.Show();
    Mark(m_times.upscale);
    Present(m_main, true);
}

void CFrameLoop::BlackenMain()
{
    // Once per change: a preview that is off costs no tick.
    if (m_bMainBlack || !m_mainOnScreen() || !m_context->makeCurrent(m_main)) return;
    const PixelSize size = DevicePixels(m_main);
    glViewport(0, 0, size.width, size.height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    m_context->swapBuffers(m_main);
    m_bMainBlack = true;
}

void CFrameLoop::Present(QWindow* surface, bool shown)
{
    if (!shown) return;
    m_context->swapBuffers(surface);
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
