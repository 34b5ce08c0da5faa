// The main window: set-up and tear-down, the frame loop, the keyboard map, the menu bar
// and full screen.
#include "MainDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AboutDlg.h"
#include "CameraTexture.h"
#include "EffCtrlDlg.h"
#include "FrameClock.h"
#include "GlView.h"
#include "IniFile.h"
#include "KeyMap.h"
#include "KovraEff.h"
#include "MidiDeviceDlg.h"
#include "Resources.h"
#include "SettingsPath.h"
#include "StatusText.h"
#include "VideoCapture.h"

namespace {

// The picture area a new window opens with: the effects' 4:3 view at 640 x 480.
constexpr int kStartWidth = 640;
constexpr int kStartHeight = 480;

// The way out a View item turns on and off, or -1.
int WayOutOf(int id)
{
    switch (id) {
        case ID_VIEW_SEND:
            return CPictureOut::Send;
        case ID_VIEW_STREAM:
            return CPictureOut::Stream;
        case ID_VIEW_RECORD:
            return CPictureOut::Record;
        default:
            return -1;
    }
}

}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : QMainWindow(parent), m_hIcon(kIconPath)
{
    setWindowTitle(kProgramName);
    setWindowIcon(m_hIcon);
    m_performance.SetFrameKeyHandler(
        [this](int camera, int key, bool pressed) { FrameKey(camera, key, pressed); });
    m_midi.SetControlTarget(&m_midiControl);
    // The title shows the effect and the controls, not the record flag, which notes play
    // without allocating.
    connect(&m_performance, &CPerformance::Changed, this, [this](CPerformance::Value value) {
        if (value != CPerformance::Value::Record) UpdateTitle();
    });
    CGlView::Events events = PictureEvents();
    events.size = [this](int cx, int cy) { OnSize(cx, cy); };
    m_pDC = new CGlView(std::move(events));
    QWidget* container = QWidget::createWindowContainer(m_pDC, this);
    container->setFocusPolicy(Qt::StrongFocus);
    container->setMinimumSize(1, 1);
    setCentralWidget(container);
    m_frameLoop.SetOutTake([this](const uint8_t* rows, int stride, long long tickNs) {
        m_out.Push(rows, stride, tickNs);
    });
    BuildMenuBar();
    resize(kStartWidth, kStartHeight + menuBar()->sizeHint().height());

    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CMainDlg::OnTimer);
}

CGlView::Events CMainDlg::PictureEvents()
{
    return {[this](const QKeyEvent& event) { HandleKeyPress(event); },
            [this](const QKeyEvent& event) { HandleKeyRelease(event); },
            [this] { OnLButtonDown(); },
            [](int, int) {},
            [this] { HandleFocusLost(); },
            {}};
}

CMainDlg::CameraSlot CMainDlg::Slot(int camera)
{
    if (camera == 0) return {m_nDeviceA, m_memA, m_pPlaceholderA, kTextureA, m_cameraA, 0};
    return {m_nDeviceB, m_memB, m_pPlaceholderB, kTextureB, m_cameraB, 1};
}

CMainDlg::~CMainDlg()
{
    // Closing normally has torn everything down already; this covers a window that never
    // opened, such as one whose OpenGL set-up failed. The settings are not written then.
    m_bRunning = false;
    m_timer.stop();
}

void CMainDlg::BuildMenuBar()
{
    QMenu* menu = nullptr;
    const char* title = nullptr;
    for (int i = 0; i < g_menuBarSize; ++i) {
        const MenuEntry& entry = g_menuBar[i];
        QAction* action = nullptr;
        if (!entry.item) {
            action = menuBar()->addAction(entry.menu);
        } else {
            if (!title || std::string(title) != entry.menu) {
                menu = menuBar()->addMenu(entry.menu);
                title = entry.menu;
            }
            if (entry.id == ID_VIEW_SEND)
                connect(menu, &QMenu::aboutToShow, this, [this] { ShowWaysOut(true); });
            if (entry.id == 0) {
                menu->addSeparator();
                continue;
            }
            if (entry.id == ID_VIEW_OUTPUTSCREEN) {
                m_fullScreen.Screen().AttachMenu(menu->addMenu(entry.item));
                continue;
            }
            action = menu->addAction(entry.item);
            if (entry.id == ID_VIEW_PREVIEW) {
                action->setCheckable(true);
                action->setChecked(true);
                m_pPreviewItem = action;
            }
            if (const int way = WayOutOf(entry.id); way >= 0) {
                action->setCheckable(true);
                m_pWayItems[way] = action;
            }
        }
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
}

bool CMainDlg::Setup()
{
    ExchangeSettings(true);
    m_pPreviewItem->setChecked(m_frameLoop.Preview());
    ShowWaysOut(false);

    if (!m_frameLoop.Create(m_pDC)) return false;

    m_picture = UsablePictureSize(m_picture);
    const int w = m_picture.width;
    const int h = m_picture.height;
    CreateCameraTexture(kTextureA, m_picture.TextureWidth(), m_picture.TextureHeight());
    CreateCameraTexture(kTextureB, m_picture.TextureWidth(), m_picture.TextureHeight());
    m_pPlaceholderA = MakePlaceholder(200, 200, 255, w, h);
    m_pPlaceholderB = MakePlaceholder(255, 200, 200, w, h);

    for (int camera = 0; camera < 2; ++camera) {
        const CameraSlot slot = Slot(camera);
        slot.memory.m_nTargetWidth = w;
        slot.memory.m_nTargetHeight = h;
    }
    StartCameras();

    m_feedback.Begin(m_oscSettings.feedback);
    m_midi.Begin();
    OpenOsc();

    m_performance.SetEffectCount(KOVRAEFF_Init());

    m_dwFpsStart = timeGetTime();
    m_dwTickDue = m_dwFpsStart + static_cast<uint32_t>(m_nInterval);
    m_dwTickSeen = m_dwTickDue;
    m_timer.start(m_nInterval);
    m_bRunning = true;
    UpdateTitle();
    return true;
}

void CMainDlg::OnTimer()
{
    const uint32_t t0 = m_dwTickDue;
    if (m_bRunning) WatchCameras();
    if (m_bRunning) {
        const OutSize out = m_out.Size();
        m_frameLoop.SetOutSize(m_out.Active() ? PixelSize{out.width, out.height} : PixelSize{});
        // The ways out stamp each frame with the time the tick was planned for, widened past
        // the 32-bit clock's wrap after 49.7 days.
        m_llTickMs += static_cast<uint32_t>(t0 - m_dwTickSeen);
        m_dwTickSeen = t0;
        m_frameLoop.Tick(m_llTickMs * 1000000);
    }
    const TickPlan plan = PlanNextTick(t0, timeGetTime(), m_nInterval);
    m_dwTickDue = plan.nextDue;
    m_timer.start(plan.delayMs);

    ++m_nFrameCount;
    if (timeGetTime() - m_dwFpsStart > 5000u) {
        m_fFps = static_cast<float>(m_nFrameCount) * 0.2f;
        m_nFrameCount = 0;
        m_dwFpsStart = timeGetTime();
        UpdateTitle();
    }
}

bool CMainDlg::OnScreen() const
{
    // A window that is minimised or not yet mapped has nothing to present. The main window
    // answers for the picture: on Wayland the picture is a subsurface, and Qt reports it
    // exposed only after a resize of its own and only while the compositor sends it frame
    // callbacks, which a compositor need not do (weston 10 sends none): asked itself, it
    // would stay hidden for good. The swap never waits for the compositor (interval 0).
    const QWindow* window = windowHandle();
    return window && window->isExposed();
}

void CMainDlg::DrawFrame()
{
    PickPicture(Slot(0));
    PickPicture(Slot(1));

    EffectParams params = {};
    params.ctrl1 = m_performance.Ctrl1();
    params.ctrl2 = m_performance.Ctrl2();
    params.texA = kTextureA;
    params.maxSA = 1.0f;
    params.maxTA = 0.75f;
    params.texB = kTextureB;
    params.maxSB = 1.0f;
    params.maxTB = 0.75f;

    const int effect = m_performance.Effect();
    if (effect != m_nLastEffect) {
        m_nLastEffect = effect;
        KOVRAEFF_Reset(effect);
    }
    KOVRAEFF_Draw(effect, &params);
}

void CMainDlg::PickPicture(const CameraSlot& slot)
{
    const uint8_t* picture = nullptr;
    if (slot.device == 0) {
        picture = slot.placeholder.empty() ? nullptr : slot.placeholder.data();
    } else if (slot.memory.Shown() >= 0) {
        picture = slot.memory.StoredPicture(slot.memory.Shown());
    } else {
        slot.memory.Update();
        picture = slot.memory.Picture();
    }
    if (picture)
        UploadCameraPicture(slot.texture, picture, 1, 0, m_picture.width, m_picture.height);
}

void CMainDlg::OnSize(int cx, int cy)
{
    // The picture stretches with the window: each tick sets the viewport to its size.
    if (cx > 0 && cy > 0) m_frameLoop.MainResized();
}

void CMainDlg::closeEvent(QCloseEvent* event)
{
    OnDestroy();
    QMainWindow::closeEvent(event);
}

void CMainDlg::OnDestroy()
{
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    ExchangeSettings(false);
    m_bRunning = false;
    m_timer.stop();
    StopCameras();
    m_midi.Finish();
    m_osc.reset();
    m_feedback.End();
    m_out.StopAll();
    m_pPlaceholderA = {};
    m_pPlaceholderB = {};
    m_fullScreen.CloseOutput();
    m_frameLoop.Destroy();
}

void CMainDlg::ExchangeSettings(bool load)
{
    struct Setting {
        const char* section;
        const char* key;
        int* value;
    };
    const Setting settings[] = {
        {"CAMERA", "DEVICE1", &m_nDeviceA},
        {"CAMERA", "DEVICE2", &m_nDeviceB},
    };
    // One read for all six at start and one atomic write for all six at the end.
    IniProfile profile(m_settingsPath);
    if (load) {
        RemoveStaleIniTempFiles(m_settingsPath);
        m_midi.SetSettingsPath(m_settingsPath);
        m_midi.ExchangeSettings(profile, true);
        m_oscSettings.Load(profile);
        for (const Setting& s : settings) *s.value = profile.GetInt(s.section, s.key, 0);
        std::string picture;
        m_picture = profile.GetString("CAMERA", "PICTURE", picture) ? ParsePictureSize(picture)
                                                                    : PictureSize();
        ExchangeCameraSettings(profile, true);
        m_frameLoop.ExchangeSettings(profile, true);
        m_fullScreen.Screen().ExchangeSettings(profile, true);
        m_out.ExchangeSettings(profile, true);
        return;
    }
    m_midi.ExchangeSettings(profile, false);
    m_oscSettings.Save(profile);
    for (const Setting& s : settings) profile.Set(s.section, s.key, std::to_string(*s.value));
    ExchangeCameraSettings(profile, false);
    m_frameLoop.ExchangeSettings(profile, false);
    m_fullScreen.Screen().ExchangeSettings(profile, false);
    m_out.ExchangeSettings(profile, false);
    // A failed write (read-only or foreign file, missing folder) is ignored without a word.
    MakeSettingsFolder(m_settingsPath);  // the user's folder on the first write
    profile.Commit();
}

void CMainDlg::ShowWaysOut(bool opening)
{
    for (int way = 0; way < CPictureOut::kWays; ++way) {
        QAction* item = m_pWayItems[way];
        if (!item) continue;
        item->setChecked(m_out.Wanted(static_cast<CPictureOut::Way>(way)));
        // Greyed out while nothing could take the picture; an item that is on can always be
        // turned off.
        if (opening)
            item->setEnabled(item->isChecked() ||
                             (way == CPictureOut::Send ? CPictureOut::SendAvailable()
                                                       : CPictureOut::EncoderAvailable()));
    }
    m_feedback.FollowToggles();  // a wish changed: by the menu, a control, or by itself
}

void CMainDlg::UpdateTitle()
{
    const std::string status =
        StatusText(m_performance.Effect(), m_performance.Ctrl1(), m_performance.Ctrl2(), m_fFps);
    setWindowTitle(QString::fromStdString(m_out.Recording() ? status + " REC" : status));
    // Where Qt draws the title bar itself (Wayland without server-side decorations) it
    // redraws it only with the window's contents: repaint the menu bar.
    menuBar()->update();
}

void CMainDlg::FrameKey(int camera, int key, bool pressed)
{
    const CameraSlot slot = Slot(camera);
    if (slot.device != 0) slot.memory.KeyEvent(key, pressed, m_performance.Record());
}

void CMainDlg::PlayMemoryKey(int nChar, bool pressed)
{
    int camera = 0;
    int key = 0;
    if (nChar == VK_SHIFT) {
        m_midi.RecordTaken();  // Shift has the flag now
        m_performance.SetRecord(pressed, ChangeSource::Keys);
    } else if (FrameMemoryKey(nChar, camera, key)) {
        FrameKey(camera, key, pressed);
    }
}

void CMainDlg::HandleKeyPress(const QKeyEvent& event)
{
    const int key = VirtualKeyOf(event);
    const bool alreadyDown = m_keys.Press(key, event.isAutoRepeat());
    // Still counted as down, so that its release reaches OnKeyUp as every release does.
    if (IsSystemKeyDown(event)) return;
    OnKeyDown(key, alreadyDown);
}

void CMainDlg::HandleKeyRelease(const QKeyEvent& event)
{
    const int key = VirtualKeyOf(event);
    if (m_keys.Release(key, event.isAutoRepeat())) OnKeyUp(key);
}

void CMainDlg::keyPressEvent(QKeyEvent* event) { HandleKeyPress(*event); }

void CMainDlg::keyReleaseEvent(QKeyEvent* event) { HandleKeyRelease(*event); }

void CMainDlg::OnKeyDown(int nChar, bool alreadyDown)
{
    CPerformance& p = m_performance;
    switch (nChar) {
        case 'C':
            p.SetCtrl1(p.Ctrl1() - 1, ChangeSource::Keys);
            break;
        case 'V':
            p.SetCtrl1(p.Ctrl1() + 1, ChangeSource::Keys);
            break;
        case 'B':
            p.SetCtrl2(p.Ctrl2() - 1, ChangeSource::Keys);
            break;
        case 'N':
            p.SetCtrl2(p.Ctrl2() + 1, ChangeSource::Keys);
            break;
        case 'Z':
            p.SetEffect(p.Effect() - 1, ChangeSource::Keys);
            break;
        case 'X':
            p.SetEffect(p.Effect() + 1, ChangeSource::Keys);
            break;
        default:
            break;
    }

    if (!alreadyDown) PlayMemoryKey(nChar, true);
    // Any key down shows the title anew, as it always has (the rate may have moved on).
    UpdateTitle();

    // Like any dialog, the main window ends on Enter and Escape.
    if (nChar == VK_RETURN || nChar == VK_ESCAPE) close();
}

void CMainDlg::OnKeyUp(int nChar) { PlayMemoryKey(nChar, false); }

void CMainDlg::OnLButtonDown() { ToggleFullScreen(); }

void CMainDlg::OnCommand(int id)
{
    switch (id) {
        case ID_VIEW_FULLSCREEN:
            ToggleFullScreen();
            break;
        case ID_VIEW_PREVIEW:
            m_frameLoop.SetPreview(m_pPreviewItem->isChecked());
            break;
        case ID_VIEW_SEND:
        case ID_VIEW_STREAM:
        case ID_VIEW_RECORD: {
            const int way = WayOutOf(id);
            m_out.Set(static_cast<CPictureOut::Way>(way), m_pWayItems[way]->isChecked());
            m_feedback.FollowToggles();
            break;
        }
        case ID_VIEW_CONTROL:
            OpenEffectControl();
            break;
        case ID_VIEW_ABOUT:
            ShowAbout();
            break;
        case ID_VIEW_EXIT:
            // Posted, so the menu finishes before the window goes.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            break;
        case ID_CAMERAA_DEVICE:
            OnCameraDevice(Slot(0), m_nDeviceB);
            break;
        case ID_CAMERAB_DEVICE:
            OnCameraDevice(Slot(1), m_nDeviceA);
            break;
        case ID_CAMERAA_PIN:
            OnCameraPin(Slot(0));
            break;
        case ID_CAMERAB_PIN:
            OnCameraPin(Slot(1));
            break;
        case ID_CAMERAA_FILTER:
            OnCameraFilter(Slot(0));
            break;
        case ID_CAMERAB_FILTER:
            OnCameraFilter(Slot(1));
            break;
        case ID_MIDI:
            OnMidi();
            break;
        default:
            break;
    }
}

void CMainDlg::OnCameraFilter(const CameraSlot& slot)
{
    // The camera keeps running behind its controls.
    if (slot.device == 0 || !slot.memory.Capture()) return;
    slot.memory.Capture()->ShowFilterPages(this);
}

void CMainDlg::OnMidi()
{
    m_midi.BeginDialog();
    CMidiDeviceDlg dlg(m_midi, this);
    dlg.SetOscPort(m_oscSettings.port);
    const bool ok = dlg.exec() == QDialog::Accepted;  // the MIDI values set through the session
    m_midi.EndDialog();
    if (ok && dlg.OscPort() != m_oscSettings.port) {
        m_oscSettings.port = dlg.OscPort();
        m_osc.reset();  // its port let go of first: the new one may be the same
        OpenOsc();
    }
}

void CMainDlg::PostShortMessage(uint32_t message) { OnMidiInData(message); }

void CMainDlg::PostLongData(MidiHeader* header) { OnMidiInLongData(header); }

void CMainDlg::OnMidiInData(uint32_t message) { m_midi.OnData(message); }

void CMainDlg::OnMidiInLongData(MidiHeader* header) { m_midi.OnLongData(header); }

void CMainDlg::ShowAbout()
{
    // Windows puts About in the window's system menu too; X window managers have no such
    // menu for programs to extend, so it lives in the View menu alone.
    CAboutDlg about(this);
    about.exec();
}

void CMainDlg::OpenEffectControl()
{
    if (m_pEffCtrlDlg) return;
    CEffCtrlDlg* const dlg = new CEffCtrlDlg;
    m_pEffCtrlDlg = dlg;
    CEffCtrlDlg::Host host;
    host.playMemoryKey = [this](int nChar, bool pressed) { PlayMemoryKey(nChar, pressed); };
    host.gone = [this, dlg] {
        if (m_pEffCtrlDlg == dlg) m_pEffCtrlDlg = nullptr;
    };
    if (!dlg->Open(this, std::move(host))) {
        delete dlg;
        m_pEffCtrlDlg = nullptr;
        return;
    }
    dlg->Bind(m_performance);
}

void CMainDlg::OpenOsc()
{
    if (m_oscSettings.port == 0) return;
    m_osc = std::make_unique<OscReceiver>(m_oscControl, m_oscSettings.remoteOutputs);
    std::string error;
    if (m_osc->Open(m_oscSettings.address, m_oscSettings.port, error)) return;
    std::fprintf(stderr, "%s\n", error.c_str());  // and the show goes on without OSC
    m_osc.reset();
}

void CMainDlg::ToggleFullScreen() { m_fullScreen.Toggle(); }

void CMainDlg::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) m_fullScreen.OnWindowStateChange();
}
