// Tests of where the settings file lives: beside the program or in the user's configuration folder,
// the ".ini" name rule, the running program's path, and the folder made before the first write.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SettingsPath.h"

namespace {

namespace fs = std::filesystem;

TEST(SettingsPathForTest, BesideAWritableProgramOutsideUsrElseInTheConfigurationFolder)
{
    const char* const home = "/home/u/.config/kovra/Kovra.ini";
    const struct {
        const char* program;
        bool writable;
        const char* xdg;
        const char* home;
        const char* settings;
    } cases[] = {
        // A build tree or a copy of one's own: beside it, named after it.
        {"/home/u/kovra/build/app/Kovra", true, "", "/home/u", "/home/u/kovra/build/app/Kovra.ini"},
        {"/opt/stage/Show", true, "/x/cfg", "/home/u", "/opt/stage/Show.ini"},
        {"/usrlocal/Kovra", true, "", "/home/u", "/usrlocal/Kovra.ini"},
        // Installed, or a folder the user cannot write: the configuration folder.
        {"/usr/bin/Kovra", false, "", "/home/u", home},
        {"/usr/local/bin/Kovra", true, "", "/home/u", home},  // root may write there
        {"/opt/kovra/bin/Kovra", false, "", "/home/u", home},
        {"", true, "", "/home/u", home},
        {"/usr/bin/Kovra", false, "/x/cfg", "/home/u", "/x/cfg/kovra/Kovra.ini"},
        {"/usr/bin/Kovra", false, "/x/cfg/", "/home/u", "/x/cfg/kovra/Kovra.ini"},
        {"/usr/bin/Kovra", false, "/x/cfg", "", "/x/cfg/kovra/Kovra.ini"},
        {"/usr/bin/Kovra", false, "", "/", "/.config/kovra/Kovra.ini"},
        {"/usr/bin/Kovra", false, "", "/home/u/", home},
        // A relative XDG_CONFIG_HOME is invalid and ignored; with no usable value, beside.
        {"/usr/bin/Kovra", false, "cfg", "/home/u", home},
        {"/usr/bin/Kovra", false, "", "", "/usr/bin/Kovra.ini"},
        {"/usr/bin/Kovra", false, "cfg", "home", "/usr/bin/Kovra.ini"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SettingsPathFor({c.program, c.writable, c.xdg, c.home}), c.settings)
            << c.program << " writable " << c.writable << " XDG_CONFIG_HOME '" << c.xdg
            << "' HOME '" << c.home << "'";
    }
}

// A folder others may write to is no place for the settings: another user could put a link
// in the file's place.
TEST(SettingsPathOfTest, BesideOnlyInAFolderOfTheUsersOwnThatNoOneElseMayWrite)
{
    std::string pattern = (fs::temp_directory_path() / "kovra-place-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    struct RemoveAtEnd {
        fs::path dir;
        ~RemoveAtEnd() { fs::remove_all(dir); }
    } cleanup{dir};
    const std::string user =
        UserSettingsPath(getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "",
                         getenv("HOME") ? getenv("HOME") : "");
    const struct {
        mode_t mode;
        bool beside;
    } cases[] = {{0700, true}, {0755, true}, {01777, false}, {0777, false}, {0775, false}};
    for (const auto& c : cases) {
        ASSERT_EQ(chmod(dir.c_str(), c.mode), 0);
        const std::string program = (dir / "Kovra").string();
        EXPECT_EQ(FolderIsOwnAndPrivate(dir.string()), c.beside) << std::oct << c.mode;
        EXPECT_EQ(SettingsPathOf(program), c.beside ? program + ".ini" : user)
            << std::oct << c.mode;
    }
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
        ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(FolderIsOwnAndPrivate(dir.string())) << "another user's folder";
    }
}

TEST(SettingsPathBesideTest, ReplacesOrAddsTheFileNamesExtension)
{
    const struct {
        const char* program;
        const char* settings;
    } cases[] = {
        {"/d/Perf/Show.exe", "/d/Perf/Show.ini"},
        {"/usr/bin/Kovra", "/usr/bin/Kovra.ini"},
        {"/x/a.b.c", "/x/a.b.ini"},
        {"/x/Kovra.", "/x/Kovra.ini"},
        {"Kovra.bin", "Kovra.ini"},
        {"Kovra", "Kovra.ini"},
    };
    for (const auto& c : cases) EXPECT_EQ(SettingsPathBeside(c.program), c.settings) << c.program;
}

TEST(SettingsPathBesideTest, DotsOutsideTheExtensionDoNotCount)
{
    const struct {
        const char* program;
        const char* settings;
    } cases[] = {
        {"/home/u/.local/bin/Kovra", "/home/u/.local/bin/Kovra.ini"},
        {"/opt/Tools.2/bin/Kovra", "/opt/Tools.2/bin/Kovra.ini"},
        {"/opt/Tools.2/bin/Kovra.exe", "/opt/Tools.2/bin/Kovra.ini"},
        {"./Kovra", "./Kovra.ini"},
        {"../bin/Kovra", "../bin/Kovra.ini"},
        {"/x/.kovra", "/x/.kovra.ini"},
        {"/x/..kovra", "/x/..kovra.ini"},
        {".kovra", ".kovra.ini"},
        {"/x/.kovra.bin", "/x/.kovra.ini"},
    };
    for (const auto& c : cases) EXPECT_EQ(SettingsPathBeside(c.program), c.settings) << c.program;
}

TEST(SettingsPathBesideTest, LongPathsAreNotCut)
{
    const std::string dir = "/" + std::string(5000, 'd') + ".v2/";
    EXPECT_EQ(SettingsPathBeside(dir + "Kovra"), dir + "Kovra.ini");
    EXPECT_EQ(SettingsPathBeside(dir + std::string(300, 'k') + ".exe"),
              dir + std::string(300, 'k') + ".ini");
}

TEST(ProgramPathTest, IsThisTestProgram)
{
    const std::string path = ProgramPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(fs::path(path), fs::canonical("/proc/self/exe"));
}

// Runs a copy of this program through a symbolic link: the path is the copy's, and stays the
// same after the copy is removed, as when the program is updated while running.
TEST(ProgramPathTest, ResolvesLinksAndSurvivesRemoval)
{
    if (const char* out = getenv("KOVRA_PROGRAM_PATH_OUT")) {
        std::ofstream report(out);
        const std::string before = ProgramPath();
        report << before << '\n';
        unlink(before.c_str());
        report << ProgramPath() << '\n';
        return;
    }

    std::string pattern = (fs::temp_directory_path() / "kovra-exe-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = fs::canonical(pattern);
    struct RemoveAtEnd {
        fs::path dir;
        ~RemoveAtEnd() { fs::remove_all(dir); }
    } cleanup{dir};
    // Long names, so the path does not fit the first guess at its length.
    const fs::path deep = dir / std::string(200, 'd');
    fs::create_directory(deep);
    const fs::path copy = deep / ("Kovra copy " + std::string(200, 'k'));
    const fs::path link = dir / "link";
    const fs::path out = dir / "report.txt";
    fs::copy_file("/proc/self/exe", copy);
    fs::create_symlink(copy, link);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        setenv("KOVRA_PROGRAM_PATH_OUT", out.c_str(), 1);
        execl(link.c_str(), link.c_str(),
              "--gtest_filter=ProgramPathTest.ResolvesLinksAndSurvivesRemoval",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::ifstream report(out);
    std::string before, after;
    std::getline(report, before);
    std::getline(report, after);
    EXPECT_EQ(before, copy.string());
    EXPECT_EQ(after, copy.string());
    EXPECT_FALSE(fs::exists(copy));  // the child did remove itself
}

// The configuration folder is made (0700) right before the first write, and only that folder.
TEST(MakeSettingsFolderTest, MakesTheUsersFolderOnly)
{
    std::string pattern = (fs::temp_directory_path() / "kovra-config-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    struct RestoreAtEnd {
        fs::path dir;
        std::string xdg;
        bool hadXdg;
        ~RestoreAtEnd()
        {
            if (hadXdg)
                setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
            else
                unsetenv("XDG_CONFIG_HOME");
            fs::remove_all(dir);
        }
    } restore{dir, getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "",
              getenv("XDG_CONFIG_HOME") != nullptr};
    const fs::path config = dir / "deep" / "config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    MakeSettingsFolder((dir / "elsewhere" / "Kovra.ini").string());
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
    EXPECT_FALSE(fs::exists(config));

    const std::string settings = (config / "kovra" / "Kovra.ini").string();
    MakeSettingsFolder(settings);
    ASSERT_TRUE(fs::is_directory(config / "kovra"));
    for (const fs::path& made : {dir / "deep", config, config / "kovra"}) {
        struct stat info;
        ASSERT_EQ(stat(made.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    EXPECT_FALSE(fs::exists(settings));  // the folder only; the file is the writer's
    MakeSettingsFolder(settings);        // already there
    EXPECT_TRUE(fs::is_directory(config / "kovra"));

    // A file in the way is no folder.
    std::ofstream(dir / "file").put('x');
    EXPECT_FALSE(MakeFolders((dir / "file" / "kovra").string()));
    EXPECT_TRUE(MakeFolders(dir.string()));
}

}  // namespace
