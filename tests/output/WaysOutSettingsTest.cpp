// The stream's settings and the recording's file: what refuses a stream, which listeners reach
// other machines, and a second recording within one second beside the first.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "RecordingFile.h"
#include "StreamSettings.h"

TEST(StreamSettings, APassphraseOf10To79CharactersOrNoneAndAnSrtAddressAreTaken)
{
    EXPECT_EQ(StreamRefusal({}), "");
    EXPECT_EQ(StreamRefusal({"srt://127.0.0.1:7001", std::string(10, 'p')}), "");
    EXPECT_EQ(StreamRefusal({"srt://127.0.0.1:7001", std::string(79, 'p')}), "");
    EXPECT_NE(StreamRefusal({"srt://127.0.0.1:7001", std::string(9, 'p')}), "");
    EXPECT_NE(StreamRefusal({"srt://127.0.0.1:7001", std::string(80, 'p')}), "");
    EXPECT_NE(StreamRefusal({"udp://127.0.0.1:7001", ""}), "");
}

TEST(StreamSettings, OnlyLoopbackListenersStayOnThisMachine)
{
    for (const char* uri : {"srt://127.0.0.1:7001", "srt://localhost:7001", "srt://[::1]:7001",
                            "srt://127.0.0.2:7001?latency=200"})
        EXPECT_FALSE(ListensBeyondLocalhost(uri)) << uri;
    for (const char* uri :
         {"srt://:7001", "srt://0.0.0.0:7001", "srt://192.168.1.5:7001", "srt://[::]:7001",
          "srt://stage.local:7001", "srt://127.0.0.1.example:1"})
        EXPECT_TRUE(ListensBeyondLocalhost(uri)) << uri;
}

TEST(RecordingFile, ASecondRecordingInTheSameSecondGetsItsOwnFileAndNoFolderMeansNone)
{
    char made[] = "/tmp/kovra-videos-XXXXXX";
    ASSERT_NE(mkdtemp(made), nullptr);
    const std::string videos = made;
    std::tm when = {};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 10;
    when.tm_hour = 9, when.tm_min = 5, when.tm_sec = 7;
    std::string first, second, error;
    ASSERT_TRUE(CreateRecordingFile(videos, when, first, error)) << error;
    ASSERT_TRUE(CreateRecordingFile(videos, when, second, error)) << error;
    EXPECT_EQ(first, videos + "/Kovra/Kovra 2026-12-10 090507.mkv");
    EXPECT_EQ(second, videos + "/Kovra/Kovra 2026-12-10 090507 (2).mkv");

    std::string none;
    EXPECT_FALSE(CreateRecordingFile(videos + "/missing", when, none, error));
    EXPECT_NE(error.find("no videos folder"), std::string::npos) << error;
    unlink(first.c_str());
    unlink(second.c_str());
    rmdir((videos + "/Kovra").c_str());
    rmdir(made);
}
