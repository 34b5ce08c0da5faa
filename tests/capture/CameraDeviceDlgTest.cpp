// The Camera Device dialog on Qt's offscreen platform: its list against the device list, the
// entry it opens on, and what OK, typed text and cancelling do to the position it edits.
// Holds main() for the dialog tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "CameraDeviceDlg.h"
#include "CaptureSetup.h"
#include "DeviceList.h"
#include "TestDevices.h"

namespace {

class CameraDeviceDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_names = VideoDeviceNames();
        // The tests' own cameras, then the built-in test patterns.
        ASSERT_GE(m_names.size(), 4u);
        ASSERT_GT(DevicePosition(kRows320), 0);
        m_main = std::make_unique<QWidget>();
    }

    // Opens the dialog on `position` as the Device command does, without its modal loop.
    void Open(int start)
    {
        m_position = start;
        m_dlg = new CCameraDeviceDlg(m_position, m_name, m_main.get());
        m_dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg));
        m_combo = m_dlg->findChild<QComboBox*>(QString::number(CCameraDeviceDlg::IDC_DEVICE));
        m_ok = m_dlg->findChild<QPushButton*>(QString::number(CCameraDeviceDlg::IDOK));
        ASSERT_TRUE(m_combo && m_ok);
    }

    int Last() const { return static_cast<int>(m_names.size()); }

    std::vector<std::string> m_names;
    std::unique_ptr<QWidget> m_main;
    int m_position = 0;
    std::string m_name = "remembered";
    CCameraDeviceDlg* m_dlg = nullptr;  // owned by m_main
    QComboBox* m_combo = nullptr;
    QPushButton* m_ok = nullptr;
};

TEST_F(CameraDeviceDlgTest, ListsNoneThenEveryDeviceWithItsPosition)
{
    Open(0);
    EXPECT_EQ(m_dlg->windowTitle(), "Camera Device");
    EXPECT_TRUE(m_dlg->isModal());
    EXPECT_EQ(m_dlg->parentWidget(), m_main.get());
    EXPECT_TRUE(m_combo->isEditable());
    EXPECT_TRUE(m_ok->isDefault());
    EXPECT_EQ(m_ok->text(), "OK");
    // No Cancel button: Escape and the close box cancel.
    EXPECT_EQ(m_dlg->findChildren<QPushButton*>().size(), 1);

    ASSERT_EQ(m_combo->count(), Last() + 1);
    EXPECT_EQ(m_combo->itemText(0), "None");
    EXPECT_EQ(m_combo->itemData(0).toInt(), 0);
    for (int k = 1; k <= Last(); ++k) {
        EXPECT_EQ(m_combo->itemText(k).toStdString(), m_names[k - 1]) << "entry " << k;
        EXPECT_EQ(m_combo->itemData(k).toInt(), k) << "entry " << k;
    }
    // Opening again lists afresh rather than adding to the old list.
    m_dlg->hide();
    m_dlg->show();
    EXPECT_EQ(m_combo->count(), Last() + 1);
}

TEST_F(CameraDeviceDlgTest, OpensOnTheCurrentPositionAndOkTakesTheSelection)
{
    Open(Last());
    EXPECT_EQ(m_combo->currentIndex(), Last());
    m_combo->setCurrentIndex(0);
    QTest::mouseClick(m_ok, Qt::LeftButton);
    EXPECT_EQ(m_position, 0);
    EXPECT_EQ(m_name, "") << "None forgets the name";
    EXPECT_EQ(m_dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(m_dlg->isVisible());

    Open(0);
    EXPECT_EQ(m_combo->currentText(), "None");
    m_combo->setCurrentIndex(2);
    QTest::mouseClick(m_ok, Qt::LeftButton);
    EXPECT_EQ(m_position, 2);
    EXPECT_EQ(m_name, m_names[1]) << "the chosen device's name is kept with its position";

    // A device gone since the position was stored: nothing selected, the field empty, and OK
    // keeps the position.
    Open(Last() + 1);
    EXPECT_EQ(m_combo->currentIndex(), -1);
    EXPECT_EQ(m_combo->currentText(), "");
    QTest::mouseClick(m_ok, Qt::LeftButton);
    EXPECT_EQ(m_position, Last() + 1);
    EXPECT_EQ(m_name, m_names[1]);
    EXPECT_EQ(m_dlg->result(), QDialog::Accepted);
}

TEST_F(CameraDeviceDlgTest, AFileEntryGivesItsPathAndOpenFileAsksForOne)
{
    std::string file = "/old.png";
    std::string answer;  // what Open File's chooser gives
    m_position = 1;
    m_dlg = new CCameraDeviceDlg(m_position, m_name, m_main.get());
    m_dlg->SetSources(
        [] {
            return SourceListing{{"Cam", "loop.mp4", kOpenFileEntry}, {"", "/c/loop.mp4", ""}};
        },
        [&] { return answer; }, file);
    m_dlg->show();
    m_combo = m_dlg->findChild<QComboBox*>(QString::number(CCameraDeviceDlg::IDC_DEVICE));
    ASSERT_EQ(m_combo->count(), 4);
    m_combo->setCurrentIndex(2);
    m_dlg->OnOK();
    EXPECT_EQ(m_position, 2);
    EXPECT_EQ(file, "/c/loop.mp4");
    EXPECT_EQ(m_name, "loop.mp4");

    // Open File without a choice leaves the dialog open and everything as it was.
    m_dlg->show();
    m_combo->setCurrentIndex(3);
    m_dlg->OnOK();
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(file, "/c/loop.mp4");
    answer = "/else/logo\xe9.png";
    m_dlg->OnOK();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_position, 3);
    EXPECT_EQ(file, answer);
    EXPECT_EQ(m_name, "logo\xe9.png");
}

TEST_F(CameraDeviceDlgTest, TypedTextSelectsOnlyAnEntryItMatchesExactly)
{
    Open(1);
    m_combo->lineEdit()->selectAll();
    QTest::keyClicks(m_combo->lineEdit(), "No such camera");
    QTest::mouseClick(m_ok, Qt::LeftButton);
    EXPECT_EQ(m_position, 1);
    // The typed text did not become an entry.
    EXPECT_EQ(m_combo->count(), Last() + 1);

    // Clearing the field selects nothing either.
    Open(1);
    m_combo->lineEdit()->clear();
    QTest::mouseClick(m_ok, Qt::LeftButton);
    EXPECT_EQ(m_position, 1);

    // Text that is a whole entry's name selects that entry: with OK taken while the field
    // still has the focus, and with Return in the field, which is OK too.
    Open(0);
    m_combo->lineEdit()->selectAll();
    QTest::keyClicks(m_combo->lineEdit(), QString::fromStdString(m_names.front()));
    ASSERT_EQ(m_combo->currentIndex(), 0);
    m_dlg->OnOK();
    EXPECT_EQ(m_position, 1);

    Open(0);
    m_combo->lineEdit()->selectAll();
    QTest::keyClicks(m_combo->lineEdit(), QString::fromStdString(m_names.back()));
    QTest::keyClick(m_combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(m_position, Last());
    EXPECT_FALSE(m_dlg->isVisible());
}

TEST_F(CameraDeviceDlgTest, EscapeAndTheCloseBoxKeepThePosition)
{
    Open(1);
    m_combo->setCurrentIndex(Last());
    QTest::keyClick(m_combo, Qt::Key_Escape);
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
    EXPECT_EQ(m_position, 1);

    Open(Last());
    m_combo->setCurrentIndex(0);
    m_dlg->close();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->result(), QDialog::Rejected);
    EXPECT_EQ(m_position, Last());
}

}  // namespace

int main(int argc, char** argv)
{
    // Widgets only: Qt's offscreen platform serves them without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    InitCapture();
    RegisterTestDevices();
    return RUN_ALL_TESTS();
}
