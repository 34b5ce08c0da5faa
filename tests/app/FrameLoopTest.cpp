// The frame loop on a real window and OpenGL context (under a virtual X display), with the
// effects library's calls recorded: the reset rule, the record it is handed, the frame
// rate window and the title's moments.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>

#include "FrameClock.h"
#include "MainDlg.h"
#include "RecordingEffects.h"

namespace {

class FrameLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordedEffectCalls().clear();
        m_dlg = std::make_unique<CMainDlg>();
        m_dlg->m_settingsPath = "/nonexistent-folder/kovra-test.ini";
        ASSERT_TRUE(m_dlg->Setup()) << "no OpenGL context on this display";
        RecordedEffectCalls().clear();
    }

    std::vector<std::string> Tick()
    {
        RecordedEffectCalls().clear();
        m_dlg->DrawFrame();
        return RecordedEffectCalls();
    }

    std::unique_ptr<CMainDlg> m_dlg;
};

TEST_F(FrameLoop, SetupInitialisesTheEffectsOnceAndShowsTheStartTitle)
{
    CMainDlg dlg;
    dlg.m_settingsPath = "/nonexistent-folder/kovra-test.ini";
    RecordedEffectCalls().clear();
    ASSERT_TRUE(dlg.Setup());
    EXPECT_EQ(RecordedEffectCalls(), std::vector<std::string>{"init"});
    EXPECT_EQ(dlg.Performance().EffectCount(), 16);
    EXPECT_EQ(dlg.windowTitle(), "Kovra 1.00 EFF:0 C1:0 C2:0 FS:0.0");
    EXPECT_EQ(dlg.Midi().Filter(), 13u);
}

TEST_F(FrameLoop, FirstFramesDrawEffectZeroWithoutAReset)
{
    EXPECT_EQ(Tick(), std::vector<std::string>{"draw 0 0 0 100 101"});
    EXPECT_EQ(Tick(), std::vector<std::string>{"draw 0 0 0 100 101"});
}

TEST_F(FrameLoop, ANewEffectIsResetOnceBeforeItsFirstDraw)
{
    m_dlg->Performance().SetEffect(5, ChangeSource::Dialog);
    m_dlg->Performance().SetCtrl1(64, ChangeSource::Dialog);
    m_dlg->Performance().SetCtrl2(127, ChangeSource::Dialog);
    EXPECT_EQ(Tick(), (std::vector<std::string>{"reset 5", "draw 5 64 127 100 101"}));
    EXPECT_EQ(Tick(), std::vector<std::string>{"draw 5 64 127 100 101"});
    m_dlg->Performance().SetEffect(5, ChangeSource::Dialog);  // the same number again: no reset
    EXPECT_EQ(Tick(), std::vector<std::string>{"draw 5 64 127 100 101"});
}

TEST_F(FrameLoop, TwoChangesBetweenTicksResetOnlyTheLast)
{
    m_dlg->Performance().SetEffect(7, ChangeSource::Dialog);
    m_dlg->Performance().SetEffect(9, ChangeSource::Dialog);
    EXPECT_EQ(Tick(), (std::vector<std::string>{"reset 9", "draw 9 0 0 100 101"}));
    m_dlg->Performance().SetEffect(3, ChangeSource::Dialog);
    m_dlg->Performance().SetEffect(9, ChangeSource::Dialog);  // back where it was before the tick
    EXPECT_EQ(Tick(), std::vector<std::string>{"draw 9 0 0 100 101"});
}

TEST_F(FrameLoop, StoppedLoopDrawsNothingButCountsTicks)
{
    m_dlg->m_bRunning = false;
    const int before = m_dlg->m_nFrameCount;
    RecordedEffectCalls().clear();
    m_dlg->OnTimer();
    m_dlg->OnTimer();
    EXPECT_TRUE(RecordedEffectCalls().empty());
    EXPECT_EQ(m_dlg->m_nFrameCount, before + 2);
}

TEST_F(FrameLoop, RateAppearsInTheTitleAfterAWindowOfOverFiveSeconds)
{
    m_dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
    EXPECT_TRUE(m_dlg->windowTitle().startsWith("Kovra 1.00"));
    // A busy machine may take seconds to show the window, so the rate window starts anew
    // here, and the title is read against the loop's own clock, not a fixed wait.
    m_dlg->m_dwFpsStart = timeGetTime();
    m_dlg->m_nFrameCount = 0;
    m_dlg->m_fFps = 0.0f;
    m_dlg->UpdateTitle();
    const uint32_t start = m_dlg->m_dwFpsStart;
    ASSERT_TRUE(m_dlg->windowTitle().endsWith("FS:0.0"));
    const bool appeared =
        QTest::qWaitFor([&] { return !m_dlg->windowTitle().endsWith("FS:0.0"); }, 60000);
    ASSERT_TRUE(appeared) << "no rate within a minute";
    EXPECT_GE(timeGetTime() - start, 5000u) << "a rate before the window ended";
    const QString title = m_dlg->windowTitle();
    const float fps = title.section("FS:", 1).toFloat();
    // Ticks 33 ms apart make 30.3 a second; a loaded machine may lose some, never gain.
    EXPECT_GT(fps, 5.0f) << title.toStdString();
    EXPECT_LE(fps, 31.0f) << title.toStdString();
}

TEST_F(FrameLoop, KeysChangeValuesClampAndRefreshTheTitle)
{
    for (int i = 0; i < 20; ++i) m_dlg->OnKeyDown('X', i > 0);
    EXPECT_EQ(m_dlg->Performance().Effect(), 15) << "X twenty times stops at the last effect";
    for (int i = 0; i < 3; ++i) m_dlg->OnKeyDown('C', false);
    EXPECT_EQ(m_dlg->Performance().Ctrl1(), 0);
    for (int i = 0; i < 130; ++i) m_dlg->OnKeyDown('V', true);
    EXPECT_EQ(m_dlg->Performance().Ctrl1(), 127);
    m_dlg->OnKeyDown('N', false);
    m_dlg->OnKeyDown('N', false);
    m_dlg->OnKeyDown('B', false);
    EXPECT_EQ(m_dlg->Performance().Ctrl2(), 1);
    EXPECT_EQ(m_dlg->windowTitle(), "Kovra 1.00 EFF:15 C1:127 C2:1 FS:0.0");
    m_dlg->OnKeyUp('V');
    m_dlg->m_fFps = 12.5f;  // a rate the title does not show yet
    m_dlg->OnKeyUp('V');
    EXPECT_TRUE(m_dlg->windowTitle().contains("FS:0.0")) << "key-up leaves the title alone";
    m_dlg->OnKeyDown('P', true);  // any key down, even one that changes nothing
    EXPECT_TRUE(m_dlg->windowTitle().contains("FS:12.5"));
    m_dlg->Performance().SetCtrl1(3, ChangeSource::Dialog);
    EXPECT_TRUE(m_dlg->windowTitle().contains("C1:3")) << "every change shows at once";
}

TEST_F(FrameLoop, KeyDownsWithAltAndF10DoNotActButEveryReleaseDoes)
{
    const auto key = [this](QEvent::Type type, int qtKey, Qt::KeyboardModifiers modifiers) {
        const QKeyEvent event(type, qtKey, modifiers);
        if (type == QEvent::KeyPress) {
            m_dlg->HandleKeyPress(event);
        } else {
            m_dlg->HandleKeyRelease(event);
        }
    };
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier | Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_X, Qt::AltModifier | Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
    EXPECT_EQ(m_dlg->Performance().Effect(), 0) << "Alt+X and F10 belong to the menu";
    EXPECT_TRUE(m_dlg->Performance().Record());
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::AltModifier);
    EXPECT_FALSE(m_dlg->Performance().Record()) << "a release with Alt held still counts";
    key(QEvent::KeyRelease, Qt::Key_X, Qt::AltModifier);
    key(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier);
    EXPECT_EQ(m_dlg->Performance().Effect(), 1);
}

TEST_F(FrameLoop, ShiftHoldsTheRecordFlagOnlyWhileDown)
{
    m_dlg->OnKeyDown(16, false);
    EXPECT_TRUE(m_dlg->Performance().Record());
    m_dlg->OnKeyUp(16);
    EXPECT_FALSE(m_dlg->Performance().Record());
    m_dlg->OnKeyDown(16, true);  // an auto-repeat is no first press
    EXPECT_FALSE(m_dlg->Performance().Record());
}

}  // namespace
