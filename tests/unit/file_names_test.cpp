// Which files are OEM INF candidates and in what order they are tried, how
// listed names are cut and judged, and how paths are built.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "file_names.h"
#include "other_packages.h"
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

TEST(FileNames, OemInfNumberComesOnlyFromNamesAsWindowsWritesThem)
{
    struct { const char* name; bool candidate; uint32_t number; } cases[] = {
        {"oem0.inf", true, 0},       {"OEM7.inf", true, 7},        {"Oem12.INF", true, 12},
        {"oEm150.InF", true, 150},   {"oem4294967295.inf", true, 4294967295u},
        {"oem4294967296.inf", false, 0}, {"oem99999999999.inf", false, 0},
        {"OEM007.inf", false, 0},    {"oem00.inf", false, 0},      {"OEMx.inf", false, 0},
        {"OEM 3.inf", false, 0},     {"OEM7.inf.bak", false, 0},   {"OEM4.infx", false, 0},
        {"XOEM5.inf", false, 0},     {"OEM4~1.INF", false, 0},     {"oem.inf", false, 0},
        {"oem-1.inf", false, 0},     {"oem+1.inf", false, 0},      {"oem7.inf ", false, 0},
        {"oem7.in", false, 0},       {"oem7inf", false, 0},        {"oem7", false, 0},
        {"oe", false, 0},            {"", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t number = 12345;
        EXPECT_EQ(c.candidate, OemInfNumber(c.name, &number)) << c.name;
        EXPECT_EQ(c.candidate ? c.number : 12345u, number) << c.name;
    }
}

// Lists the folder as often as the batches ask; the candidates after `after`
// in the order they are tried, and how many listings that took.
static std::pair<std::vector<std::string>, int> TryOrder(const std::vector<std::string>& folder,
                                                         OemInf after)
{
    std::pair<std::vector<std::string>, int> tried;
    std::unique_ptr<OemInfBatch> batch(new OemInfBatch);
    StartOemInfBatch(batch.get(), after);
    do {
        tried.second++;
        for (const std::string& name : folder)
            KeepOemInf(batch.get(), name.c_str());
        for (int i = 0; i < batch->count; i++)
            tried.first.push_back(batch->candidates[i].name);
    } while (NextOemInfBatch(batch.get()));
    return tried;
}

// Names oem<from>.inf to oem<to - 1>.inf, highest first.
static std::vector<std::string> Descending(int from, int to)
{
    std::vector<std::string> names;
    for (int n = to - 1; n >= from; n--)
        names.push_back("oem" + std::to_string(n) + ".inf");
    return names;
}

TEST(FileNames, CandidatesAreTriedInAscendingNumbersEachOnce)
{
    auto ascending = [](std::vector<std::string> names) {
        std::reverse(names.begin(), names.end());
        return names;
    };
    std::vector<std::string> tie = Descending(0, OEM_INF_BATCH - 1);
    tie.insert(tie.begin(), {"oem255.inf", "OEM255.inf"});
    std::vector<std::string> tieTried = ascending(Descending(0, OEM_INF_BATCH - 1));
    tieTried.insert(tieTried.end(), {"OEM255.inf", "oem255.inf"});
    const OemInf first = BEFORE_FIRST_OEM_INF;
    struct {
        const char* name;
        std::vector<std::string> folder, tried;
        int listings;
        OemInf after;
    } cases[] = {
        {"numbers, not text",
         {"OEM10.inf", "oem9.inf", "OEM100.inf", "oem0.inf", "OEM007.inf", "wine.inf", "OEM4.infx"},
         {"oem0.inf", "oem9.inf", "OEM10.inf", "OEM100.inf"}, 1, first},
        {"after oem9.inf", {"OEM10.inf", "oem9.inf", "OEM100.inf", "oem0.inf", "oem8.inf"},
         {"OEM10.inf", "OEM100.inf"}, 1, {9, "oem9.inf"}},
        {"after the highest", {"oem9.inf", "oem0.inf"}, {}, 1, {9, "oem9.inf"}},
        {"none", {"wine.inf", "input.pnf"}, {}, 1, first},
        {"one full batch", Descending(0, OEM_INF_BATCH),
         ascending(Descending(0, OEM_INF_BATCH)), 1, first},
        {"one more than a batch", Descending(0, OEM_INF_BATCH + 1),
         ascending(Descending(0, OEM_INF_BATCH + 1)), 2, first},
        {"hundreds, past 100", Descending(0, 600), ascending(Descending(0, 600)), 3, first},
        {"hundreds, after oem300.inf", Descending(0, 600), ascending(Descending(301, 600)), 2,
         {300, "oem300.inf"}},
        {"one number, two names, across the batch edge", tie, tieTried, 2, first},
        {"one number, after the first of its names", tie, {"oem255.inf"}, 1, {255, "OEM255.inf"}},
    };
    for (const auto& c : cases) {
        auto tried = TryOrder(c.folder, c.after);
        EXPECT_EQ(c.tried, tried.first) << c.name;
        EXPECT_EQ(c.listings, tried.second) << c.name;
    }
}

// Until every candidate was read, any name may be another package's.
TEST(FileNames, OtherPackagesNamesCountOnceEveryCandidateWasRead)
{
    const OemInf first = BEFORE_FIRST_OEM_INF, oem3 = {3, "oem3.inf"}, oem9 = {9, "oem9.inf"};
    struct { const char* name; OemInf readThrough, after; const OemInf* stoppedAt; OemInf through; bool all;
             bool unreadable = false; } cases[] = {
        {"first search stops at a copy", first, first, &oem3, oem3, false},
        {"the next reads on to the end", oem3, oem3, nullptr, oem3, true},
        {"a search above a candidate not read", first, oem3, nullptr, first, false},
        {"a search below what was read", oem9, first, &oem3, oem9, false},
        {"to the end, past one that could not be opened", first, first, nullptr, first, false, true},
    };
    for (const auto& c : cases) {
        std::unique_ptr<OtherPackageFiles> files(new OtherPackageFiles());
        files->readThrough = c.readThrough;
        if (c.unreadable)
            NoteUnreadable(files.get());
        NoteSearchRead(files.get(), c.after, c.stoppedAt);
        EXPECT_EQ(c.through.number, files->readThrough.number) << c.name;
        EXPECT_EQ(c.all, files->readAll) << c.name;
        EXPECT_EQ(!c.all, OtherPackageMayList(files.get(), "x.sys")) << c.name;
    }
}

// Wine neither reports nor changes a folder's read-only attribute: this is
// where "never on a folder" is proven.
TEST(FileNames, OnlyAFileLosesItsReadOnlyAttribute)
{
    struct { const char* name; uint32_t attributes; bool isFile; uint32_t forDeletion; } cases[] = {
        {"read-only hidden file", 0x1 | 0x2 | 0x20, true, 0x2 | 0x20},
        {"plain file", 0x80, true, 0x80},
        {"read-only folder", 0x1 | 0x10, false, 0},
        {"no such name", 0xFFFFFFFF, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t forDeletion = 0;
        EXPECT_EQ(c.isFile, AttributesForDeletion(c.attributes, &forDeletion)) << c.name;
        EXPECT_EQ(c.forDeletion, forDeletion) << c.name;
    }
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

TEST(Text, SetupProgramLiesInTheProgramFilesWindowsRecords)
{
    struct { std::string recorded; bool holds; } cases[] = {
        {"C:\\Program Files", true},        {"c:\\PROGRAM FILES\\", true},
        {"C:\\Program Files (x86)", false}, {"C:\\Program FilesX", false},
        {"C:\\Program", false},             {"C:\\", false},
        {"C:", false},                      {"", false},
        {"D:\\Program Files", false},       {"C:\\Program Files\\\\", false},
        {"C:\\Programme", false},
    };
    for (const auto& c : cases) {
        // Exactly the bytes returned: with the terminator, then without it.
        std::string bytes = c.recorded + '\0';
        EXPECT_EQ(c.holds, IsProgramFilesOf(bytes.c_str(), bytes.size(), SETUP_PROGRAM)) << c.recorded;
        EXPECT_FALSE(IsProgramFilesOf(c.recorded.c_str(), c.recorded.size(), SETUP_PROGRAM))
            << c.recorded << " unterminated";
    }
}
