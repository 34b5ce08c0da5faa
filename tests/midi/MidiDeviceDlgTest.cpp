// The MIDI Device dialog on Qt's offscreen platform, over a MIDI driver of the tests' own that
// names a chosen number of devices: its layout, what it shows on opening, and what OK and
// cancelling store; the OSC port and the note that a mapping file lies over the fields.
// Holds main() for the dialog tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DialogUnits.h"
#include "MappingFile.h"
#include "MidiDeviceDlg.h"
#include "MidiSession.h"

namespace {

// Devices by name only: the dialog never opens one.
class NamingDriver : public MidiDriver {
public:
    unsigned GetNumDevs() override { return static_cast<unsigned>(names.size()); }
    std::string GetDeviceName(unsigned id) override
    {
        return id < names.size() ? names[id] : std::string();
    }
    int Open(MidiHandle*, unsigned, MidiReceiver*) override { return 2; }
    int PrepareHeader(MidiHandle, MidiHeader*) override { return 2; }
    int AddBuffer(MidiHandle, MidiHeader*) override { return 2; }
    int Start(MidiHandle) override { return 2; }
    int Reset(MidiHandle) override { return 2; }
    int UnprepareHeader(MidiHandle, MidiHeader*) override { return 2; }
    int Close(MidiHandle) override { return 2; }

    std::vector<std::string> names;
};

// The dialog plays nothing.
class NoPerformance : public MidiPerformance {
public:
    void SetEffect(int, ChangeSource) override {}
    void SetCtrl1(int, ChangeSource) override {}
    void SetCtrl2(int, ChangeSource) override {}
    void SetRecord(bool, ChangeSource) override {}
    bool Record() const override { return false; }
    void FrameKey(int, int, bool) override {}
};

class MidiDeviceDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_driver.names = {"USB Keys", "Pads", "Fader Box"};
        m_session.SetDriver(&m_driver);
        // Learn needs a folder for the mapping files.
        ASSERT_TRUE(m_settingsDir.isValid());
        m_session.SetSettingsPath(m_settingsDir.filePath("Kovra.ini").toStdString());
        m_main = std::make_unique<QWidget>();
    }
    void TearDown() override { m_session.SetDriver(nullptr); }

    // Builds the dialog on the stored values as the MIDI command does.
    void Make(int device, int channel = 0, int ctrl1 = 0, int ctrl2 = 0)
    {
        m_session.SetDevice(device);
        m_session.SetChannel(channel);
        m_session.SetCtrl1(ctrl1);
        m_session.SetCtrl2(ctrl2);
        m_session.SetName("");  // chosen by its id
        m_dlg = new CMidiDeviceDlg(m_session, m_main.get());
        const auto child = [this](int id) { return QString::number(id); };
        m_ok = m_dlg->findChild<QPushButton*>(child(CMidiDeviceDlg::IDOK));
        m_devices = m_dlg->findChild<QComboBox*>(child(CMidiDeviceDlg::IDC_DEVICE));
        m_channels = m_dlg->findChild<QComboBox*>(child(CMidiDeviceDlg::IDC_CHANNEL));
        m_edit1 = m_dlg->findChild<QLineEdit*>(child(CMidiDeviceDlg::IDC_CTRL1));
        m_edit2 = m_dlg->findChild<QLineEdit*>(child(CMidiDeviceDlg::IDC_CTRL2));
        m_oscPort = m_dlg->findChild<QLineEdit*>(child(CMidiDeviceDlg::IDC_OSCPORT));
        m_learn = m_dlg->findChild<QPushButton*>(child(CMidiDeviceDlg::IDC_LEARN));
        m_fileNote = m_dlg->findChild<QLabel*>(child(CMidiDeviceDlg::IDC_FILENOTE));
        ASSERT_TRUE(m_ok && m_devices && m_channels && m_edit1 && m_edit2 && m_oscPort && m_learn &&
                    m_fileNote);
        // Both lists are drop-downs with a field to type in.
        ASSERT_TRUE(m_devices->lineEdit() && m_channels->lineEdit());
    }
    // Opens it without its modal loop.
    void Open(int device, int channel = 0, int ctrl1 = 0, int ctrl2 = 0)
    {
        Make(device, channel, ctrl1, ctrl2);
        m_dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg));
    }
    void Ok() { QTest::mouseClick(m_ok, Qt::LeftButton); }

    QTemporaryDir m_settingsDir;
    NamingDriver m_driver;
    std::unique_ptr<QWidget> m_main;
    NoPerformance m_performance;
    CMidiSession m_session{m_performance};
    CMidiDeviceDlg* m_dlg = nullptr;  // owned by m_main
    QPushButton* m_ok = nullptr;
    QComboBox* m_devices = nullptr;
    QComboBox* m_channels = nullptr;
    QLineEdit* m_edit1 = nullptr;
    QLineEdit* m_edit2 = nullptr;
    QLineEdit* m_oscPort = nullptr;
    QPushButton* m_learn = nullptr;
    QLabel* m_fileNote = nullptr;
};

TEST_F(MidiDeviceDlgTest, IsAFixedSizeModalDialogWithAnOkAndALearnButton)
{
    Make(0);
    EXPECT_EQ(m_dlg->windowTitle(), "MIDI Device");
    EXPECT_EQ(m_dlg->objectName(), "131");
    EXPECT_TRUE(m_dlg->isModal());
    EXPECT_EQ(m_dlg->parentWidget(), m_main.get());
    const QSize size = CDialogUnits(m_dlg->font()).Size(190, 104);
    EXPECT_EQ(m_dlg->minimumSize(), size);
    EXPECT_EQ(m_dlg->maximumSize(), size);
    EXPECT_EQ(m_ok->text(), "OK");
    EXPECT_TRUE(m_ok->isDefault());
    EXPECT_EQ(m_learn->text(), "Learn...");
    EXPECT_FALSE(m_learn->isDefault());
    EXPECT_EQ(m_dlg->findChildren<QPushButton*>().size(), 2);
    // Nothing is shown before the dialog opens.
    EXPECT_EQ(m_edit1->text(), "");
    EXPECT_EQ(m_edit2->text(), "");
    EXPECT_EQ(m_oscPort->text(), "");
    EXPECT_EQ(m_devices->count(), 0);
}

TEST_F(MidiDeviceDlgTest, ControlsComeInTabOrderAtTheirPlaces)
{
    Open(0);
    struct Place {
        const char* name;  // object name, or a label's text
        int x, y, w, h;
    };
    // Combo box heights are those of their dropped lists, so only their fields' tops count.
    const Place places[] = {{"1", 66, 72, 50, 14},
                            {"1006", 48, 12, 125, 0},
                            {"1000", 48, 36, 30, 0},
                            {"Device", 12, 16, 22, 8},
                            {"Channel", 12, 40, 30, 8},
                            {"Ctrl 1", 108, 39, 18, 8},
                            {"1002", 138, 36, 30, 14},
                            {"Ctrl 2", 108, 57, 18, 8},
                            {"1003", 138, 54, 30, 14},
                            {"OSC port", 12, 57, 30, 8},
                            {"1004", 48, 54, 30, 14},
                            {"1005", 122, 72, 50, 14},
                            {"A mapping file lies over these fields.", 12, 90, 166, 8}};
    const QList<QWidget*> controls = m_dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(controls.size(), std::size(places));
    const CDialogUnits units(m_dlg->font());
    for (int k = 0; k < controls.size(); ++k) {
        const Place& p = places[k];
        const auto* label = qobject_cast<QLabel*>(controls[k]);
        EXPECT_EQ(label ? label->text() : controls[k]->objectName(), p.name) << "control " << k;
        const QRect want = units.Rect(p.x, p.y, p.w, p.h);
        const QRect got = controls[k]->geometry();
        EXPECT_EQ(got.topLeft(), want.topLeft()) << p.name;
        if (label) {
            EXPECT_GE(got.width(), label->sizeHint().width()) << p.name << " is cut";
        }
        // Labels may be widened to their text; combo boxes are as tall as their fields.
        if (!label) {
            EXPECT_EQ(got.width(), want.width()) << p.name;
        }
        if (!label && p.h > 0) {
            EXPECT_EQ(got.height(), want.height()) << p.name;
        }
    }

    // Focus starts on OK; Tab visits the fields in order and comes back round.
    m_dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_dlg));
    const QWidget* order[] = {m_devices, m_channels, m_edit1, m_edit2, m_oscPort, m_learn, m_ok};
    EXPECT_EQ(QApplication::focusWidget(), m_ok);
    for (const QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        // An editable combo box has the focus in its field.
        if (focus && focus->parentWidget() != m_dlg) focus = focus->parentWidget();
        EXPECT_EQ(focus, next) << (focus ? focus->objectName().toStdString() : "none");
    }
}

TEST_F(MidiDeviceDlgTest, ControllerFieldsTakeDigitsOnlyRightAligned)
{
    Open(0);
    for (QLineEdit* edit : {m_edit1, m_edit2}) {
        EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
        edit->clear();
        QTest::keyClicks(edit, "a-1");
        EXPECT_EQ(edit->text(), "1");
    }
}

TEST_F(MidiDeviceDlgTest, SaysWhenTheChosenControllersMappingFileLiesOverTheFields)
{
    const std::string file = MappingFilePath(m_session.SettingsPath(), "Pads");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(file)).path()));
    std::ofstream(file) << "[BINDINGS]\nCC 1 21=CTRL2\n";
    Open(0);
    EXPECT_FALSE(m_fileNote->isVisible());
    EXPECT_TRUE(m_learn->isEnabled());
    m_devices->setCurrentIndex(1);
    EXPECT_TRUE(m_fileNote->isVisible());
    m_devices->setCurrentIndex(2);
    EXPECT_FALSE(m_fileNote->isVisible());
    Open(1);
    EXPECT_TRUE(m_fileNote->isVisible()) << "at opening";

    // Without a settings file there is nowhere to learn into.
    m_session.SetSettingsPath("");
    Open(1);
    EXPECT_FALSE(m_fileNote->isVisible());
    EXPECT_FALSE(m_learn->isEnabled());
}

TEST_F(MidiDeviceDlgTest, WithoutDevicesTheListIsEmptyAndOkStoresDeviceZero)
{
    m_driver.names.clear();
    Open(0);
    EXPECT_EQ(m_devices->count(), 0);
    EXPECT_EQ(m_devices->currentText(), "");
    Ok();
    EXPECT_EQ(m_session.Device(), 0);

    // A stored id stays while the dialog is open and after a cancel; OK has no entry to take.
    Open(3);
    EXPECT_EQ(m_devices->count(), 0);
    EXPECT_EQ(m_session.Device(), 3);
    m_dlg->reject();
    EXPECT_EQ(m_session.Device(), 3);
    Open(3);
    Ok();
    EXPECT_EQ(m_session.Device(), 0);
}

TEST_F(MidiDeviceDlgTest, ListsTheDevicesInIdOrderAndOkTakesTheSelectedId)
{
    Open(1);
    ASSERT_EQ(m_devices->count(), 3);
    for (int id = 0; id < 3; ++id) {
        EXPECT_EQ(m_devices->itemText(id).toStdString(), m_driver.names[id]);
        EXPECT_EQ(m_devices->itemData(id).toInt(), id);
    }
    EXPECT_EQ(m_devices->currentIndex(), 1);
    // Opening again lists afresh rather than adding to the old list.
    m_dlg->hide();
    m_dlg->show();
    EXPECT_EQ(m_devices->count(), 3);
    m_devices->setCurrentIndex(2);
    Ok();
    EXPECT_EQ(m_session.Device(), 2);
    EXPECT_EQ(m_dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(m_dlg->isVisible());

    // Typed text selects an entry only when it is that entry's whole name.
    Open(2);
    m_devices->lineEdit()->setText("pads");
    Ok();
    EXPECT_EQ(m_session.Device(), 0);
    Open(2);
    m_devices->lineEdit()->setText("Pads");
    Ok();
    EXPECT_EQ(m_session.Device(), 1);
    Open(2);
    m_devices->lineEdit()->setText("Drums");
    QTest::keyClick(m_devices->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(m_dlg->result(), QDialog::Accepted);
    EXPECT_EQ(m_session.Device(), 0);
    EXPECT_EQ(m_devices->count(), 3);
}

TEST_F(MidiDeviceDlgTest, AnIdPastTheLastDeviceBecomesTheFirstAtOnce)
{
    // -1 counts as the largest id there is.
    for (const int stored : {3, -1}) {
        Open(stored);
        EXPECT_EQ(m_session.Device(), 0) << stored;
        EXPECT_EQ(m_devices->currentText(), "USB Keys") << stored;
        QTest::keyClick(m_dlg, Qt::Key_Escape);
        EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
        EXPECT_EQ(m_session.Device(), 0) << stored;
        Open(stored);
        Ok();
        EXPECT_EQ(m_session.Device(), 0) << stored;
    }
    Open(2);
    EXPECT_EQ(m_session.Device(), 2);
    EXPECT_EQ(m_devices->currentIndex(), 2);
}

TEST_F(MidiDeviceDlgTest, ShowsTheStoredChannelAndControllers)
{
    Open(0, 5, 64, 0);
    ASSERT_EQ(m_channels->count(), 16);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(m_channels->itemText(k), QString::number(k + 1));
    EXPECT_EQ(m_channels->currentText(), "6");
    EXPECT_EQ(m_edit1->text(), "64");
    EXPECT_EQ(m_edit2->text(), "0");
}

TEST_F(MidiDeviceDlgTest, OkReadsControllerNumbersLikeAtoiWithinTheirRange)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {{"", 0},      {"0", 0},     {"007", 7},
                 {"127", 127}, {"128", 127}, {"200", 127},
                 {"12ab", 12}, {"-5", 0},    {"123456789012345678901234567890", 127}};
    for (const auto& c : cases) {
        // Each field goes to its own number: the other field holds a different one.
        Open(0, 0, 50, 50);
        m_edit1->setText(c.text);
        m_edit2->setText("99");
        Ok();
        EXPECT_EQ(m_session.Ctrl1(), c.value) << '"' << c.text << '"';
        EXPECT_EQ(m_session.Ctrl2(), 99);
        Open(0, 0, 50, 50);
        m_edit2->setText(c.text);
        Ok();
        EXPECT_EQ(m_session.Ctrl1(), 50);
        EXPECT_EQ(m_session.Ctrl2(), c.value) << '"' << c.text << '"';
    }
}

TEST_F(MidiDeviceDlgTest, OkStoresTheChannelEntrysPositionOrZero)
{
    Open(0, 7);
    m_channels->setCurrentIndex(0);
    Ok();
    EXPECT_EQ(m_session.Channel(), 0);
    Open(0, 0);
    m_channels->setCurrentIndex(15);
    ASSERT_EQ(m_channels->currentText(), "16");
    Ok();
    EXPECT_EQ(m_session.Channel(), 15);
    Open(0, 0);
    m_channels->lineEdit()->setText("9");
    Ok();
    EXPECT_EQ(m_session.Channel(), 8);
    // Return in the field is OK, and what it holds never becomes an entry.
    Open(0, 4);
    m_channels->lineEdit()->setText("17");
    QTest::keyClick(m_channels->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(m_dlg->result(), QDialog::Accepted);
    EXPECT_EQ(m_session.Channel(), 0);
    EXPECT_EQ(m_channels->count(), 16);

    // No entry selected: a stored channel outside the list, or an emptied field.
    Open(0, 20);
    EXPECT_EQ(m_channels->currentText(), "");
    Ok();
    EXPECT_EQ(m_session.Channel(), 0);
    Open(0, 9);
    m_channels->lineEdit()->clear();
    Ok();
    EXPECT_EQ(m_session.Channel(), 0);
}

TEST_F(MidiDeviceDlgTest, EscapeAndTheCloseBoxKeepEveryValue)
{
    for (const bool closeBox : {false, true}) {
        Open(1, 3, 10, 20);
        m_devices->setCurrentIndex(2);
        m_channels->setCurrentIndex(9);
        m_edit1->setText("100");
        m_edit2->setText("110");
        if (closeBox) {
            m_dlg->close();
        } else {
            QTest::keyClick(m_edit1, Qt::Key_Escape);
        }
        EXPECT_FALSE(m_dlg->isVisible());
        EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
        EXPECT_EQ(m_session.Device(), 1);
        EXPECT_EQ(m_session.Channel(), 3);
        EXPECT_EQ(m_session.Ctrl1(), 10);
        EXPECT_EQ(m_session.Ctrl2(), 20);
    }
}

TEST_F(MidiDeviceDlgTest, RunsModallyWithEnterAsOk)
{
    Make(0, 0, 1, 2);
    QWidget* focus = nullptr;
    QTimer::singleShot(0, m_dlg, [&] {
        focus = m_dlg->focusWidget();
        m_channels->setCurrentIndex(4);
        m_edit2->setText("42");
        QTest::keyClick(m_edit2, Qt::Key_Return);
        // Never leave the loop running, whatever Return did.
        if (m_dlg->isVisible()) m_dlg->done(-1);
    });
    EXPECT_EQ(m_dlg->exec(), QDialog::Accepted);
    EXPECT_EQ(focus, m_ok);
    EXPECT_EQ(m_session.Channel(), 4);
    EXPECT_EQ(m_session.Ctrl1(), 1);
    EXPECT_EQ(m_session.Ctrl2(), 42);
}

}  // namespace
