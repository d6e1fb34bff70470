// The package INF found among OEM0.inf to OEM100.inf, its listed driver files
// deleted from drivers and SysWOW64, then the INF and its PNF; two passes.
#include <map>
#include <set>

#include "clean_machine.h"

static const std::string MARKER = "CatalogFile.ntx86=camlynx.cat";

// "drivers\x", "syswow64\x", "system32\x", "windows\x" or a full path.
static std::string Resolve(const std::string& place)
{
    const std::pair<const char*, std::string> folders[] = {
        {"drivers\\", DriversDir()}, {"syswow64\\", SysWow64Dir()},
        {"system32\\", SystemDir()}, {"windows\\", WindowsDir()},
    };
    for (const auto& folder : folders) {
        if (place.rfind(folder.first, 0) == 0)
            return folder.second + "\\" + place.substr(strlen(folder.first));
    }
    return place;
}

static std::string MarkedInf(const std::string& fileList)
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + MARKER + "\r\n\r\n[SourceDisksFiles]\r\n" +
           fileList;
}

struct FileCase {
    const char* name;
    std::map<int, std::string> infs;   // OEM number -> content; each gets a PNF
    std::vector<std::string> files;    // planted; the read-only ones start with '!'
    std::set<int> infsRemoved;
    std::set<std::string> filesRemoved;
};

class DriverFiles : public CleanMachine {
protected:

    void Check(const FileCase& c)
    {
        SCOPED_TRACE(c.name);
        ResetMachine();
        for (const auto& inf : c.infs) {
            bool readOnly = inf.first == 7;  // the package INF of the first case
            const std::string infPath = InfPath(inf.first), pnfPath = InfPath(inf.first, "PNF");
            ASSERT_TRUE(WriteBytes(infPath, inf.second, readOnly) && FileExists(infPath)) << infPath;
            ASSERT_TRUE(WriteBytes(pnfPath, "PNF", readOnly) && FileExists(pnfPath)) << pnfPath;
        }
        for (std::string file : c.files) {
            bool readOnly = file[0] == '!';
            if (readOnly)
                file.erase(0, 1);
            ASSERT_TRUE(WriteBytes(Resolve(file), file, readOnly) && FileExists(Resolve(file))) << file;
        }

        EXPECT_EQ(0u, RunUninstaller().exitCode);

        for (const auto& inf : c.infs) {
            bool removed = c.infsRemoved.count(inf.first) != 0;
            EXPECT_EQ(!removed, FileExists(InfPath(inf.first))) << "OEM" << inf.first << ".inf";
            EXPECT_EQ(!removed, FileExists(InfPath(inf.first, "PNF"))) << "OEM" << inf.first << ".PNF";
        }
        for (std::string file : c.files) {
            if (file[0] == '!')
                file.erase(0, 1);
            EXPECT_EQ(c.filesRemoved.count(file) == 0, FileExists(Resolve(file))) << file;
        }
    }
};

TEST_F(DriverFiles, PackageInfListsWhatGoesFromDriversAndSysWow64)
{
    Check({"package INF",
           {{7, PACKAGE_INF}},
           {"!drivers\\camlynx.sys", "drivers\\CamLynx.DLL", "drivers\\camlynx.ax",
            "drivers\\camlynxui.exe", "drivers\\readme.txt", "drivers\\camhelp.hlp",
            "drivers\\late.sys", "!syswow64\\camlynx.dll", "syswow64\\camlynx.ax",
            "syswow64\\camlynxui.exe", "syswow64\\camlynx.sys", "syswow64\\late.sys",
            "system32\\camlynx.dll", "system32\\camlynx.sys"},
           {7},
           {"drivers\\camlynx.sys", "drivers\\CamLynx.DLL", "drivers\\camlynx.ax",
            "drivers\\camlynxui.exe", "syswow64\\camlynx.dll", "syswow64\\camlynx.ax",
            "syswow64\\camlynxui.exe"}});
}

TEST_F(DriverFiles, MarkerMustStandWholeInOnePiece)
{
    std::string utf16;
    for (char c : MarkedInf("m.sys=1\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string list = "\r\n[SourceDisksFiles]\r\nm.sys=1\r\n";
    const FileCase cases[] = {
        {"spaced", {{1, "CatalogFile.ntx86 = camlynx.cat" + list}}, {"drivers\\m.sys"}, {}, {}},
        {"other case", {{1, "catalogfile.NTx86=camlynx.cat" + list}}, {"drivers\\m.sys"}, {}, {}},
        {"split at 255", {{1, std::string(240, ';') + MARKER + list}}, {"drivers\\m.sys"}, {}, {}},
        {"UTF-16", {{1, utf16}}, {"drivers\\m.sys"}, {}, {}},
        {"inside a longer line", {{1, "; " + MARKER + "  ; signed" + list}}, {"drivers\\m.sys"},
         {1}, {"drivers\\m.sys"}},
    };
    for (const FileCase& c : cases)
        Check(c);
}

TEST_F(DriverFiles, CandidatesRunFromOem0ToOem100)
{
    const std::string other = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[SourceDisksFiles]\r\no.sys=1\r\n";
    const FileCase cases[] = {
        {"gaps in the numbering", {{0, other}, {1, other}, {4, MarkedInf("g.sys=1\r\n")}},
         {"drivers\\g.sys", "drivers\\o.sys"}, {4}, {"drivers\\g.sys"}},
        {"OEM100 is the last candidate", {{100, MarkedInf("h.sys=1\r\n")}}, {"drivers\\h.sys"},
         {100}, {"drivers\\h.sys"}},
        {"OEM101 is never examined", {{101, MarkedInf("k.sys=1\r\n")}}, {"drivers\\k.sys"}, {}, {}},
        {"no marked INF", {{3, other}}, {"drivers\\o.sys"}, {}, {}},
    };
    for (const FileCase& c : cases)
        Check(c);
}

TEST_F(DriverFiles, TwoPassesTakeTheTwoLowestMarkedCopies)
{
    Check({"three copies",
           {{2, MarkedInf("two.sys=1\r\n")}, {5, MarkedInf("five.sys=1\r\n")},
            {9, MarkedInf("nine.sys=1\r\n")}},
           {"drivers\\two.sys", "drivers\\five.sys", "drivers\\nine.sys"},
           {2, 5},
           {"drivers\\two.sys", "drivers\\five.sys"}});
}

TEST_F(DriverFiles, TextModeShapesTheEntries)
{
    const FileCase cases[] = {
        {"lone CR joins two lines into one entry",
         {{1, MarkedInf("a.sys=1\r\nb.sys=1\rc.sys=1\r\nd.sys=1\r\n")}},
         {"drivers\\a.sys", "drivers\\b.sys", "drivers\\c.sys", "drivers\\d.sys"}, {1},
         {"drivers\\a.sys", "drivers\\d.sys"}},
        {"Ctrl-Z ends the list", {{1, MarkedInf("a.sys=1\r\nb.sys=1\x1a\r\ne.sys=1\r\n")}},
         {"drivers\\a.sys", "drivers\\b.sys", "drivers\\e.sys"}, {1},
         {"drivers\\a.sys", "drivers\\b.sys"}},
        {"last line without line feed", {{1, MarkedInf("a.sys=1\r\nlast.dll=1")}},
         {"drivers\\a.sys", "drivers\\last.dll", "syswow64\\last.dll"}, {1},
         {"drivers\\a.sys", "drivers\\last.dll", "syswow64\\last.dll"}},
        // Windows drops trailing spaces from a path, so "s.sys " names s.sys.
        {"entries with trailing text or spaces",
         {{1, MarkedInf("t.sys=1 ; x\r\ns.sys =1\r\nsp.sys = 1\r\n")}},
         {"drivers\\t.sys", "drivers\\s.sys", "drivers\\sp.sys"}, {1}, {"drivers\\s.sys"}},
    };
    for (const FileCase& c : cases)
        Check(c);
}

TEST_F(DriverFiles, NamesThatLeaveTheFoldersOrOverflowAreSkipped)
{
    // drivers path "C:\windows\system32\drivers\" is 28 characters; a cut at
    // 255 would name the planted 227-character file.
    const std::string longName(230, 'n');
    const std::string cutName(255 - 28, 'n');
    Check({"traversal and overlong names",
           {{1, MarkedInf("..\\..\\victim.txt=1\r\n..\\victim.dll=1\r\n..\\..\\..\\victim.txt=1\r\n"
                          "C:\\victim.txt=1\r\n/victim.dll=1\r\n.=1\r\n..=1\r\n=1\r\n" +
                          longName + "=1\r\nkept.sys=1\r\nok.sys=1\r\n")}},
           {"windows\\victim.txt", "system32\\victim.dll", "C:\\victim.txt", "drivers\\" + cutName,
            "syswow64\\" + cutName.substr(0, 255 - 21), "drivers\\ok.sys"},
           {1},
           {"drivers\\ok.sys"}});
}
