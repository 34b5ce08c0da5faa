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

class EffCtrlDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_main = std::make_unique<CMainDlg>();
        m_main->Performance().SetEffectCount(16);
        m_main->Performance().SetEffect(3, ChangeSource::Dialog);
        m_main->Performance().SetCtrl1(64, ChangeSource::Dialog);
        m_main->Performance().SetCtrl2(127, ChangeSource::Dialog);
        m_main->OnCommand(ID_VIEW_CONTROL);
        m_dlg = m_main->m_pEffCtrlDlg;
        ASSERT_TRUE(m_dlg && QTest::qWaitForWindowActive(m_dlg.data()));
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

    static void Key(QWidget* to, bool press, Qt::Key key, Qt::KeyboardModifiers mods = {},
                    bool repeat = false)
    {
        to->setFocus();
        QTest::simulateEvent(to, press, key, mods, QString(), repeat);
    }
    QString Title() const { return m_main->windowTitle(); }

    std::unique_ptr<CMainDlg> m_main;
    QPointer<CEffCtrlDlg> m_dlg;
    QLineEdit* m_number = nullptr;
    QSlider* m_slider1 = nullptr;
    QSlider* m_slider2 = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
};

TEST_F(EffCtrlDlgTest, OpensModelessWithTheMainWindowsValuesOnce)
{
    EXPECT_EQ(m_dlg->windowTitle(), "Effect Control");
    EXPECT_FALSE(m_dlg->isModal());
    EXPECT_EQ(m_number->text(), "3");
    EXPECT_EQ(m_slider1->value(), 64);
    EXPECT_EQ(m_slider2->value(), 127);
    // Showing the number wrote it back and refreshed the title.
    EXPECT_EQ(Title(), "Kovra 1.00 EFF:3 C1:64 C2:127 FS:0.0");
    m_main->OnCommand(ID_VIEW_CONTROL);
    EXPECT_EQ(m_main->m_pEffCtrlDlg, m_dlg.data());
    EXPECT_EQ(m_main->findChildren<CEffCtrlDlg*>().size(), 1);
}

TEST_F(EffCtrlDlgTest, NumbersAreClampedAsTheyAreTypedOrStepped)
{
    m_number->selectAll();
    QTest::keyClick(m_number, '2');
    EXPECT_EQ(m_main->Performance().Effect(), 2);
    EXPECT_EQ(Title(), "Kovra 1.00 EFF:2 C1:64 C2:127 FS:0.0");
    QTest::keyClick(m_number, '0');
    EXPECT_EQ(m_main->Performance().Effect(), 15);
    EXPECT_EQ(m_number->text(), "15");
    // Letters and signs never reach the field; X and C are not the main window's keys here.
    QTest::keyClicks(m_number, "x-c");
    EXPECT_EQ(m_number->text(), "15");
    EXPECT_EQ(m_main->Performance().Ctrl1(), 64);

    QTest::mouseClick(m_up, Qt::LeftButton);
    QTest::keyClick(m_number, Qt::Key_Up);
    EXPECT_EQ(m_number->text(), "15");
    QTest::keyClick(m_number, Qt::Key_Down);
    EXPECT_EQ(m_main->Performance().Effect(), 14);
    EXPECT_EQ(Title(), "Kovra 1.00 EFF:14 C1:64 C2:127 FS:0.0");
    m_number->selectAll();
    QTest::keyClick(m_number, '2');
    for (int expected : {1, 0, 0}) {
        QTest::mouseClick(m_down, Qt::LeftButton);
        EXPECT_EQ(m_main->Performance().Effect(), expected);
        EXPECT_EQ(m_number->text(), QString::number(expected));
    }
}

TEST_F(EffCtrlDlgTest, AnEmptiedFieldIsRefusedAndTheNumberPutBack)
{
    QStringList seen;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->windowTitle() + "|" + box->text() + "|" +
                        QString::number(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerer.start(5);
    m_number->selectAll();
    QTest::keyClick(m_number, Qt::Key_Backspace);
    EXPECT_EQ(seen, QStringList{"Kovra|Please enter an integer.|1"});
    EXPECT_EQ(m_number->text(), "3");
    QTest::mouseClick(m_up, Qt::LeftButton);
    EXPECT_EQ(m_main->Performance().Effect(), 4);
}

TEST_F(EffCtrlDlgTest, SliderActionsWriteTheSliderPosition)
{
    QTest::keyClick(m_slider1, Qt::Key_Right);
    QTest::keyClick(m_slider2, Qt::Key_Home);
    EXPECT_EQ(Title(), "Kovra 1.00 EFF:3 C1:65 C2:0 FS:0.0");
    // Later changes by MIDI are not shown; the next action writes the slider's own position
    // back, even one that cannot move it.
    m_main->Performance().SetCtrl1(100, ChangeSource::Midi);
    m_main->Performance().SetCtrl2(100, ChangeSource::Midi);
    EXPECT_EQ(m_slider1->value(), 65);
    QTest::keyClick(m_slider1, Qt::Key_Left);
    QTest::keyClick(m_slider2, Qt::Key_Left);
    EXPECT_EQ(Title(), "Kovra 1.00 EFF:3 C1:64 C2:0 FS:0.0");

    const QPoint thumb = m_slider1->rect().center();
    const QPoint end(m_slider1->width() - 1, thumb.y());
    QTest::mousePress(m_slider1, Qt::LeftButton, {}, thumb);
    QTest::mouseMove(m_slider1, end);
    EXPECT_TRUE(m_slider1->isSliderDown());
    EXPECT_GT(m_main->Performance().Ctrl1(), 64);
    EXPECT_EQ(m_main->Performance().Ctrl1(), m_slider1->sliderPosition());
    QTest::mouseRelease(m_slider1, Qt::LeftButton, {}, end);
}

TEST_F(EffCtrlDlgTest, EnterAndEscapeNeitherCloseTheDialogNorReachTheMainWindow)
{
    QSignalSpy finished(m_dlg.data(), &QDialog::finished);
    QSignalSpy returnPressed(m_number, &QLineEdit::returnPressed);
    const QString title = Title();
    for (QWidget* to : {static_cast<QWidget*>(m_number), static_cast<QWidget*>(m_slider1)}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            Key(to, true, key);
            Key(to, false, key);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(m_dlg && m_dlg->isVisible());
    EXPECT_EQ(finished.count() + returnPressed.count(), 0);
    EXPECT_EQ(Title(), title);
}

TEST_F(EffCtrlDlgTest, ShiftAndFrameMemoryKeysButNotTheirRepeatsArePassedOn)
{
    // With a device number FrameKey plays the frame memories, which need no camera to tell
    // which key they show.
    m_main->m_nDeviceA = 1;
    m_main->m_nDeviceB = 1;
    for (QWidget* to : {static_cast<QWidget*>(m_number), static_cast<QWidget*>(m_slider1)}) {
        Key(to, true, Qt::Key_Shift);
        Key(to, true, Qt::Key_Q, Qt::ShiftModifier);
        EXPECT_TRUE(m_main->Performance().Record());
        EXPECT_EQ(m_main->m_memA.Shown(), 0);
        Key(to, true, Qt::Key_K, Qt::ShiftModifier);
        EXPECT_EQ(m_main->m_memB.Shown(), 7);
        Key(to, false, Qt::Key_Shift);
        EXPECT_FALSE(m_main->Performance().Record());
        Key(to, false, Qt::Key_Q);
        Key(to, false, Qt::Key_K);
        EXPECT_EQ(m_main->m_memA.Shown() + m_main->m_memB.Shown(), -2);
    }

    Key(m_number, true, Qt::Key_W);
    Key(m_number, true, Qt::Key_Q);
    // Held: Qt's flagged repeats, and the unflagged presses of detectable auto-repeat.
    Key(m_number, true, Qt::Key_W, {}, true);
    Key(m_number, false, Qt::Key_Q, {}, true);
    Key(m_number, true, Qt::Key_W);
    EXPECT_EQ(m_main->m_memA.Shown(), 0);
    Key(m_number, false, Qt::Key_Q);
    EXPECT_EQ(m_main->m_memA.Shown(), 1);
    EXPECT_EQ(m_number->text(), "3");
    EXPECT_EQ(Title(), "Kovra 1.00 EFF:3 C1:64 C2:127 FS:0.0");
}

TEST_F(EffCtrlDlgTest, ClosingOrDestroyingTheMainWindowLeavesNothingBehind)
{
    m_dlg->close();
    EXPECT_EQ(m_main->m_pEffCtrlDlg, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_dlg.isNull());

    // A new one starts from the current values; the main window then takes it with it.
    m_main->Performance().SetEffect(9, ChangeSource::Dialog);
    m_main->OnCommand(ID_VIEW_CONTROL);
    m_dlg = m_main->m_pEffCtrlDlg;
    ASSERT_TRUE(m_dlg);
    EXPECT_EQ(m_dlg->findChild<QLineEdit*>(QString::number(CEffCtrlDlg::IDC_NUMBER))->text(), "9");
    m_main.reset();
    EXPECT_TRUE(m_dlg.isNull());

    // Closed, and the main window goes before the deferred deletion.
    m_main = std::make_unique<CMainDlg>();
    m_main->OnCommand(ID_VIEW_CONTROL);
    m_dlg = m_main->m_pEffCtrlDlg;
    m_dlg->close();
    m_main.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_dlg.isNull());
}

}  // namespace
