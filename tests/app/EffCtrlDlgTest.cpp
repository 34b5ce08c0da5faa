// The Effect Control dialog driven with real key and mouse events on Qt's offscreen platform,
// opened by the main window's Control command on a main window without OpenGL set-up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "EffCtrlDlg.h"
#include "MainDlg.h"
#include "Resources.h"

namespace {

// Answers every message box that comes up with OK, remembering what it said.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            m_seen.push_back(box->windowTitle() + "|" + box->text() + "|" +
                             QString::number(box->buttons().size()));
            box->button(QMessageBox::Ok)->click();
        });
        m_timer.start(5);
    }
    QStringList m_seen;

private:
    QTimer m_timer;
};

class EffCtrlDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_main = std::make_unique<CMainDlg>();
        m_main->m_nEffectCount = 16;
        m_main->m_nEffect = 3;
        m_main->m_nCtrl1 = 64;
        m_main->m_nCtrl2 = 127;
        m_main->OnCommand(ID_VIEW_CONTROL);
        m_dlg = m_main->m_pEffCtrlDlg;
        ASSERT_NE(m_dlg, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_dlg.data()));
        m_number = m_dlg->findChild<QLineEdit*>(QString::number(CEffCtrlDlg::IDC_NUMBER));
        m_slider1 = m_dlg->findChild<QSlider*>(QString::number(CEffCtrlDlg::IDC_SLIDER1));
        m_slider2 = m_dlg->findChild<QSlider*>(QString::number(CEffCtrlDlg::IDC_SLIDER2));
        auto* spin = m_dlg->findChild<QWidget*>(QString::number(CEffCtrlDlg::IDC_SPIN));
        ASSERT_TRUE(m_number && m_slider1 && m_slider2 && spin);
        for (QToolButton* button : spin->findChildren<QToolButton*>()) {
            (button->arrowType() == Qt::UpArrow ? m_up : m_down) = button;
        }
        ASSERT_TRUE(m_up && m_down);
        m_number->setFocus();
    }

    static void Key(QWidget* widget, bool press, Qt::Key key, Qt::KeyboardModifiers modifiers = {},
                    bool repeat = false)
    {
        QTest::simulateEvent(widget, press, key, modifiers, QString(), repeat);
    }

    void Type(QWidget* widget, const QString& text)
    {
        widget->setFocus();
        QTest::keyClicks(widget, text);
    }

    std::unique_ptr<CMainDlg> m_main;
    QPointer<CEffCtrlDlg> m_dlg;
    QLineEdit* m_number = nullptr;
    QSlider* m_slider1 = nullptr;
    QSlider* m_slider2 = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
};

TEST_F(EffCtrlDlgTest, OpensModelessWithTheMainWindowsValues)
{
    EXPECT_EQ(m_dlg->windowTitle(), "Effect Control");
    EXPECT_STREQ(m_dlg->metaObject()->className(), "CEffCtrlDlg");
    EXPECT_FALSE(m_dlg->isModal());
    EXPECT_EQ(m_dlg->parentWidget(), m_main.get());
    EXPECT_EQ(m_number->text(), "3");
    EXPECT_EQ(m_slider1->value(), 64);
    EXPECT_EQ(m_slider2->value(), 127);
    EXPECT_EQ(m_slider1->maximum(), 127);
    EXPECT_EQ(m_slider1->tickPosition(), QSlider::NoTicks);
    // Showing the number wrote it back and refreshed the title.
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:3 C1:64 C2:127 FS:0.0");

    // A second Control command while it is open changes nothing.
    m_main->OnCommand(ID_VIEW_CONTROL);
    EXPECT_EQ(m_main->m_pEffCtrlDlg, m_dlg.data());
    EXPECT_EQ(m_main->findChildren<CEffCtrlDlg*>().size(), 1);
}

TEST_F(EffCtrlDlgTest, TypedNumbersAreClampedToTheLastEffectAsTheyAreTyped)
{
    m_number->selectAll();
    Type(m_number, "2");
    EXPECT_EQ(m_main->m_nEffect, 2);
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:2 C1:64 C2:127 FS:0.0");
    Type(m_number, "0");
    EXPECT_EQ(m_main->m_nEffect, 15);
    EXPECT_EQ(m_number->text(), "15");
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:15 C1:64 C2:127 FS:0.0");

    // Letters and signs never reach the field; X and C are not the main window's keys here.
    Type(m_number, "x-c");
    EXPECT_EQ(m_number->text(), "15");
    EXPECT_EQ(m_main->m_nEffect, 15);
    EXPECT_EQ(m_main->m_nCtrl1, 64);
}

TEST_F(EffCtrlDlgTest, UpDownStepsAtOnceAndStopsAtTheRangeEnds)
{
    const int expectedDown[] = {2, 1, 0, 0};
    for (int expected : expectedDown) {
        QTest::mouseClick(m_down, Qt::LeftButton);
        EXPECT_EQ(m_main->m_nEffect, expected);
        EXPECT_EQ(m_number->text(), QString::number(expected));
    }
    // A typed number is where the next step starts; the arrow keys step like the buttons.
    m_number->selectAll();
    Type(m_number, "14");
    QTest::mouseClick(m_up, Qt::LeftButton);
    EXPECT_EQ(m_main->m_nEffect, 15);
    QTest::keyClick(m_number, Qt::Key_Up);
    EXPECT_EQ(m_number->text(), "15");
    QTest::keyClick(m_number, Qt::Key_Down);
    EXPECT_EQ(m_main->m_nEffect, 14);
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:14 C1:64 C2:127 FS:0.0");
}

TEST_F(EffCtrlDlgTest, AnEmptiedFieldIsRefusedAndTheNumberPutBack)
{
    MessageBoxAnswerer answerer;
    m_number->selectAll();
    QTest::keyClick(m_number, Qt::Key_Backspace);
    EXPECT_EQ(answerer.m_seen, QStringList{"Kovra|Please enter an integer.|1"});
    EXPECT_EQ(m_number->text(), "3");
    EXPECT_EQ(m_main->m_nEffect, 3);
    // Stepping goes on from the number that was put back.
    QTest::mouseClick(m_up, Qt::LeftButton);
    EXPECT_EQ(m_main->m_nEffect, 4);
    EXPECT_EQ(answerer.m_seen.size(), 1);
}

TEST_F(EffCtrlDlgTest, SliderActionsSetTheControlsFromTheSliderPosition)
{
    QTest::keyClick(m_slider1, Qt::Key_Right);
    EXPECT_EQ(m_main->m_nCtrl1, 65);
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:3 C1:65 C2:127 FS:0.0");
    QTest::keyClick(m_slider2, Qt::Key_Home);
    EXPECT_EQ(m_main->m_nCtrl2, 0);
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:3 C1:65 C2:0 FS:0.0");

    // A later change in the main window (MIDI, its value keys) is not shown; the next
    // action writes the slider's own position back, even one that cannot move it.
    m_main->m_nCtrl1 = 100;
    m_main->m_nCtrl2 = 100;
    EXPECT_EQ(m_slider1->value(), 65);
    QTest::keyClick(m_slider1, Qt::Key_Left);
    EXPECT_EQ(m_main->m_nCtrl1, 64);
    QTest::keyClick(m_slider2, Qt::Key_Left);
    EXPECT_EQ(m_main->m_nCtrl2, 0);

    // Dragging the thumb sets the value while the button is still down.
    const QPoint start = m_slider1->rect().center();
    QTest::mousePress(m_slider1, Qt::LeftButton, {}, start);
    QTest::mouseMove(m_slider1, QPoint(m_slider1->width() - 1, start.y()));
    EXPECT_TRUE(m_slider1->isSliderDown());
    EXPECT_EQ(m_main->m_nCtrl1, m_slider1->sliderPosition());
    EXPECT_GT(m_main->m_nCtrl1, 64);
    QTest::mouseRelease(m_slider1, Qt::LeftButton, {}, QPoint(m_slider1->width() - 1, start.y()));
}

TEST_F(EffCtrlDlgTest, EnterAndEscapeNeitherCloseTheDialogNorReachTheMainWindow)
{
    QSignalSpy finished(m_dlg.data(), &QDialog::finished);
    QSignalSpy returnPressed(m_number, &QLineEdit::returnPressed);
    const QString title = m_main->windowTitle();
    for (QWidget* focus : {static_cast<QWidget*>(m_number), static_cast<QWidget*>(m_slider1)}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            focus->setFocus();
            QTest::keyClick(focus, key);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(m_dlg);
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(m_main->m_pEffCtrlDlg, m_dlg.data());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(returnPressed.count(), 0);
    EXPECT_EQ(m_main->windowTitle(), title);
    EXPECT_EQ(m_main->m_nEffect, 3);
}

TEST_F(EffCtrlDlgTest, ShiftAndFrameMemoryKeysArePassedToTheMainWindow)
{
    // A device number makes FrameKey act on the frame memories, which need no camera to
    // tell which key they show.
    m_main->m_nDeviceA = 1;
    m_main->m_nDeviceB = 1;
    for (QWidget* focus : {static_cast<QWidget*>(m_number), static_cast<QWidget*>(m_slider1)}) {
        focus->setFocus();
        Key(focus, true, Qt::Key_Shift);
        EXPECT_TRUE(m_main->m_bRecord);
        Key(focus, true, Qt::Key_Q, Qt::ShiftModifier);
        EXPECT_EQ(m_main->m_memA.Shown(), 0);
        EXPECT_TRUE(m_main->m_bRecord);
        Key(focus, true, Qt::Key_K, Qt::ShiftModifier);
        EXPECT_EQ(m_main->m_memB.Shown(), 7);
        Key(focus, false, Qt::Key_Q, Qt::ShiftModifier);
        EXPECT_EQ(m_main->m_memA.Shown(), -1);
        Key(focus, false, Qt::Key_Shift);
        EXPECT_FALSE(m_main->m_bRecord);
        Key(focus, false, Qt::Key_K);
        EXPECT_EQ(m_main->m_memB.Shown(), -1);
    }
    EXPECT_EQ(m_number->text(), "3");
    EXPECT_EQ(m_main->windowTitle(), "Kovra 1.00 EFF:3 C1:64 C2:127 FS:0.0");
}

TEST_F(EffCtrlDlgTest, RepeatsOfAHeldKeyAreNotPassedOn)
{
    m_main->m_nDeviceA = 1;
    Key(m_number, true, Qt::Key_W);
    Key(m_number, true, Qt::Key_Q);
    ASSERT_EQ(m_main->m_memA.Shown(), 0);
    // Held W and Q: Qt's flagged repeats, and the unflagged presses of detectable auto-repeat.
    Key(m_number, true, Qt::Key_W, {}, true);
    Key(m_number, false, Qt::Key_Q, {}, true);
    Key(m_number, true, Qt::Key_W);
    EXPECT_EQ(m_main->m_memA.Shown(), 0);
    Key(m_number, false, Qt::Key_Q);
    EXPECT_EQ(m_main->m_memA.Shown(), 1);
}

TEST_F(EffCtrlDlgTest, ClosingLetsGoOfTheMainWindowAndANewOneStartsAfresh)
{
    m_dlg->close();
    EXPECT_EQ(m_main->m_pEffCtrlDlg, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_dlg.isNull());

    m_main->m_nEffect = 9;
    m_main->OnCommand(ID_VIEW_CONTROL);
    ASSERT_NE(m_main->m_pEffCtrlDlg, nullptr);
    auto* number =
        m_main->m_pEffCtrlDlg->findChild<QLineEdit*>(QString::number(CEffCtrlDlg::IDC_NUMBER));
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->text(), "9");
}

TEST_F(EffCtrlDlgTest, TheMainWindowTakesAnOpenDialogWithIt)
{
    m_main.reset();
    EXPECT_TRUE(m_dlg.isNull());

    // Closed but not yet deleted when the main window goes.
    m_main = std::make_unique<CMainDlg>();
    m_main->OnCommand(ID_VIEW_CONTROL);
    m_dlg = m_main->m_pEffCtrlDlg;
    m_dlg->close();
    m_main.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_dlg.isNull());
}

}  // namespace

int main(int argc, char** argv)
{
    // Widgets without OpenGL: Qt's offscreen platform serves them without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
