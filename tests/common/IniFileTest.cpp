// Tests of the settings file layer on real files: round trips, what a write keeps, name matching,
// value reading, defaults, writes that fail without harming the old file, what is not ours to
// replace, and writers killed or running at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

    // The names in the test directory, to see that no temporary file is left behind (the
    // writers' lock file stays, and is not counted).
    std::set<std::string> Entries() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        names.erase(".kovra-ini.lock");
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

TEST_F(IniFileTest, ANewFileHoldingASecretIsTheOwnersAloneAndAnOldOneKeepsItsMode)
{
    mode_t old = umask(022);
    IniProfile profile(path_);
    profile.Set("OUTPUT", "STREAMPASSPHRASE", "0123456789");
    profile.KeepPrivate();
    EXPECT_TRUE(profile.Commit());
    struct stat info;
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    IniProfile again(path_);
    again.Set("OUTPUT", "SEND", "1");
    again.KeepPrivate();
    EXPECT_TRUE(again.Commit());
    umask(old);
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
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

TEST_F(IniFileTest, KeysAreListedAndRemovedInTheFirstSectionOnly)
{
    const std::string before =
        "; top\n[Bind]\n a = 1\n; note\nB=2\nA=3\n[other]\nA=4\n[bind]\nC=5\n";
    WriteText(path_, before);
    IniProfile profile(path_);
    EXPECT_EQ(profile.Keys(" BIND "), (std::vector<std::string>{"a", "B", "A"}));
    EXPECT_TRUE(profile.Keys("missing").empty());
    EXPECT_TRUE(profile.Remove("bind", "A"));
    EXPECT_TRUE(profile.Remove("bind", "gone"));
    EXPECT_TRUE(profile.Remove("missing", "A"));
    EXPECT_FALSE(profile.Remove("bind", "x=y"));
    EXPECT_TRUE(profile.Set("bind", "D", "6"));
    EXPECT_EQ(profile.Keys("bind").size(), 3u) << "queued changes are not read back";
    EXPECT_TRUE(profile.Commit());
    EXPECT_EQ(ReadAll(path_), "; top\n[Bind]\n; note\nB=2\nD=6\n[other]\nA=4\n[bind]\nC=5\n");
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

TEST_F(IniFileTest, WriteKeepsPermissionsAndGroup)
{
    WriteText(path_, "[MIDI]\nCH=1\n");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    // Root can give its file another group, which the new file must keep.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path_.c_str(), 0, 5678), 0);
    }
    EXPECT_TRUE(Write("MIDI", "CH", "2"));
    EXPECT_EQ(ReadAll(path_), "[MIDI]\nCH=2\n");
    struct stat info;
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_gid, 5678u);
    }
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});
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

TEST_F(IniFileTest, AFileReadAtTheFullSizeIsWrittenBackWhenItGrows)
{
    std::string text = "[MIDI]\nCH=1\n;";
    text += std::string(kMaxIniFileSize - text.size() - 1, ';') + "\n";
    ASSERT_EQ(text.size(), kMaxIniFileSize);
    WriteText(path_, text);
    ASSERT_EQ(Read("MIDI", "CH"), 1);
    EXPECT_TRUE(Write("MIDI", "CH", "10"));
    EXPECT_EQ(ReadAll(path_), "[MIDI]\nCH=10" + text.substr(11));
    EXPECT_EQ(Read("MIDI", "CH"), 10) << "the grown file is read at the next start";
    EXPECT_TRUE(Write("CAMERA", "DEVICE1", "2")) << "and written again";
}

// --- What is not ours to replace ---

struct Snapshot {
    struct stat info = {};
    std::string text;  // regular files only: a FIFO would block the reading
};

Snapshot Take(const std::string& path)
{
    Snapshot s;
    EXPECT_EQ(lstat(path.c_str(), &s.info), 0) << path;
    if (S_ISREG(s.info.st_mode)) s.text = ReadAll(path);
    return s;
}

TEST_F(IniFileTest, OnlyOurOwnWritableRegularFileIsReplaced)
{
    // Each case puts in the settings file's place a link (to a path relative to the folder or
    // absolute), a file (at the link's target or in the file's place), or, with neither, a FIFO.
    // The file found there must stay as it was, unless the write is to go through.
    const std::string small = "[MIDI]\nCH=  7abc\n";
    const std::string big = small + std::string(kMaxIniFileSize + kIniGrowthRoom, ';');
    const struct {
        const char* what;
        const char* link;
        const std::string* text;
        mode_t mode;
        uid_t foreignOwner;  // 0: the file is ours
        int read;            // what CH reads; -99: no settings file
        bool written;
    } cases[] = {
        {"read-only file", nullptr, &small, 0444, 0, 7, false},
        {"another user's file", nullptr, &small, 0666, 65534, 7, false},
        {"symbolic link to our file", "real.ini", &small, 0644, 0, 7, true},
        {"dangling symbolic link", "missing.ini", nullptr, 0, 0, -99, false},
        {"symbolic link to a device", "/dev/null", nullptr, 0, 0, -99, false},
        {"FIFO", nullptr, nullptr, 0, 0, -99, false},
        {"file over the size limit", nullptr, &big, 0644, 0, -99, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.foreignOwner && geteuid() != 0) {
            std::cout << "[  SKIPPED ] " << c.what << ": making another user's file needs root\n";
            continue;
        }
        fs::remove_all(dir_);
        fs::create_directory(dir_);
        std::string found = path_;
        if (c.link) {
            ASSERT_EQ(symlink(c.link, path_.c_str()), 0);
            if (c.text || c.link[0] == '/') found = c.link[0] == '/' ? c.link : dir_ + "/" + c.link;
        }
        if (c.text) {
            WriteText(found, *c.text);
            ASSERT_EQ(chmod(found.c_str(), c.mode), 0);
            if (c.foreignOwner) {
                ASSERT_EQ(chown(found.c_str(), c.foreignOwner, c.foreignOwner), 0);
            }
        } else if (!c.link) {
            ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0);
        }
        const Snapshot before = Take(found);
        const std::set<std::string> names = Entries();

        EXPECT_EQ(Read("MIDI", "CH"), c.read);
        EXPECT_EQ(Write("MIDI", "CH", "9"), c.written);

        EXPECT_EQ(Entries(), names) << "a file was added or removed";
        const Snapshot after = Take(found);
        EXPECT_EQ(after.info.st_mode, before.info.st_mode);
        EXPECT_EQ(after.info.st_uid, before.info.st_uid);
        if (c.written) {
            EXPECT_EQ(after.text, "[MIDI]\nCH=9\n");
            EXPECT_TRUE(fs::is_symlink(path_));
        } else {
            EXPECT_EQ(after.info.st_ino, before.info.st_ino);
            EXPECT_EQ(after.text, before.text);
        }
    }
}

// --- Another user (65534), who may use the folder too ---

// Runs `act` as user 65534 in a child that then stays (holding what it took) until this
// object goes; Done() is act's result.
class OtherUser {
public:
    template <typename Act>
    explicit OtherUser(Act act)
    {
        int report[2];
        if (pipe(report) != 0) return;
        m_child = fork();
        if (m_child == 0) {
            const char ok = setgid(65534) == 0 && setuid(65534) == 0 && act() ? 'y' : 'n';
            (void)!write(report[1], &ok, 1);
            pause();
            _exit(0);
        }
        close(report[1]);
        char ok = 'n';
        if (m_child > 0 && read(report[0], &ok, 1) == 1) m_done = ok == 'y';
        close(report[0]);
    }
    ~OtherUser()
    {
        if (m_child <= 0) return;
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
    }
    bool Done() const { return m_done; }

private:
    pid_t m_child = -1;
    bool m_done = false;
};

bool s_lockBusy = false;
void NoteLockBusy(IniStage stage) { s_lockBusy = s_lockBusy || stage == IniStage::LockBusy; }

TEST_F(IniFileTest, AnotherUsersLinkInASharedFolderIsNotFollowed)
{
    if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    // The program's folder is world-writable; the user's own notes are elsewhere.
    ASSERT_EQ(chmod(dir_.c_str(), 01777), 0);
    const std::string notes = dir_ + "/own/notes.txt";
    fs::create_directory(dir_ + "/own");
    ASSERT_EQ(chmod((dir_ + "/own").c_str(), 0700), 0);
    WriteText(notes, "my notes\n");
    ASSERT_EQ(chmod(notes.c_str(), 0600), 0);
    const OtherUser other([&] { return symlink(notes.c_str(), path_.c_str()) == 0; });
    ASSERT_TRUE(other.Done());

    EXPECT_FALSE(Write("MIDI", "CH", "9"));
    EXPECT_EQ(ReadAll(notes), "my notes\n");
    EXPECT_TRUE(fs::is_symlink(path_));
}

TEST_F(IniFileTest, AnotherUserWhoMayReadTheFolderCannotHoldUpAWrite)
{
    if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    ASSERT_TRUE(Write("MIDI", "CH", "1"));
    // Whatever lock is there for the taking, the other user takes and keeps.
    const OtherUser other([&] {
        const int folder = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
        const int file = open((dir_ + "/.kovra-ini.lock").c_str(), O_RDONLY);
        if (file >= 0) flock(file, LOCK_EX);
        return folder >= 0 && flock(folder, LOCK_EX) == 0;
    });
    ASSERT_TRUE(other.Done());

    s_lockBusy = false;
    SetIniStageHook(NoteLockBusy);
    EXPECT_TRUE(Write("MIDI", "CH", "9"));
    SetIniStageHook(nullptr);
    EXPECT_FALSE(s_lockBusy) << "the write waited for the other user's lock";
    EXPECT_EQ(ReadAll(path_), "[MIDI]\nCH=9\n");
    struct stat lock;
    ASSERT_EQ(stat((dir_ + "/.kovra-ini.lock").c_str(), &lock), 0);
    EXPECT_EQ(lock.st_mode & 0777, 0600u);
    EXPECT_EQ(lock.st_uid, geteuid());
}

// --- Writers killed, and writers at once ---

// What a forked writer does at its chosen stage, after reporting on a pipe (if given one).
enum class Then { Die, WaitForByte, GoOn };
IniStage s_stage;
Then s_then;
int s_report = -1, s_resume = -1;

void StopAtStage(IniStage stage)
{
    if (stage != s_stage) return;
    if (s_report >= 0) (void)!write(s_report, "x", 1);
    if (s_then == Then::Die) raise(SIGKILL);
    char byte;
    if (s_then == Then::WaitForByte) (void)!read(s_resume, &byte, 1);
}

// Forks a writer of the keys that acts at the stage as told; it exits 0 when its commit
// succeeded.
pid_t StartWriter(const std::string& path, IniStage stage, Then then, int report, int resume,
                  const std::vector<std::array<const char*, 3>>& keys)
{
    const pid_t child = fork();
    if (child != 0) return child;
    s_stage = stage;
    s_then = then;
    s_report = report;
    s_resume = resume;
    SetIniStageHook(StopAtStage);
    IniProfile profile(path);
    for (const auto& k : keys) profile.Set(k[0], k[1], k[2]);
    _exit(profile.Commit() ? 0 : 1);
}

TEST_F(IniFileTest, WriterKilledAtAnyStageLeavesOldOrWholeNewFileAndStaleTempGoes)
{
    const std::string before = "; mine\n[MIDI]\nCH=1\n";
    const struct {
        IniStage stage;
        bool replaced;
    } stages[] = {
        {IniStage::Read, false}, {IniStage::TempWritten, false}, {IniStage::Replaced, true}};
    pid_t leftTemp = 0;
    for (const auto& s : stages) {
        WriteText(path_, before);
        const pid_t child = StartWriter(path_, s.stage, Then::Die, -1, -1,
                                        {{"MIDI", "CH", "2"}, {"CAMERA", "DEVICE1", "4"}});
        ASSERT_GT(child, 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(ReadAll(path_),
                  s.replaced ? "; mine\n[MIDI]\nCH=2\n[CAMERA]\nDEVICE1=4\n" : before);
        if (s.stage == IniStage::TempWritten) leftTemp = child;
    }
    // A writer killed with its new file complete leaves that behind; a later start removes it
    // but keeps the one of a writer still running (this test's own process).
    const std::string dead = ".kovra-ini." + std::to_string(leftTemp) + ".tmp";
    const std::string live = ".kovra-ini." + std::to_string(getpid()) + ".tmp";
    WriteText(dir_ + "/" + live, "half");
    EXPECT_EQ(Entries(), (std::set<std::string>{"Kovra.ini", dead, live}));
    RemoveStaleIniTempFiles(path_);
    EXPECT_EQ(Entries(), (std::set<std::string>{"Kovra.ini", live}));
}

TEST_F(IniFileTest, TwoWritersAtOnceKeepEachOthersKeys)
{
    WriteText(path_, "[MIDI]\nCH=1\n");
    int inside[2], resume[2], busy[2];
    ASSERT_EQ(pipe(inside), 0);
    ASSERT_EQ(pipe(resume), 0);
    // The first writer has read the file and waits inside the lock.
    const pid_t first = StartWriter(path_, IniStage::Read, Then::WaitForByte, inside[1], resume[0],
                                    {{"MIDI", "CTRL1", "5"}});
    close(inside[1]);
    char byte = 0;
    ASSERT_EQ(read(inside[0], &byte, 1), 1) << "the first writer never got into the lock";
    // The second reports when it finds the lock taken; had it gone on, it would end and the
    // pipe would give end-of-file instead.
    ASSERT_EQ(pipe(busy), 0);
    const pid_t second = StartWriter(path_, IniStage::LockBusy, Then::GoOn, busy[1], -1,
                                     {{"CAMERA", "DEVICE1", "6"}});
    close(busy[1]);
    const ssize_t waited = read(busy[0], &byte, 1);
    ASSERT_EQ(write(resume[1], "x", 1), 1);
    for (pid_t writer : {first, second}) {
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    for (int fd : {inside[0], resume[0], resume[1], busy[0]}) close(fd);
    EXPECT_EQ(waited, 1) << "the second writer did not wait for the lock";
    EXPECT_EQ(ReadAll(path_), "[MIDI]\nCH=1\nCTRL1=5\n[CAMERA]\nDEVICE1=6\n");
    EXPECT_EQ(Entries(), std::set<std::string>{"Kovra.ini"});
}

}  // namespace
