// The main window: its whole client area is the OpenGL picture. It holds the performance
// state, which the other parts change through its setters, runs the frame loop and owns the
// OpenGL context, the camera textures and the two cameras' frame memories.
#ifndef KOVRA_APP_MAINDLG_H
#define KOVRA_APP_MAINDLG_H

#include <QIcon>
#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CameraStarter.h"
#include "CameraWatch.h"
#include "ControlFeedback.h"
#include "FrameLoop.h"
#include "FrameMemory.h"
#include "FullScreen.h"
#include "KeyRepeat.h"
#include "MidiDriver.h"
#include "MidiInterpreter.h"
#include "MidiSession.h"
#include "OscReceiver.h"
#include "OscSettings.h"
#include "Performance.h"
#include "PictureOut.h"
#include "PictureSize.h"
#include "SourceList.h"
#include "WindowControl.h"
#include "Worker.h"

class CEffCtrlDlg;
class CGlView;
class IniProfile;
class QAction;

// The receiver of the MIDI input (the driver delivers on the user-interface thread).
class CMainDlg : public QMainWindow, public MidiReceiver {
    Q_OBJECT

    // First of the fields, so that it goes last: what the other parts left on it is joined
    // (or left behind, named) when the window goes.
    CWorker m_worker;

public:
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Reads the settings, makes the OpenGL context, textures, placeholders and cameras,
    // initialises the effects and starts the frame timer. False when no OpenGL context
    // could be made: the caller shows the message and ends the program.
    bool Setup();

    // From the performance state's change notification, and from the frame rate.
    void UpdateTitle();
    // The ways out's items checked as their wishes are; when the menu opens, greyed out too.
    void ShowWaysOut(bool opening);
    // What the keys, the dialogs and MIDI play.
    CPerformance& Performance() { return m_performance; }
    // A frame-memory key of camera 0 (A) or 1 (B), key 0..7, from the keyboard or from MIDI
    // through the performance state; nothing while it has no device.
    void FrameKey(int camera, int key, bool pressed);
    // A key of the keyboard map's frame-memory part pressed or released: Shift sets the
    // record flag while down, a memory key plays its camera's key.
    void PlayMemoryKey(int nChar, bool pressed);
    void ExchangeSettings(bool load);
    void ToggleFullScreen();

    // Handlers, named after the window messages they stand for.
    void OnTimer();
    void OnSize(int cx, int cy);
    void OnDestroy();
    // True once OnDestroy has run (and written the settings).
    bool Destroyed() const { return m_bDestroyed; }
    void OnKeyDown(int nChar, bool alreadyDown);
    void OnKeyUp(int nChar);
    void OnLButtonDown();
    void OnCommand(int id);
    void OnMidi();
    void OnMidiInData(uint32_t message);
    void OnMidiInLongData(MidiHeader* header);

    // From the MIDI driver, on the user-interface thread: each delivery is handled at once.
    void PostShortMessage(uint32_t message) override;
    void PostLongData(MidiHeader* header) override;

    // One frame's own work: each camera's picture into its texture, the reset of a newly
    // chosen effect and the draw call. Allocates nothing.
    void DrawFrame();

    // Key events from the picture and from this window, turned into OnKeyDown / OnKeyUp.
    void HandleKeyPress(const QKeyEvent& event);
    void HandleKeyRelease(const QKeyEvent& event);
    void HandleFocusLost() { m_keys.Clear(); }
    // The work beside the window: camera starts, MIDI listings, opens and closes.
    CWorker& Worker() { return m_worker; }
    // The cameras' work on the worker (for tests); null before Setup and after the close.
    const CCameraStarter* CameraStarter() const { return m_pStarter.get(); }
    // The MIDI input, its settings and its watch.
    CMidiSession& Midi() { return m_midi; }
    // Where each tick's picture is drawn and shown.
    CFrameLoop& FrameLoop() { return m_frameLoop; }
    // Full screen, the output window and its screen.
    CFullScreen& FullScreen() { return m_fullScreen; }
    // The ways out of the picture: Send to Other Programs, Stream and Record.
    CPictureOut& PictureOut() { return m_out; }
    // Feedback to the MIDI device and to OSC's FEEDBACK address.
    CControlFeedback& Feedback() { return m_feedback; }
    // The OSC input, from set-up while [OSC] PORT asks for one and its port could be had.
    const OscReceiver* Osc() const { return m_osc.get(); }

    CFrameMemory m_memA;
    CFrameMemory m_memB;
    int m_nDeviceA = 0;
    int m_nDeviceB = 0;
    // The names the cameras are remembered under, and their wait for an absent device.
    CameraMemo m_cameraA;
    CameraMemo m_cameraB;
    int m_nInterval = 33;
    bool m_bRunning = false;
    int m_nLastEffect = 0;
    CEffCtrlDlg* m_pEffCtrlDlg = nullptr;  // not owned: the dialog deletes itself
    uint32_t m_dwFpsStart = 0;
    int m_nFrameCount = 0;
    float m_fFps = 0.0f;

    // The settings file; set by the application before Setup.
    std::string m_settingsPath;
    bool m_bFullScreen = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void BuildMenuBar();
    // Where the events of a picture (the main window's, the output window's) go.
    CGlView::Events PictureEvents();
    // Whether the main window is on screen, so that a frame is worth presenting.
    bool OnScreen() const;
    // One camera's own fields on this window, so that both cameras run one code path.
    struct CameraSlot {
        int& device;
        CFrameMemory& memory;
        std::vector<uint8_t>& placeholder;
        unsigned texture;
        CameraMemo& memo;
        int index;  // 0: A, 1: B
    };
    CameraSlot Slot(int camera);  // 0: A, 1: B
    void PickPicture(const CameraSlot& slot);
    // CameraWatch.cpp: both cameras started at set-up on the worker, at once, each by its
    // name where one is remembered, waited for at most 10 s together.
    void StartCameras();
    // One camera's start, in one listing for both cameras made by the first that needs it;
    // none when it has no device or its remembered one is absent.
    CCameraStarter::PendingPtr StartCamera(const CameraSlot& slot,
                                           std::optional<SourceListing>& listing);
    // The window's camera command's start of the slot's device, waited for at most 10 s.
    bool StartCameraNow(const CameraSlot& slot);
    // At the close: the cameras stop on the worker.
    void StopCameras();
    // CameraWatch.cpp, every tick: notices a camera lost or resized, and has the cameras
    // watched while one is awaited. Finished starts and listings come as deliveries.
    void WatchCameras();
    void WatchCamera(const CameraSlot& slot);
    void ListedCamera(const CameraSlot& slot, int otherDevice,
                      const std::vector<std::string>& names, unsigned number);
    void TakeStartedCamera(CCameraStarter::Result& result);
    // CameraWatch.cpp: the names and files in the settings file, beside the positions.
    void ExchangeCameraSettings(IniProfile& profile, bool load);
    // CameraFiles.cpp: the cameras' chosen files, listed after the clips folder's.
    void RememberFiles();
    // The slot's chosen file, where `listing` has put it, to the capture once it is there.
    void StartFileEntry(const CameraSlot& slot, const SourceListing& listing);
    void PlayFileEntry(const CameraSlot& slot);
    // Open File...'s choice: any file's path, "" when none was chosen.
    std::string ChooseFile();
    // The camera commands of one slot: choose its device, its format, its controls.
    void OnCameraDevice(const CameraSlot& slot, int otherDevice);
    void OnCameraPin(const CameraSlot& slot);
    void OnCameraFilter(const CameraSlot& slot);
    void OpenEffectControl();
    void ShowAbout();
    // At set-up: OSC listens where [OSC] says, or says on standard error why it cannot.
    void OpenOsc();

    CPerformance m_performance;
    QIcon m_hIcon;
    CGlView* m_pDC = nullptr;  // the OpenGL surface, owned by its container
    QAction* m_pPreviewItem = nullptr;
    QAction* m_pWayItems[CPictureOut::kWays] = {};
    CFrameLoop m_frameLoop{[this] { DrawFrame(); }, [this] { return OnScreen(); }};
    // [CAMERA] PICTURE, read only (the user's own text stays as written); from set-up on, the
    // size the GL can hold.
    PictureSize m_picture;
    std::vector<uint8_t> m_pPlaceholderA;
    std::vector<uint8_t> m_pPlaceholderB;
    QTimer m_timer;
    uint32_t m_dwTickDue = 0;   // when the coming tick was planned to start
    uint32_t m_dwTickSeen = 0;  // the last tick's planned start, and that time widened
    long long m_llTickMs = 0;
    CKeyRepeat m_keys;
    bool m_bDestroyed = false;
    CMidiSession m_midi{m_performance};
    CWindowControl m_midiControl{*this, ChangeSource::Midi};
    CWindowControl m_oscControl{*this, ChangeSource::Osc};
    CControlFeedback m_feedback{*this};
    OscSettings m_oscSettings;
    std::unique_ptr<OscReceiver> m_osc;
    std::unique_ptr<CCameraStarter> m_pStarter;  // from Setup until the window closes
    CFullScreen m_fullScreen{*this, m_bFullScreen, m_frameLoop, PictureEvents()};
    CPictureOut m_out{m_worker, m_nInterval, [this] {
                          UpdateTitle();
                          ShowWaysOut(false);
                      }};
};

#endif
