// Tests of where the settings file lives: the ".ini" name rule and the running program's path.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SettingsPath.h"

namespace {

namespace fs = std::filesystem;

TEST(SettingsPathForTest, ReplacesOrAddsTheFileNamesExtension)
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
    for (const auto& c : cases) EXPECT_EQ(SettingsPathFor(c.program), c.settings) << c.program;
}

TEST(SettingsPathForTest, DotsOutsideTheExtensionDoNotCount)
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
    for (const auto& c : cases) EXPECT_EQ(SettingsPathFor(c.program), c.settings) << c.program;
}

TEST(SettingsPathForTest, LongPathsAreNotCut)
{
    const std::string dir = "/" + std::string(5000, 'd') + ".v2/";
    EXPECT_EQ(SettingsPathFor(dir + "Kovra"), dir + "Kovra.ini");
    EXPECT_EQ(SettingsPathFor(dir + std::string(300, 'k') + ".exe"),
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

}  // namespace
