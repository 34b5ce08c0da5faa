// Tests of the settings file layer on real files: round trips, what a write keeps, name matching,
// value reading, defaults, and writes that fail without harming the old file.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "IniFile.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kovra-ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/Kovra.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The names in the test directory, to see that no temporary file is left behind.
    std::set<std::string> Entries() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    int Read(const std::string& section, const std::string& key, int def = -99) const
    {
        return GetPrivateProfileInt(section, key, def, path_);
    }
    bool Write(const std::string& section, const std::string& key, const std::string& value)
    {
        return WritePrivateProfileString(section, key, value, path_);
    }

    std::string dir_;
    std::string path_;
};

const std::string kSixKeys =
    "[MIDI]\nDEVICE=2\nCH=10\nCTRL1=21\nCTRL2=-1\n[CAMERA]\nDEVICE1=0\nDEVICE2=1\n";

void WriteSixKeys(const std::string& path, int device, int ch, int c1, int c2, int cam1, int cam2)
{
    EXPECT_TRUE(WritePrivateProfileString("MIDI", "DEVICE", std::to_string(device), path));
    EXPECT_TRUE(WritePrivateProfileString("MIDI", "CH", std::to_string(ch), path));
    EXPECT_TRUE(WritePrivateProfileString("MIDI", "CTRL1", std::to_string(c1), path));
    EXPECT_TRUE(WritePrivateProfileString("MIDI", "CTRL2", std::to_string(c2), path));
    EXPECT_TRUE(WritePrivateProfileString("CAMERA", "DEVICE1", std::to_string(cam1), path));
    EXPECT_TRUE(WritePrivateProfileString("CAMERA", "DEVICE2", std::to_string(cam2), path));
}

// --- Round trips of the program's own six settings ---

TEST_F(IniFileTest, SixKeysWrittenIntoNewFileGiveExactTextAndReadBack)
{
    WriteSixKeys(path_, 2, 10, 21, -1, 0, 1);
    EXPECT_EQ(ReadAll(path_), kSixKeys);
    EXPECT_EQ(Read("MIDI", "DEVICE"), 2);
    EXPECT_EQ(Read("MIDI", "CH"), 10);
    EXPECT_EQ(Read("MIDI", "CTRL1"), 21);
    EXPECT_EQ(Read("MIDI", "CTRL2"), -1);
    EXPECT_EQ(Read("CAMERA", "DEVICE1"), 0);
    EXPECT_EQ(Read("CAMERA", "DEVICE2"), 1);
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});
}

TEST_F(IniFileTest, RewritingTheSixKeysUpdatesInPlace)
{
    WriteSixKeys(path_, 2, 10, 21, -1, 0, 1);
    WriteSixKeys(path_, 5, 1, 7, 127, 3, 4);
    EXPECT_EQ(ReadAll(path_),
              "[MIDI]\nDEVICE=5\nCH=1\nCTRL1=7\nCTRL2=127\n[CAMERA]\nDEVICE1=3\nDEVICE2=4\n");
    EXPECT_EQ(Read("MIDI", "CTRL2"), 127);
    EXPECT_EQ(Read("CAMERA", "DEVICE2"), 4);
}

TEST_F(IniFileTest, NewFileGetsTheUsualPermissions)
{
    mode_t old = umask(022);
    EXPECT_TRUE(Write("MIDI", "CH", "1"));
    umask(old);
    struct stat info;
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

// --- What a write keeps ---

TEST_F(IniFileTest, UpdateKeepsEveryOtherLineByteForByte)
{
    const std::string before =
        "; Kovra settings\n"
        "stray=1\n"
        "\n"
        "[Window]\n"
        "X = 10\n"
        "# hash comment\n"
        "this line means nothing\n"
        "\n"
        "[MIDI]\n"
        "  ch  =  3   \n"
        "CTRL1=21 ; the fader\n"
        "[broken header\n"
        "\n";
    WriteText(path_, before);
    EXPECT_TRUE(Write("midi", "CH", "9"));
    std::string expected = before;
    expected.replace(expected.find("  ch  =  3   "), 13, "  ch  =9");
    EXPECT_EQ(ReadAll(path_), expected);
    EXPECT_EQ(Read("MIDI", "CH"), 9);
    EXPECT_EQ(Read("MIDI", "CTRL1"), 21);
    EXPECT_EQ(Read("Window", "X"), 10);
}

TEST_F(IniFileTest, NewKeyGoesAfterTheSectionsLastKey)
{
    WriteText(path_,
              "[MIDI]\nDEVICE=1\n; comment about CH\nCH=2\n\n\n; camera next: DEVICE1=0 is built "
              "in\n[CAMERA]\n"
              "DEVICE1=0\n");
    EXPECT_TRUE(Write("MIDI", "CTRL1", "5"));
    EXPECT_TRUE(Write("CAMERA", "DEVICE2", "6"));
    EXPECT_EQ(ReadAll(path_),
              "[MIDI]\nDEVICE=1\n; comment about CH\nCH=2\nCTRL1=5\n\n\n; camera next: DEVICE1=0 "
              "is built in\n"
              "[CAMERA]\nDEVICE1=0\nDEVICE2=6\n");
}

TEST_F(IniFileTest, NewKeyInSectionWithoutKeysFollowsItsHeader)
{
    WriteText(path_, "[MIDI]\n\n[CAMERA]\nDEVICE1=0\n");
    EXPECT_TRUE(Write("MIDI", "CH", "4"));
    EXPECT_EQ(ReadAll(path_), "[MIDI]\nCH=4\n\n[CAMERA]\nDEVICE1=0\n");
}

TEST_F(IniFileTest, NewSectionGoesAtTheEndEvenWithoutFinalLineBreak)
{
    WriteText(path_, "[Other]\nA=1");
    EXPECT_TRUE(Write("CAMERA", "DEVICE1", "2"));
    EXPECT_EQ(ReadAll(path_), "[Other]\nA=1\n[CAMERA]\nDEVICE1=2\n");

    WriteText(path_, "[CAMERA]\nDEVICE1=2");
    EXPECT_TRUE(Write("CAMERA", "DEVICE2", "3"));
    EXPECT_EQ(ReadAll(path_), "[CAMERA]\nDEVICE1=2\nDEVICE2=3\n");
}

TEST_F(IniFileTest, CrlfFileStaysCrlf)
{
    WriteText(path_, "; saved on Windows\r\n[MIDI]\r\nCH=1\r\n\r\n");
    EXPECT_TRUE(Write("MIDI", "CH", "12"));
    EXPECT_TRUE(Write("MIDI", "CTRL1", "3"));
    EXPECT_TRUE(Write("CAMERA", "DEVICE1", "0"));
    EXPECT_EQ(ReadAll(path_),
              "; saved on Windows\r\n[MIDI]\r\nCH=12\r\nCTRL1=3\r\n\r\n[CAMERA]\r\nDEVICE1=0\r\n");
    EXPECT_EQ(Read("MIDI", "CH"), 12);
}

TEST_F(IniFileTest, WriteKeepsPermissionsOwnerAndSymlink)
{
    const std::string real = dir_ + "/real.ini";
    WriteText(real, "[MIDI]\nCH=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    // Root writing another user's settings file must not take it over.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(real.c_str(), 1234, 5678), 0);
    }
    ASSERT_EQ(symlink("real.ini", path_.c_str()), 0);

    EXPECT_TRUE(Write("MIDI", "CH", "2"));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadAll(real), "[MIDI]\nCH=2\n");
    struct stat info;
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 1234u);
        EXPECT_EQ(info.st_gid, 5678u);
    }
    EXPECT_EQ(Entries(), (std::set<std::string>{"Kovra.ini", "real.ini"}));
}

// --- Name matching ---

TEST_F(IniFileTest, NamesMatchWithoutCaseOrSurroundingBlanks)
{
    WriteText(path_, "[ Midi ]\n\tDevice = 4\n");
    EXPECT_EQ(Read("MIDI", "DEVICE"), 4);
    EXPECT_EQ(Read("midi", "device"), 4);
    EXPECT_EQ(Read(" MIDI\t", " DEVICE "), 4);
    EXPECT_EQ(Read("MID", "DEVICE"), -99);
    EXPECT_EQ(Read("MIDI", "DEVICE1"), -99);

    EXPECT_TRUE(Write("midi", " DEVICE ", "8"));
    EXPECT_EQ(ReadAll(path_), "[ Midi ]\n\tDevice =8\n");
    EXPECT_TRUE(Write(" camera ", " Device1 ", "1"));
    EXPECT_EQ(ReadAll(path_), "[ Midi ]\n\tDevice =8\n[camera]\nDevice1=1\n");
}

TEST_F(IniFileTest, FirstOfRepeatedSectionOrKeyCounts)
{
    WriteText(path_, "[MIDI]\nCH=1\nCH=2\n[CAMERA]\nDEVICE1=5\n[midi]\nCH=3\nCTRL1=7\n");
    EXPECT_EQ(Read("MIDI", "CH"), 1);
    EXPECT_EQ(Read("MIDI", "CTRL1"), -99);  // only in the second [midi]

    EXPECT_TRUE(Write("MIDI", "CH", "9"));
    EXPECT_EQ(ReadAll(path_), "[MIDI]\nCH=9\nCH=2\n[CAMERA]\nDEVICE1=5\n[midi]\nCH=3\nCTRL1=7\n");
}

// --- Reading values ---

TEST_F(IniFileTest, ValuesReadLikeTheProfileIntegerRead)
{
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"12abc", 12},
        {"-3", -3},
        {"+7", 7},
        {"abc", 0},
        {"", 0},
        {"  42", 42},
        {"\t 5", 5},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999", INT_MIN},
        {"999999999999999999999999", INT_MAX},
        {"-", 0},
        {"- 5", 0},
        {"1 2", 1},
        {"0x1F", 0},
    };
    for (const auto& c : cases) {
        WriteText(path_, std::string("[MIDI]\nCH=") + c.value + "\n");
        EXPECT_EQ(Read("MIDI", "CH"), c.expected) << "value \"" << c.value << "\"";
    }
    WriteText(path_, "[MIDI]\r\nCH=-8\r\n");
    EXPECT_EQ(Read("MIDI", "CH"), -8);
}

// --- Defaults ---

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesDefault)
{
    EXPECT_EQ(Read("MIDI", "CH", 16), 16);
    EXPECT_EQ(GetPrivateProfileInt("MIDI", "CH", 5, dir_ + "/none/Kovra.ini"), 5);
    EXPECT_EQ(GetPrivateProfileInt("MIDI", "CH", 6, dir_), 6);  // a directory

    WriteText(path_, "CH=1\n[CAMERA]\nCH=2\n; CTRL1=3\n[MIDI\nCTRL2=4\n[MIDI]\nDEVICE\n=5\n");
    EXPECT_EQ(Read("MIDI", "CH", 16), 16);     // only before any section and in another one
    EXPECT_EQ(Read("MIDI", "CTRL1", 17), 17);  // commented out
    EXPECT_EQ(Read("MIDI", "CTRL2", 18), 18);  // a header without ']' starts no section
    EXPECT_EQ(Read("CAMERA", "CTRL2", 18), 4);
    EXPECT_EQ(Read("MIDI", "DEVICE", 19), 19);  // no '='
    EXPECT_EQ(Read("MIDI", "", 20), 20);
    EXPECT_EQ(Read("VIDEO", "CH", 21), 21);
    EXPECT_EQ(Read("CAMERA", "CH", 21), 2);
}

// --- Failed writes leave the old file as it was ---

TEST_F(IniFileTest, WriteFailsWhenSettingsPathCannotBeRead)
{
    ASSERT_TRUE(fs::create_directory(path_));
    EXPECT_FALSE(Write("MIDI", "CH", "1"));
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_TRUE(fs::is_empty(path_));
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});

    // A link to itself exists but cannot be opened; it is not a missing file to create.
    fs::remove(path_);
    ASSERT_EQ(symlink("Kovra.ini", path_.c_str()), 0);
    EXPECT_FALSE(Write("MIDI", "CH", "1"));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});
}

TEST_F(IniFileTest, WriteFailsWhenParentDirectoryIsMissing)
{
    EXPECT_FALSE(WritePrivateProfileString("MIDI", "CH", "1", dir_ + "/gone/Kovra.ini"));
    EXPECT_TRUE(Entries().empty());
}

TEST_F(IniFileTest, WriteFailsOnFullDiskAndKeepsOldFile)
{
    const std::string before = "[MIDI]\nCH=1\n";
    WriteText(path_, before);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit makes writes fail with EFBIG, which root cannot override.
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {8, 8};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
        if (WritePrivateProfileString("MIDI", "CTRL1", "1234567890", path_)) _exit(11);
        if (ReadAll(path_) != before) _exit(12);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit, 11: write said true, 12: file changed";
    EXPECT_EQ(ReadAll(path_), before);
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});
}

TEST_F(IniFileTest, WriteRefusesWhatTheFileCannotHold)
{
    const std::string before = "[MIDI]\nCH=1\n";
    WriteText(path_, before);
    EXPECT_FALSE(Write("MIDI", "CH", "1\n[CAMERA]"));
    EXPECT_FALSE(Write("MIDI", "CH", "1\r"));
    EXPECT_FALSE(Write("MIDI", "C\nH", "1"));
    EXPECT_FALSE(Write("MIDI", "", "1"));
    EXPECT_FALSE(Write("MIDI", "  ", "1"));
    EXPECT_FALSE(Write("MIDI", "A=B", "1"));
    EXPECT_FALSE(Write("MIDI", ";CH", "1"));
    EXPECT_FALSE(Write("MIDI", "#CH", "1"));
    EXPECT_FALSE(Write("MIDI", "[CH]", "1"));
    EXPECT_FALSE(Write("", "CH", "1"));
    EXPECT_FALSE(Write("MI]DI", "CH", "1"));
    EXPECT_FALSE(WritePrivateProfileString("MIDI", "CH", "1", ""));
    EXPECT_EQ(ReadAll(path_), before);
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});
}

}  // namespace
