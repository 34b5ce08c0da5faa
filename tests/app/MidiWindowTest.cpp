// The main window's MIDI side on a real window (under a virtual X display): when set-up,
// the "Midi" command and closing open, start, stop and close the input, as a driver of the
// tests' own records; deliveries from a reader thread reach the window's state through the
// driver's hand-off; the returned system-exclusive buffers; and the message box of a
// failing call. The device's mapping file, the Learn list that writes it, an OSC datagram
// playing the window, and the dialog's OSC port.
#include <gtest/gtest.h>
#include <lo/lo_lowlevel.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "IniFile.h"
#include "MainApp.h"
#include "MainDlg.h"
#include "MappingFile.h"
#include "MidiDelivery.h"
#include "MidiDeviceDlg.h"
#include "MidiIn.h"
#include "MidiLearnDlg.h"
#include "MidiMessage.h"
#include "RecordingEffects.h"
#include "Resources.h"
#include "UdpSocket.h"
#include "VideoCapture.h"
#include "WindowControl.h"

namespace {

// Records the calls that change the device's state, one word each; buffer calls are
// counted. Can fail the open on purpose.
class RecordingDriver : public MidiDriver {
public:
    unsigned GetNumDevs() override { return devices; }
    std::string GetDeviceName(unsigned id) override
    {
        return id < names.size() ? names[id] : "Port " + std::to_string(id);
    }
    int Open(MidiHandle* handle, unsigned id, MidiReceiver* r) override
    {
        calls.push_back("open " + std::to_string(id));
        if (id >= devices) return 2;
        *handle = this;
        receiver = r;
        return MIDI_NOERROR;
    }
    int PrepareHeader(MidiHandle, MidiHeader*) override
    {
        ++prepares;
        return MIDI_NOERROR;
    }
    int AddBuffer(MidiHandle, MidiHeader*) override
    {
        ++adds;
        return MIDI_NOERROR;
    }
    int Start(MidiHandle) override
    {
        calls.push_back("start");
        return MIDI_NOERROR;
    }
    int Reset(MidiHandle) override
    {
        calls.push_back("reset");
        if (onReset) onReset();  // what the real driver hands over within its reset
        return MIDI_NOERROR;
    }
    int UnprepareHeader(MidiHandle, MidiHeader*) override
    {
        ++unprepares;
        return MIDI_NOERROR;
    }
    int Close(MidiHandle) override
    {
        calls.push_back("close");
        receiver = nullptr;
        return MIDI_NOERROR;
    }

    // The output side, when `output` says it has one: what is sent, packed.
    bool HasOutput(MidiHandle) override { return output; }
    bool Send(MidiHandle, const uint8_t* bytes, std::size_t size) override
    {
        uint32_t packed = 0;
        for (std::size_t i = 0; i < size; ++i) packed |= uint32_t{bytes[i]} << (8 * i);
        sent.push_back(packed);
        return true;
    }

    unsigned devices = 2;
    bool output = false;
    std::vector<uint32_t> sent;
    std::vector<std::string> names;  // in place of "Port <id>"
    std::vector<std::string> calls;
    int prepares = 0, adds = 0, unprepares = 0;
    MidiReceiver* receiver = nullptr;
    std::function<void()> onReset;
};

// A UDP port free a moment ago: another process may take it before the window binds it.
int FreePort()
{
    UdpSocket probe;
    std::string error;
    EXPECT_TRUE(probe.Bind("127.0.0.1", 0, error)) << error;
    return probe.LocalPort();
}

// Hands `bind` ports found free until it takes one, as another process may take a port in
// between; answers the port taken, or 0.
int OnAFreePort(const std::function<bool(int port)>& bind)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int port = FreePort();
        if (bind(port)) return port;
    }
    return 0;
}

class MidiWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override
    {
        if (m_dlg) m_dlg->close();
        m_dlg.reset();
    }
    CMidiIn& Input() { return m_dlg->Midi().Input(); }

    std::string SettingsFile() const
    {
        return QDir(m_dir.path()).filePath("Kovra.ini").toStdString();
    }

    // A window set up with the given [MIDI] DEVICE setting (and NAME, unless null).
    void Open(int device, int channel = 0, int ctrl1 = 1, int ctrl2 = 2, const char* name = nullptr)
    {
        const std::string path = SettingsFile();
        std::ofstream(path) << "[MIDI]\nDEVICE=" << device << "\nCH=" << channel
                            << "\nCTRL1=" << ctrl1 << "\nCTRL2=" << ctrl2 << "\n"
                            << (name ? std::string("NAME=") + name + "\n" : std::string())
                            << m_moreSettings;
        m_dlg = std::make_unique<CMainDlg>();
        m_dlg->Midi().SetDriver(&m_driver);
        m_dlg->Midi().SetReporter([this](int message) { m_reports.push_back(message); });
        m_dlg->m_settingsPath = path;
        ASSERT_TRUE(m_dlg->Setup());
    }

    // A window whose OSC listens on a free port; `more` adds to the [OSC] section. Answers
    // the port.
    int OpenWithOsc(const std::string& more = "")
    {
        return OnAFreePort([&](int port) {
            m_moreSettings = "[OSC]\nPORT=" + std::to_string(port) + "\n" + more;
            Open(0);
            if (m_dlg->Osc()) return true;
            m_dlg->close();
            m_dlg.reset();
            return false;
        });
    }

    // Sends from a reader thread of its own, in one batch, through the hand-off the real
    // driver uses, and waits until the window has handled it all.
    void Send(CMidiDelivery& delivery, const std::vector<uint32_t>& messages)
    {
        std::thread([&] {
            if (!delivery.BeginBatch()) return;
            for (uint32_t message : messages) {
                const uint8_t bytes[3] = {MidiStatus(message), MidiData1(message),
                                          MidiData2(message)};
                delivery.Receive(bytes, ShortMessageLength(bytes[0]));
            }
            delivery.EndBatch();
        }).join();
    }
    void Deliver(const std::vector<uint32_t>& messages)
    {
        CMidiDelivery delivery(m_dlg.get());
        delivery.Start();
        Send(delivery, messages);
        EXPECT_TRUE(QTest::qWaitFor([&] { return delivery.Delivered() == messages.size(); }))
            << delivery.Dropped() << " dropped";
    }

    // Runs the "Midi" command; `act` works the dialog while it is open.
    void RunMidiCommand(std::function<void(CMidiDeviceDlg&)> act)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CMidiDeviceDlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            seen = true;
            m_callsWhileOpen = m_driver.calls;
            act(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        m_dlg->OnCommand(ID_MIDI);
        EXPECT_TRUE(seen) << "no MIDI Device dialog came up";
    }

    RecordingDriver m_driver;
    std::string m_moreSettings;  // other sections of the settings file
    std::vector<int> m_reports;
    std::vector<std::string> m_callsWhileOpen;
    QTemporaryDir m_dir;
    std::unique_ptr<CMainDlg> m_dlg;
};

using Calls = std::vector<std::string>;

TEST_F(MidiWindow, SetupOpensAndStartsOnlyAnIdWithinTheGuard)
{
    Open(1);
    EXPECT_EQ(m_driver.calls, (Calls{"open 1", "start"}));
    EXPECT_EQ(m_driver.adds, 32);
    EXPECT_TRUE(Input().IsStarted());
    EXPECT_TRUE(m_reports.empty());
    m_dlg->close();
    EXPECT_EQ(m_driver.calls, (Calls{"open 1", "start", "reset", "close"}));
    EXPECT_EQ(m_driver.unprepares, 32);
    EXPECT_FALSE(Input().IsOpen());
}

TEST_F(MidiWindow, ClipControlsReachTheCameraThatPlaysAClipAndNoOtherAndLightThePad)
{
    m_driver.names = {"JACK: pads:out"};
    const QString file = QString::fromStdString(MappingFilePath(SettingsFile(), "JACK: pads:out"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    std::ofstream(file.toStdString()) << "[BINDINGS]\nNOTE 1 40=CLIPAPAUSE\n";
    m_driver.output = true;
    Open(0, 0, 1, 2, "JACK: pads:out");
    const std::string clip = QDir(m_dir.path()).filePath("clip.avi").toStdString();
    ASSERT_EQ(0, std::system(("gst-launch-1.0 -q videotestsrc num-buffers=10 ! "
                              "video/x-raw,width=64,height=48,framerate=10/1 ! jpegenc ! avimux ! "
                              "filesink location=" +
                              clip + " >/dev/null 2>&1")
                                 .c_str()));
    auto capture = std::make_unique<CVideoCapture>(0);
    capture->SetFile(clip);
    ASSERT_TRUE(capture->BuildGraph(false, nullptr)) << capture->FileProblem();
    ASSERT_TRUE(m_dlg->m_memA.Open(std::move(capture)));
    CVideoCapture& playing = *m_dlg->m_memA.Capture();

    CWindowControl control(*m_dlg, ChangeSource::Osc);
    control.SetClipSpeed(0, 2.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return playing.ClipSegmentRate() == 2.0; }, 10000));
    m_driver.sent.clear();
    control.Toggle(Action::ClipAPause);
    EXPECT_TRUE(playing.ClipPaused());
    EXPECT_EQ(m_driver.sent, std::vector<uint32_t>{0x7F2890}) << "the pad shows the pause";
    control.SetToggle(Action::ClipAPause, true);
    EXPECT_TRUE(playing.ClipPaused()) << "set, not flipped";
    // Camera B plays nothing: its controls do nothing, and A's clip is left alone.
    control.Toggle(Action::ClipBPause);
    control.SetClipSpeed(1, 0.5);
    control.RestartClip(1);
    EXPECT_TRUE(playing.ClipPaused());
    EXPECT_EQ(2.0, playing.ClipSegmentRate());
    // With the clip gone nothing is paused, and the pad goes dark.
    m_dlg->m_memA.Close();
    EXPECT_EQ(m_driver.sent.back(), 0x002890u);
}

TEST_F(MidiWindow, AnIdEqualToTheCountFailsWithItsMessageAndAnIdBeyondIsSkipped)
{
    Open(2);
    EXPECT_EQ(m_driver.calls, Calls{"open 2"});
    EXPECT_EQ(m_reports, std::vector<int>{IDS_MIDI_OPEN_ERROR});
    EXPECT_FALSE(Input().IsStarted());
    m_dlg->close();
    EXPECT_EQ(m_driver.calls, Calls{"open 2"}) << "nothing open to stop or close";
    m_dlg.reset();

    m_driver.calls.clear();
    m_reports.clear();
    Open(3);
    Open(-1);  // past every count when compared as unsigned
    m_driver.devices = 0;
    Open(0);
    EXPECT_TRUE(m_driver.calls.empty());
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(MidiWindow, MessagesFromTheDriversThreadPlayTheWindow)
{
    Open(0, 2, 7, 8);
    Deliver({0x05C2, 0x6407B2, 0x2008B2});  // Program Change 5, both controllers, channel 3
    EXPECT_EQ(m_dlg->Performance().Effect(), 5);
    EXPECT_EQ(m_dlg->Performance().Ctrl1(), 100);
    EXPECT_EQ(m_dlg->Performance().Ctrl2(), 32);
    EXPECT_EQ(m_dlg->windowTitle(), "Kovra 1.00 EFF:5 C1:100 C2:32 FS:0.0");

    Deliver({0x7F3192});  // a black key holds the record flag
    EXPECT_TRUE(m_dlg->Performance().Record());
    Deliver({0x003192, 0x7F0AC0, 0x7F0AC2 | 0x0100});  // released; channel 1; Program Change
    EXPECT_FALSE(m_dlg->Performance().Record());
    EXPECT_EQ(m_dlg->Performance().Effect(), 11);
    EXPECT_EQ(m_dlg->windowTitle(), "Kovra 1.00 EFF:11 C1:100 C2:32 FS:0.0");

    // What is still on its way when the input stops comes within the reset, and changes
    // nothing.
    CMidiDelivery delivery(m_dlg.get());
    delivery.Start();
    Send(delivery, {0x03C2});
    m_driver.onReset = [&] { delivery.Stop(); };
    Input().Stop();
    EXPECT_EQ(delivery.Delivered(), 1u);
    EXPECT_EQ(m_dlg->Performance().Effect(), 11);
    m_driver.onReset = nullptr;
}

TEST_F(MidiWindow, AFloodOfControllersInOneCycleLosesNothing)
{
    Open(0, 0, 7, 7);
    std::vector<uint32_t> flood;
    for (int i = 0; i < 6000; ++i) flood.push_back(0xB0 | 7 << 8 | (i % 128) << 16);
    flood.push_back(0x5007B0);
    Deliver(flood);  // waits for every one of them
    EXPECT_EQ(m_dlg->Performance().Ctrl1(), 0x50);
    EXPECT_EQ(m_dlg->Performance().Ctrl2(), 0x50);
}

TEST_F(MidiWindow, ReturnedBuffersAreQueuedAgainOnlyWhenSystemExclusiveIsAccepted)
{
    Open(0);
    MidiHeader* header = const_cast<MidiHeader*>(&Input().Headers()[0]);
    MidiReceiver* receiver = m_dlg.get();
    receiver->PostLongData(header);
    EXPECT_EQ(m_driver.adds, 32) << "with the filter word 13 the buffer stays with us";

    m_dlg->Midi().SetFilter(m_dlg->Midi().Filter() | 0x200);
    receiver->PostLongData(header);
    EXPECT_EQ(m_driver.unprepares, 1);
    EXPECT_EQ(m_driver.adds, 33);

    // Buffers given back by a stop's reset come within it and are left alone: the stop
    // unprepares each of the 32 once, and none is queued again.
    m_driver.onReset = [&] { receiver->PostLongData(header); };
    Input().Stop();
    EXPECT_EQ(m_driver.unprepares, 1 + 32);
    EXPECT_EQ(m_driver.adds, 33);
    EXPECT_TRUE(m_reports.empty());
    m_driver.onReset = nullptr;  // the window's close stops the input again
}

TEST_F(MidiWindow, TheMidiCommandClosesAroundTheDialogAndReopensTheChoice)
{
    Open(0);
    m_driver.calls.clear();
    RunMidiCommand([](CMidiDeviceDlg& dialog) {
        dialog.findChild<QComboBox*>("1006")->setCurrentIndex(1);
        dialog.findChild<QComboBox*>("1000")->setCurrentIndex(15);
        dialog.OnOK();
    });
    EXPECT_EQ(m_callsWhileOpen, (Calls{"reset", "close"}));
    EXPECT_EQ(m_driver.calls, (Calls{"reset", "close", "open 1", "start"}));
    EXPECT_EQ(m_dlg->Midi().Device(), 1);
    EXPECT_EQ(m_dlg->Midi().Channel(), 15);
    EXPECT_EQ(m_dlg->windowTitle(), "Kovra 1.00 EFF:0 C1:0 C2:0 FS:0.0") << "no refresh";

    // Cancel reopens the same device; input pauses only while the dialog is open.
    m_driver.calls.clear();
    RunMidiCommand([](CMidiDeviceDlg& dialog) { dialog.reject(); });
    EXPECT_EQ(m_driver.calls, (Calls{"reset", "close", "open 1", "start"}));
    EXPECT_EQ(m_dlg->Midi().Channel(), 15);
}

TEST_F(MidiWindow, TheMidiCommandMendsAnIdPastTheDevicesAndOpensTheFirst)
{
    Open(5);  // beyond the count: not opened at set-up
    RunMidiCommand([](CMidiDeviceDlg& dialog) { dialog.reject(); });
    EXPECT_EQ(m_callsWhileOpen, Calls{}) << "nothing was open";
    EXPECT_EQ(m_driver.calls, (Calls{"open 0", "start"}));
    EXPECT_EQ(m_dlg->Midi().Device(), 0);

    // With every device gone the one still open is stopped and closed all the same, the
    // dialog comes up, and nothing is opened.
    m_driver.devices = 0;
    m_driver.calls.clear();
    RunMidiCommand([](CMidiDeviceDlg& dialog) { dialog.OnOK(); });
    EXPECT_EQ(m_driver.calls, (Calls{"reset", "close"}));
    EXPECT_FALSE(Input().IsOpen());
}

// The settings file's MIDI section after the window closed.
std::string MidiKey(const std::string& path, const char* key)
{
    IniProfile profile(path);
    std::string value;
    profile.GetString("MIDI", key, value);
    return value;
}

TEST_F(MidiWindow, TheDeviceIsRememberedByItsName)
{
    // Present elsewhere in the list: opened there, its new position written back.
    m_driver.devices = 3;
    m_driver.names = {"ALSA: Pad:Pad MIDI 1 24:0", "JACK: keys:out", "ALSA: Pad:Pad MIDI 1 28:0"};
    Open(0, 0, 1, 2, "ALSA: Pad:Pad MIDI 1 #2");
    EXPECT_EQ(m_driver.calls, (Calls{"open 2", "start"}));
    m_dlg->close();
    EXPECT_EQ(MidiKey(SettingsFile(), "DEVICE"), "2");

    // Absent: nothing opened, MIDI off, the name and position written back as read.
    m_dlg.reset();
    m_driver.calls.clear();
    Open(1, 0, 1, 2, "JACK: gone:out");
    EXPECT_TRUE(m_driver.calls.empty());
    EXPECT_EQ(m_dlg->Midi().Device(), 0);
    // The dialog keeps the absent name; Cancel opens nothing.
    RunMidiCommand([](CMidiDeviceDlg& dialog) {
        EXPECT_EQ(dialog.findChild<QComboBox*>("1006")->currentText(), "JACK: gone:out");
        dialog.reject();
    });
    EXPECT_TRUE(m_driver.calls.empty());
    m_dlg->close();
    EXPECT_EQ(MidiKey(SettingsFile(), "DEVICE"), "1");
    EXPECT_EQ(MidiKey(SettingsFile(), "NAME"), "JACK: gone:out");

    // Chosen in the dialog: its name is stored instead.
    m_dlg.reset();
    Open(1, 0, 1, 2, "JACK: gone:out");
    RunMidiCommand([](CMidiDeviceDlg& dialog) {
        dialog.findChild<QComboBox*>("1006")->setCurrentIndex(0);
        dialog.OnOK();
    });
    EXPECT_EQ(m_driver.calls, (Calls{"open 0", "start"}));
    m_dlg->close();
    EXPECT_EQ(MidiKey(SettingsFile(), "NAME"), "ALSA: Pad:Pad MIDI 1");
    EXPECT_EQ(MidiKey(SettingsFile(), "DEVICE"), "0");
}

TEST_F(MidiWindow, AFileWithoutNamesCountsInTheOldOrderOnce)
{
    // The loopback port came first before; now it is last.
    m_driver.devices = 3;
    m_driver.names = {"ALSA: Pad:Pad MIDI 1 24:0", "JACK: keys:out",
                      "ALSA: Midi Through:Midi Through Port-0 14:0"};
    Open(1);  // the pad, counted with Midi Through first
    EXPECT_EQ(m_driver.calls, (Calls{"open 0", "start"}));
    m_dlg->close();
    EXPECT_EQ(MidiKey(SettingsFile(), "NAME"), "ALSA: Pad:Pad MIDI 1");
    EXPECT_EQ(MidiKey(SettingsFile(), "DEVICE"), "0");
}

TEST_F(MidiWindow, TheDevicesMappingFileChangesWhatAMessageDoesAndOtherDevicesPlayTheDefault)
{
    m_driver.names = {"JACK: pads:out", "JACK: faders:out"};
    const QString file = QString::fromStdString(MappingFilePath(SettingsFile(), "JACK: pads:out"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    std::ofstream(file.toStdString()) << "[BINDINGS]\nCC 1 21=CTRL2\n";

    Open(0, 0, 21, 22, "JACK: pads:out");
    Deliver({0x4015B0});  // Control Change 21, value 64, channel 1
    EXPECT_EQ(m_dlg->Performance().Ctrl1(), 0);
    EXPECT_EQ(m_dlg->Performance().Ctrl2(), 64);
    m_dlg->close();

    Open(1, 0, 21, 22, "JACK: faders:out");
    Deliver({0x4015B0});
    EXPECT_EQ(m_dlg->Performance().Ctrl1(), 64);
    EXPECT_EQ(m_dlg->Performance().Ctrl2(), 0);
}

// One OSC message with one int to 127.0.0.1:port.
void SendOsc(int port, const char* path, int value)
{
    lo_message message = lo_message_new();
    lo_message_add_int32(message, value);
    std::vector<char> packet(lo_message_length(message, path));
    lo_message_serialise(message, path, packet.data(), nullptr);
    lo_message_free(message);
    UdpSocket sender;
    std::string error;
    ASSERT_TRUE(sender.Connect("127.0.0.1:" + std::to_string(port), error)) << error;
    ASSERT_EQ(::send(sender.Fd(), packet.data(), packet.size(), 0),
              static_cast<ssize_t>(packet.size()));
}

// The OSC messages a socket holds now, each as "path value".
void TakeOsc(int fd, std::vector<std::string>& got)
{
    char buffer[512];
    ssize_t size = 0;
    while ((size = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        int result = 0;
        lo_message message = lo_message_deserialise(buffer, static_cast<size_t>(size), &result);
        if (!message) continue;
        if (lo_message_get_argc(message) == 1 && lo_message_get_types(message)[0] == 'i')
            got.push_back(std::string(lo_get_path(buffer, size)) + " " +
                          std::to_string(lo_message_get_argv(message)[0]->i));
        lo_message_free(message);
    }
}

bool Has(const std::vector<std::string>& got, const std::string& message)
{
    return std::find(got.begin(), got.end(), message) != got.end();
}

TEST_F(MidiWindow, AnOscDatagramSetsTheEffectInTheTitle)
{
    const int port = OpenWithOsc();
    ASSERT_NE(m_dlg->Osc(), nullptr);

    SendOsc(port, "/kovra/effect", 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_dlg->Performance().Effect() == 3; }));
    EXPECT_EQ(m_dlg->windowTitle(), "Kovra 1.00 EFF:3 C1:0 C2:0 FS:0.0");
}

TEST_F(MidiWindow, ALearnListListensToTheChosenDeviceWhileThePictureGoesOnAndOkWritesTheMap)
{
    m_driver.names = {"JACK: keys:out", "JACK: pads:out"};
    Open(0, 0, 1, 2, "JACK: keys:out");
    m_driver.calls.clear();
    Calls callsWhileLearning;
    int ctrl2WhileLearning = -1;
    bool ticked = false;
    QString listed;
    RunMidiCommand([&](CMidiDeviceDlg& dialog) {
        dialog.findChild<QComboBox*>("1006")->setCurrentIndex(1);
        QTimer::singleShot(0, [&] {
            auto* learn = qobject_cast<CMidiLearnDlg*>(QApplication::activeModalWidget());
            if (!learn) return;
            callsWhileLearning = m_driver.calls;
            auto* list = learn->findChild<QTreeWidget*>("1020");
            QTreeWidgetItem* row = list->topLevelItem(static_cast<int>(Action::Ctrl2));
            // Controller 2 on channel 1 would set Ctrl 2, were it played.
            m_driver.receiver->PostShortMessage(0x4002B0);
            list->setCurrentItem(row);
            QTest::mouseClick(learn->findChild<QPushButton*>("1021"), Qt::LeftButton);
            m_driver.receiver->PostShortMessage(0x4007B2);  // CC 7 on channel 3, as it comes
            ctrl2WhileLearning = m_dlg->Performance().Ctrl2();
            listed = row->text(1);
            const int frames = m_dlg->m_nFrameCount;
            ticked = QTest::qWaitFor([&] { return m_dlg->m_nFrameCount != frames; });
            QTest::mouseClick(learn->findChild<QPushButton*>("1"), Qt::LeftButton);
        });
        QTest::mouseClick(dialog.findChild<QPushButton*>("1005"), Qt::LeftButton);
        EXPECT_TRUE(dialog.findChild<QLabel*>("1007")->isVisible()) << "the file lies over";
        dialog.OnOK();
    });
    EXPECT_EQ(callsWhileLearning, (Calls{"reset", "close", "open 1", "start"}));
    EXPECT_EQ(m_driver.calls,
              (Calls{"reset", "close", "open 1", "start", "reset", "close", "open 1", "start"}));
    EXPECT_EQ(ctrl2WhileLearning, 0) << "a message to Learn plays nothing";
    EXPECT_EQ(listed, "CC 1 2, CC 3 7");
    EXPECT_TRUE(ticked) << "the frame loop stopped while the list was up";

    std::ifstream file(MappingFilePath(SettingsFile(), "JACK: pads:out"));
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[BINDINGS]\nCC 3 7=CTRL2\n");
    Deliver({0x6407B2});
    EXPECT_EQ(m_dlg->Performance().Ctrl2(), 100) << "the learned map plays after OK";
}

TEST_F(MidiWindow, TheDialogsOscPortOpensOscAfterOkAndIsWrittenBack)
{
    Open(0);
    EXPECT_EQ(m_dlg->Osc(), nullptr);
    const auto setPort = [](const std::string& text) {
        return [text](CMidiDeviceDlg& dialog) {
            dialog.findChild<QLineEdit*>("1004")->setText(QString::fromStdString(text));
            dialog.OnOK();
        };
    };
    const int port = OnAFreePort([&](int candidate) {
        RunMidiCommand(setPort(std::to_string(candidate)));
        return m_dlg->Osc() != nullptr;
    });
    ASSERT_NE(m_dlg->Osc(), nullptr);
    EXPECT_EQ(m_dlg->Osc()->Port(), port);
    m_dlg->close();
    IniProfile profile(SettingsFile());
    EXPECT_EQ(profile.GetInt("OSC", "PORT", -1), port);

    OpenWithOsc();
    ASSERT_NE(m_dlg->Osc(), nullptr);
    RunMidiCommand(setPort("0"));
    EXPECT_EQ(m_dlg->Osc(), nullptr);
}

TEST_F(MidiWindow, OscFeedbackHasTheWholeStateAtTheOpenThenEachChangeButNotOscsOwn)
{
    UdpSocket listener;
    std::string error;
    ASSERT_TRUE(listener.Bind("127.0.0.1", 0, error)) << error;
    const int port =
        OpenWithOsc("FEEDBACK=127.0.0.1:" + std::to_string(listener.LocalPort()) + "\n");
    ASSERT_NE(m_dlg->Osc(), nullptr);

    std::vector<std::string> got;
    const std::vector<std::string> whole = {"/kovra/ctrl2 0", "/kovra/memory/b/8 0",
                                            "/kovra/store 0", "/kovra/record 0"};
    EXPECT_TRUE(QTest::qWaitFor([&] {
        TakeOsc(listener.Fd(), got);
        return std::all_of(whole.begin(), whole.end(), [&](auto& m) { return Has(got, m); });
    }));

    // OSC's own value is not sent back to it; a value from elsewhere is.
    got.clear();
    SendOsc(port, "/kovra/effect", 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg->Performance().Effect() == 3; }));
    m_dlg->Performance().SetCtrl1(5, ChangeSource::Keys);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        TakeOsc(listener.Fd(), got);
        return Has(got, "/kovra/ctrl1 5");
    }));
    EXPECT_FALSE(Has(got, "/kovra/effect 3"));
}

TEST_F(MidiWindow, FullScreenLightsThePadThatToggledItAndGoesOutFromElsewhere)
{
    m_driver.names = {"JACK: pads:out"};
    const QString file = QString::fromStdString(MappingFilePath(SettingsFile(), "JACK: pads:out"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    std::ofstream(file.toStdString()) << "[BINDINGS]\nNOTE 1 36=FULLSCREEN\n";
    m_driver.output = true;
    Open(0, 0, 1, 2, "JACK: pads:out");
    m_driver.sent.clear();
    Deliver({0x7F2490});  // the pad pressed: its LED shows full screen, whatever it sent
    ASSERT_TRUE(m_dlg->m_bFullScreen);
    EXPECT_EQ(m_driver.sent, std::vector<uint32_t>{0x7F2490});
    m_dlg->ToggleFullScreen();
    EXPECT_EQ(m_driver.sent.back(), 0x002490u);
}

TEST(MidiErrorBox, ShowsTheMessageWithOnlyAnOkButtonUnderTheProgramsName)
{
    QWidget window;
    QString title, text;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        title = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    ReportMidiError(IDS_MIDI_UNPREPARE_ERROR, &window);
    EXPECT_EQ(title, "Kovra");
    EXPECT_EQ(text, "Midi Unprepare Header Error");
    EXPECT_EQ(buttons, 1);
}

}  // namespace
