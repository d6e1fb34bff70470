// How listed names are cut and judged, and how paths are built.
#include <gtest/gtest.h>

#include <string>

#include "file_names.h"
#include "text.h"

TEST(FileNames, ListedNameDropsLineFeedThenTwoCharacters)
{
    struct { const char* piece; const char* name; } cases[] = {
        {"camlynx.sys=1\n", "camlynx.sys"},
        {"camlynx.sys=1", "camlynx.sys"},  // last line, no line feed
        {"CamLynx.DLL=1\n", "CamLynx.DLL"},
        {"a.sys=1 ; note\n", "a.sys=1 ; no"},
        {"disk=12\n", "disk="},
        {"=1\n", ""}, {"=1", ""}, {"1\n", ""}, {"\n", ""}, {"x", ""}, {"", ""},
        {"a.sys=1\r", "a.sys="},  // a lone CR is not a line feed
    };
    for (const auto& c : cases) {
        char name[PIECE_SIZE];
        CutListedName(c.piece, name);
        EXPECT_STREQ(c.name, name) << c.piece;
    }
}

TEST(FileNames, ListedNameOfFullPieceFitsTheBuffer)
{
    std::string piece(PIECE_SIZE - 1, 'n');
    char name[PIECE_SIZE];
    CutListedName(piece.c_str(), name);
    EXPECT_EQ(std::string(PIECE_SIZE - 3, 'n'), name);
}

TEST(FileNames, OnlyPlainNamesAreSafe)
{
    struct { const char* name; bool safe; } cases[] = {
        {"camlynx.sys", true},   {"CamLynx.DLL", true},     {"a..b", true},
        {"", false},             {".", false},              {"..", false},
        {"..\\..\\boot.ini", false}, {"..\\system32\\x.dll", false}, {"a/b.sys", false},
        {"C:x.sys", false},      {"sub\\x.sys", false},     {"\\x.sys", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.safe, IsSafeListedName(c.name)) << c.name;
}

TEST(FileNames, SysWow64TakesAxExeAndDllAnywhereInTheName)
{
    struct { const char* name; bool wow64; } cases[] = {
        {"camlynx.dll", true}, {"camlynx.ax", true}, {"camlynxui.exe", true}, {"a.axe", true},
        {"x.dll.bak", true},   {"camlynx.sys", false}, {"readme.txt", false},
        {"camlynx.DLL", false},  // callers pass the lowercased name
        {"dllhost", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.wow64, GoesToSysWow64(c.name)) << c.name;
}

TEST(FileNames, PathsThatDoNotFitAreRefusedNotCut)
{
    const std::string dir = "C:\\windows\\system32";  // 19 characters
    const size_t room = PATH_SIZE - 1 - dir.size() - std::string("\\drivers\\").size();
    struct { size_t nameLength; bool fits; } cases[] = {
        {1, true}, {room, true}, {room + 1, false}, {PIECE_SIZE - 3, false},
    };
    for (const auto& c : cases) {
        std::string name(c.nameLength, 'f');
        char path[PATH_SIZE];
        EXPECT_EQ(c.fits, FormatPath(path, DRIVERS_PATH_FORMAT, dir.c_str(), name.c_str()))
            << c.nameLength;
        EXPECT_EQ(c.fits ? dir + "\\drivers\\" + name : "", path);
    }
}

TEST(FileNames, OemInfPathIsDecimalWithoutLeadingZeros)
{
    struct { int number; const char* path; } cases[] = {
        {0, "C:\\windows\\inf\\OEM0.inf"}, {7, "C:\\windows\\inf\\OEM7.inf"},
        {100, "C:\\windows\\inf\\OEM100.inf"},
    };
    for (const auto& c : cases) {
        char path[PATH_SIZE];
        ASSERT_TRUE(FormatOemInfPath(path, "C:\\windows", c.number));
        EXPECT_STREQ(c.path, path);
    }
    char path[PATH_SIZE];
    EXPECT_FALSE(FormatOemInfPath(path, std::string(250, 'w').c_str(), 7));
}

TEST(FileNames, PnfPathAndFileNameComeFromTheInfPath)
{
    const std::string p251(PATH_SIZE - 5, 'p');
    struct { std::string inf; bool formed; std::string pnf; std::string name; } cases[] = {
        {"C:\\windows\\inf\\OEM7.inf", true, "C:\\windows\\inf\\OEM7.PNF", "OEM7.inf"},
        {"C:\\windows\\inf\\OEM100.inf", true, "C:\\windows\\inf\\OEM100.PNF", "OEM100.inf"},
        {"inf", true, "PNF", "inf"},
        {"in", false, "", "in"},
        {"C:\\inf\\", true, "C:\\iPNF", ""},
        {p251 + ".inf", true, p251 + ".PNF", p251 + ".inf"},
    };
    for (const auto& c : cases) {
        char pnf[PATH_SIZE] = "";
        EXPECT_EQ(c.formed, FormPnfPath(pnf, c.inf.c_str())) << c.inf;
        EXPECT_EQ(c.pnf, c.formed ? std::string(pnf) : "");
        EXPECT_EQ(c.name, InfFileName(c.inf.c_str())) << c.inf;
    }
}

TEST(Text, LowercasingTouchesOnlyAsciiLettersWithinBounds)
{
    char text[] = "USB\\VID_1B3F&PID_2002\xC4Z";
    LowercaseAscii(text, sizeof text);
    EXPECT_STREQ("usb\\vid_1b3f&pid_2002\xC4z", text);
    char bounded[] = {'A', 'B', 'C', 'D'};  // no terminator
    LowercaseAscii(bounded, 2);
    EXPECT_EQ(std::string("abCD"), std::string(bounded, 4));
}
