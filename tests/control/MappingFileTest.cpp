// The mapping files: their names, the actions' names, and the [BINDINGS] lines over the default
// map, read and written on real files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DefaultMap.h"
#include "MappingFile.h"

namespace {

namespace fs = std::filesystem;
using Type = MessageKey::Type;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MappingFileName, CleansCutsAndHashesTheWholeName)
{
    EXPECT_EQ(MappingFileName("nanoKONTROL2 MIDI 1"), "nanoKONTROL2 MIDI 1-bc1cd320.ini");
    EXPECT_EQ(MappingFileName(""), "-811c9dc5.ini");
    EXPECT_EQ(MappingFileName("Caf\xC3\xA9:Pad/1"), "Caf__Pad_1-5a560436.ini")
        << "one '_' for a character of two bytes";
    EXPECT_EQ(MappingFileName("a/b"), "a_b-3a8e75c1.ini");
    EXPECT_EQ(MappingFileName("a:b"), "a_b-08bd8540.ini");
    EXPECT_EQ(MappingFileName(std::string(150, 'x')), std::string(100, 'x') + "-4e5566bd.ini");
    EXPECT_EQ(MappingFilePath("/home/p/.config/kovra/Kovra.ini", "a:b"),
              "/home/p/.config/kovra/controllers/a_b-08bd8540.ini");
}

TEST(MappingFileName, EveryActionHasTheNameFilesSpell)
{
    std::string names;
    for (int i = 0; i < kActionCount; ++i) {
        Action back = Action::Effect;
        const std::string name = ActionName(static_cast<Action>(i));
        EXPECT_TRUE(ActionFromName(name, back) && static_cast<int>(back) == i) << name;
        names += name + " ";
    }
    EXPECT_EQ(names,
              "EFFECT EFFECTUP EFFECTDOWN CTRL1 CTRL2 CTRL1UP CTRL1DOWN CTRL2UP CTRL2DOWN MEMA1 "
              "MEMA2 MEMA3 MEMA4 MEMA5 MEMA6 MEMA7 MEMA8 MEMB1 MEMB2 MEMB3 MEMB4 MEMB5 MEMB6 MEMB7 "
              "MEMB8 STORE FULLSCREEN SEND STREAM RECORD CLIPASPEED CLIPAPAUSE CLIPARESTART "
              "CLIPAREVERSE CLIPBSPEED CLIPBPAUSE CLIPBRESTART CLIPBREVERSE ");
}

class MappingFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kovra-map-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/controllers/pad-00000000.ini";
    }
    void TearDown() override { fs::remove_all(m_dir); }
    void WriteText(const std::string& text)
    {
        fs::create_directories(m_dir + "/controllers");
        std::ofstream(m_path, std::ios::binary) << text;
    }

    const Bindings m_defaults = DefaultBindings(0, 7, 10);
    std::string m_dir;
    std::string m_path;
};

TEST_F(MappingFileTest, ALineReplacesItsMessagesDefaultsAndUnknownLinesAreIgnored)
{
    WriteText(
        "[BINDINGS]\n"
        "CC 1 7=CTRL1,CTRL2\n"
        "NOTE 1 49=NONE\n"
        " pc  1 = effectup , STORE\n"
        "CC 1 7=STORE\n"  // the first line of a message counts
        "FOO 1=BAR\n"
        "CC 1 22=CTRL9\n"
        "CC 1 120=CTRL1\n"
        "NOTE 17 1=MEMA1\n"
        "NOTE 1 50=\n"
        "[OTHER]\n"
        "CC 1 30=CTRL1\n");
    Bindings expected = m_defaults;
    expected.Set({Type::Control, 0, 7}, {Action::Ctrl1, Action::Ctrl2});
    expected.Set({Type::Note, 0, 49}, {});
    expected.Set({Type::Program, 0, 0}, {Action::EffectUp, Action::Store});
    EXPECT_TRUE(ReadMappingFile(m_path, m_defaults) == expected);
    EXPECT_TRUE(ReadMappingFile(m_dir + "/missing.ini", m_defaults) == m_defaults);
}

TEST_F(MappingFileTest, WritesOnlyWhatDiffersKeepsOtherLinesAndReadsBackTheSameMap)
{
    EXPECT_TRUE(WriteMappingFile(m_path, m_defaults, m_defaults));
    EXPECT_FALSE(fs::exists(m_dir + "/controllers")) << "nothing differs: no file";
    Bindings noProgram = m_defaults;
    noProgram.Set({Type::Program, 0, 0}, {});
    ASSERT_TRUE(WriteMappingFile(m_path, noProgram, m_defaults));
    EXPECT_EQ(ReadAll(m_path), "[BINDINGS]\nPC 1=NONE\n");
    EXPECT_EQ(fs::status(m_dir + "/controllers").permissions() & fs::perms::all,
              fs::perms::owner_all);

    WriteText("; my pad\n[BINDINGS]\nFOO 1=BAR\ncc 1  30=CTRL1\nNOTE 1 60=CLIP1\n[OTHER]\nA=1\n");
    Bindings map = m_defaults;
    map.Set({Type::Control, 0, 21}, {Action::Store, Action::Ctrl2});
    map.Set({Type::Note, 0, 48}, {});
    map.Set({Type::Note, 15, 127}, {Action::Send});
    ASSERT_TRUE(WriteMappingFile(m_path, map, m_defaults));
    EXPECT_EQ(ReadAll(m_path),
              "; my pad\n[BINDINGS]\nFOO 1=BAR\nNOTE 1 60=CLIP1\nNOTE 1 48=NONE\n"
              "NOTE 16 127=SEND\nCC 1 21=CTRL2,STORE\n[OTHER]\nA=1\n");
    EXPECT_TRUE(ReadMappingFile(m_path, m_defaults) == map);

    // Back to the defaults: the known lines go, the unknown stay.
    ASSERT_TRUE(WriteMappingFile(m_path, m_defaults, m_defaults));
    EXPECT_EQ(ReadAll(m_path), "; my pad\n[BINDINGS]\nFOO 1=BAR\nNOTE 1 60=CLIP1\n[OTHER]\nA=1\n");
}

}  // namespace
