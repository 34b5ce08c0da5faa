// The main window: set-up and tear-down, the frame loop, the keyboard map, the menu bar
// and full screen.
#include "MainDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <algorithm>
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
#include "MidiIn.h"
#include "MidiPortNames.h"
#include "Resources.h"
#include "SettingsPath.h"
#include "StatusText.h"
#include "VideoCapture.h"

namespace {

// The picture area a new window opens with: the effects' 4:3 view at 640 x 480.
constexpr int kStartWidth = 640;
constexpr int kStartHeight = 480;

// The MIDI message classes the input accepts: notes, Control Change, Program Change.
constexpr unsigned kMidiFilter = 13;
// How often the MIDI ports are looked at for a controller unplugged or plugged in again.
constexpr int kMidiWatchMs = 500;

}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : QMainWindow(parent), m_hIcon(kIconPath)
{
    setWindowTitle(kProgramName);
    setWindowIcon(m_hIcon);
    m_performance.SetFrameKeyHandler(
        [this](int camera, int key, bool pressed) { FrameKey(camera, key, pressed); });
    // The title shows the effect and the controls, not the record flag, which notes play
    // without allocating.
    connect(&m_performance, &CPerformance::Changed, this, [this](CPerformance::Value value) {
        if (value != CPerformance::Value::Record) UpdateTitle();
    });
    m_pDC = new CGlView({[this](const QKeyEvent& event) { HandleKeyPress(event); },
                         [this](const QKeyEvent& event) { HandleKeyRelease(event); },
                         [this] { OnLButtonDown(); }, [this](int cx, int cy) { OnSize(cx, cy); },
                         [this] { HandleFocusLost(); }});
    QWidget* container = QWidget::createWindowContainer(m_pDC, this);
    container->setFocusPolicy(Qt::StrongFocus);
    container->setMinimumSize(1, 1);
    setCentralWidget(container);
    BuildMenuBar();
    resize(kStartWidth, kStartHeight + menuBar()->sizeHint().height());

    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CMainDlg::OnTimer);
    m_midiWatch.setInterval(kMidiWatchMs);
    connect(&m_midiWatch, &QTimer::timeout, this, &CMainDlg::OnMidiWatch);
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
    if (m_hRC) m_hRC->doneCurrent();
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
            if (entry.id == 0) {
                menu->addSeparator();
                continue;
            }
            action = menu->addAction(entry.item);
        }
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
}

bool CMainDlg::Setup()
{
    ExchangeSettings(true);

    if (m_hRC) {
        m_hRC->doneCurrent();
        m_hRC.reset();
    }
    m_pDC->create();
    m_hRC = std::make_unique<QOpenGLContext>();
    m_hRC->setFormat(CGlView::Format());
    if (!m_hRC->create() || !m_hRC->makeCurrent(m_pDC)) {
        m_hRC.reset();
        return false;
    }
    OnSize(m_pDC->width() * m_pDC->devicePixelRatio(), m_pDC->height() * m_pDC->devicePixelRatio());

    CreateCameraTexture(kTextureA, kTextureSize, kTextureSize);
    CreateCameraTexture(kTextureB, kTextureSize, kTextureSize);
    m_pPlaceholderA = MakePlaceholder(200, 200, 255);
    m_pPlaceholderB = MakePlaceholder(255, 200, 200);

    for (int camera = 0; camera < 2; ++camera) {
        const CameraSlot slot = Slot(camera);
        slot.memory.m_nTargetWidth = kPictureWidth;
        slot.memory.m_nTargetHeight = kPictureHeight;
    }
    StartCameras();

    m_nMidiFilter = kMidiFilter;
    g_midiIn.SetFilterSource(&m_nMidiFilter);
    g_midiIn.SetDeviceIdSource(&m_nMidiDevice);
    OpenMidiInput();
    m_midiWatch.start();

    m_performance.SetEffectCount(KOVRAEFF_Init());

    m_dwFpsStart = timeGetTime();
    m_dwTickDue = m_dwFpsStart + static_cast<uint32_t>(m_nInterval);
    m_timer.start(m_nInterval);
    m_bRunning = true;
    UpdateTitle();
    return true;
}

void CMainDlg::OnTimer()
{
    const uint32_t t0 = m_dwTickDue;
    if (m_bRunning) WatchCameras();
    if (m_bRunning && m_hRC && m_hRC->makeCurrent(m_pDC)) {
        DrawFrame();
        if (OnScreen()) m_hRC->swapBuffers(m_pDC);
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
    if (picture) UploadCameraPicture(slot.texture, picture, 1, 0, kPictureWidth, kPictureHeight);
}

void CMainDlg::OnSize(int cx, int cy)
{
    // A minimised window keeps the last viewport; the picture stretches with the window.
    if (cx == 0 || cy == 0 || !m_hRC || !m_hRC->makeCurrent(m_pDC)) return;
    glViewport(0, 0, cx, cy);
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
    m_midiWatch.stop();
    CloseMidiInput();
    m_pPlaceholderA = {};
    m_pPlaceholderB = {};
    if (m_hRC) {
        m_hRC->doneCurrent();
        m_hRC.reset();
    }
}

void CMainDlg::ExchangeSettings(bool load)
{
    struct Setting {
        const char* section;
        const char* key;
        int* value;
    };
    const Setting settings[] = {
        {"MIDI", "DEVICE", &m_nMidiDevice}, {"MIDI", "CH", &m_nMidiChannel},
        {"MIDI", "CTRL1", &m_nMidiCtrl1},   {"MIDI", "CTRL2", &m_nMidiCtrl2},
        {"CAMERA", "DEVICE1", &m_nDeviceA}, {"CAMERA", "DEVICE2", &m_nDeviceB},
    };
    // One read for all six at start and one atomic write for all six at the end.
    IniProfile profile(m_settingsPath);
    if (load) {
        RemoveStaleIniTempFiles(m_settingsPath);
        for (const Setting& s : settings) *s.value = profile.GetInt(s.section, s.key, 0);
        LoadMidiName(profile);
        ExchangeCameraSettings(profile, true);
        return;
    }
    for (const Setting& s : settings) profile.Set(s.section, s.key, std::to_string(*s.value));
    SaveMidiName(profile);
    ExchangeCameraSettings(profile, false);
    // A failed write (read-only or foreign file, missing folder) is ignored without a word.
    MakeSettingsFolder(m_settingsPath);  // the user's folder on the first write
    profile.Commit();
}

void CMainDlg::LoadMidiName(IniProfile& profile)
{
    // A DEVICE without NAME comes from a file of before the names: its id counts in the
    // listing of then, which put ALSA's loopback ports first.
    m_strMidiName.clear();
    std::string device;
    m_bMidiOldOrder = !profile.GetString("MIDI", "NAME", m_strMidiName) &&
                      profile.GetString("MIDI", "DEVICE", device);
    m_nMidiRemembered = m_nMidiDevice;
    m_bMidiAbsent = false;
}

void CMainDlg::SaveMidiName(IniProfile& profile)
{
    // While the remembered device is absent, its position goes back as it was read.
    if (m_bMidiAbsent) profile.Set("MIDI", "DEVICE", std::to_string(m_nMidiRemembered));
    if (!m_strMidiName.empty()) profile.Set("MIDI", "NAME", m_strMidiName);
}

void CMainDlg::UpdateTitle()
{
    setWindowTitle(QString::fromStdString(
        StatusText(m_performance.Effect(), m_performance.Ctrl1(), m_performance.Ctrl2(), m_fFps)));
    // Where Qt draws the title bar itself (Wayland without server-side decorations) it
    // redraws it only with the window's contents: repaint the menu bar.
    menuBar()->update();
}

void CMainDlg::FrameKey(int camera, int key, bool pressed)
{
    // Only MIDI notes come this way: what they hold is let go of if the controller goes.
    if (camera >= 0 && camera < 2 && key >= 0 && key < 8) m_bMidiHeld[camera][key] = pressed;
    PlayFrameKey(camera, key, pressed);
}

void CMainDlg::PlayFrameKey(int camera, int key, bool pressed)
{
    const CameraSlot slot = Slot(camera);
    if (slot.device != 0) slot.memory.KeyEvent(key, pressed, m_performance.Record());
}

void CMainDlg::PlayMemoryKey(int nChar, bool pressed)
{
    int camera = 0;
    int key = 0;
    if (nChar == VK_SHIFT) {
        m_bMidiRecord = false;  // Shift has the flag now
        m_performance.SetRecord(pressed, ChangeSource::Keys);
    } else if (FrameMemoryKey(nChar, camera, key)) {
        PlayFrameKey(camera, key, pressed);
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

bool CMainDlg::MidiDeviceInRange(unsigned n) const
{
    return n != 0 && static_cast<unsigned>(m_nMidiDevice) <= n;
}

bool CMainDlg::ResolveMidiDevice(const std::vector<std::string>& names)
{
    if (m_bMidiOldOrder && !names.empty()) {
        // Once: the id of before becomes the same device's id now, and its name is kept.
        m_bMidiOldOrder = false;
        if (m_nMidiDevice >= 0) {
            m_nMidiDevice = static_cast<int>(IdFromOldOrder(names, m_nMidiDevice));
        }
        m_strMidiName = StoredPortName(names, static_cast<unsigned>(m_nMidiDevice));
        m_nMidiRemembered = m_nMidiDevice;
    }
    if (m_strMidiName.empty()) return true;  // no name stored: the position counts
    const int found = FindStoredPortName(names, m_strMidiName);
    m_bMidiAbsent = found < 0;
    if (m_bMidiAbsent) {
        m_nMidiDevice = 0;  // as after any failed open; the remembered position is kept
        return false;
    }
    m_nMidiDevice = m_nMidiRemembered = found;
    return true;
}

void CMainDlg::OpenMidiInput(const std::vector<std::string>* listing)
{
    CloseMidiInput();
    std::vector<std::string> names;
    if (listing) {
        names = *listing;
    } else {
        const unsigned n = g_midiIn.GetNumDevs();
        for (unsigned id = 0; id < n; ++id) names.push_back(g_midiIn.GetDeviceName(id));
    }
    if (!ResolveMidiDevice(names)) return;
    if (!MidiDeviceInRange(static_cast<unsigned>(names.size())) || !g_midiIn.Open(this)) return;
    g_midiIn.Start();
    if (m_strMidiName.empty()) {
        // Opened by its position: remembered by its name from now on.
        m_strMidiName = StoredPortName(names, static_cast<unsigned>(m_nMidiDevice));
        m_nMidiRemembered = m_nMidiDevice;
    }
}

void CMainDlg::CloseMidiInput()
{
    // Whatever is open, whatever the device count says now: a device left open would go on
    // writing into the buffers that the next start replaces.
    m_bMidiOpening = false;  // an open on its way is given up by the driver's next call
    if (!g_midiIn.IsOpen()) return;
    g_midiIn.Stop();
    g_midiIn.Close();
}

void CMainDlg::OnMidi()
{
    // Stopped and closed around the dialog, so that a new choice takes effect at once.
    m_bMidiDialog = true;
    CloseMidiInput();
    CMidiDeviceDlg dlg(m_nMidiDevice, m_nMidiChannel, m_nMidiCtrl1, m_nMidiCtrl2, this,
                       &m_strMidiName);
    dlg.exec();  // OK or cancel: the values are edited in place
    OpenMidiInput();
    m_bMidiDialog = false;
}

void CMainDlg::OnMidiWatch()
{
    if (m_bMidiDialog) return;
    if (m_bMidiOpening) {
        StartMidiInput();
        return;
    }
    std::vector<std::string> names;
    if (!g_midiIn.PollDeviceNames(names) || m_strMidiName.empty()) return;
    const bool present = FindStoredPortName(names, m_strMidiName) >= 0;
    if (g_midiIn.IsOpen() && !present) {
        MidiUnplugged();
    } else if (!g_midiIn.IsOpen() && m_bMidiAbsent && present && ResolveMidiDevice(names)) {
        m_bMidiOpening = true;
        StartMidiInput();
    }
}

void CMainDlg::StartMidiInput()
{
    // The open runs in the background, so the frame loop goes on meanwhile; the next look
    // asks again. The flag is down during the call: a failure's message box runs a loop of
    // its own, in which the watch may look again.
    m_bMidiOpening = false;
    const CMidiIn::OpenState state = g_midiIn.PollOpen(this);
    m_bMidiOpening = state == CMidiIn::kOpening;
    if (state == CMidiIn::kOpened) g_midiIn.Start();
}

void CMainDlg::MidiUnplugged()
{
    // Nothing more comes from it to let go of what it held: its notes are released here,
    // and the record flag if one of its black keys set it (Shift's stays).
    for (int camera = 0; camera < 2; ++camera) {
        for (int key = 0; key < 8; ++key) {
            if (!m_bMidiHeld[camera][key]) continue;
            m_bMidiHeld[camera][key] = false;
            PlayFrameKey(camera, key, false);
        }
    }
    if (m_bMidiRecord) m_performance.SetRecord(false, ChangeSource::Midi);
    m_bMidiRecord = false;
    // Its client goes in the background: closing a JACK client takes the server's time.
    g_midiIn.Stop();
    g_midiIn.CloseLater();
    m_bMidiAbsent = true;
    m_nMidiDevice = 0;
}

void CMainDlg::PostShortMessage(uint32_t message) { OnMidiInData(message); }

void CMainDlg::PostLongData(MidiHeader* header) { OnMidiInLongData(header); }

void CMainDlg::OnMidiInData(uint32_t message)
{
    const MidiValues values{m_nMidiChannel, m_nMidiCtrl1, m_nMidiCtrl2};
    const bool record = m_performance.Record();
    InterpretMidiMessage(message, g_midiIn.IsStarted(), g_midiIn.FilterSource(), values,
                         m_performance);
    // A black key set or cleared it.
    if (m_performance.Record() != record) m_bMidiRecord = m_performance.Record();
}

void CMainDlg::OnMidiInLongData(MidiHeader* header)
{
    // After a stop these are the buffers its reset gave back, already released. With system
    // exclusive not accepted, a filled buffer stays with us until the next stop.
    if (!g_midiIn.IsStarted() || !g_midiIn.IsSysExEnabled()) return;
    g_midiIn.RequeueBuffer(header);
}

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

void CMainDlg::ToggleFullScreen() { m_fullScreen.Toggle(); }

void CMainDlg::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) m_fullScreen.OnWindowStateChange();
}
