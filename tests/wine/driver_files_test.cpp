// The package INF found among the oem<n>.inf files, its listed driver files
// deleted from drivers and SysWOW64, then the INF and its PNF; two passes.
#include "package_case.h"

static const std::string MARKER = "CatalogFile.ntx86=camlynx.cat";

static std::string MarkedInf(const std::string& fileList)
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + MARKER + "\r\n\r\n[SourceDisksFiles]\r\n" +
           fileList;
}

using DriverFiles = PackageMachine;

TEST_F(DriverFiles, PackageInfListsWhatGoesFromDriversAndSysWow64)
{
    Check({"package INF",
           {{"OEM7.inf", PACKAGE_INF}},
           {"!drivers\\camlynx.sys", "drivers\\CamLynx.DLL", "drivers\\camlynx.ax",
            "drivers\\camlynxui.exe", "drivers\\readme.txt", "drivers\\camhelp.hlp",
            "drivers\\late.sys", "!syswow64\\camlynx.dll", "syswow64\\camlynx.ax",
            "syswow64\\camlynxui.exe", "syswow64\\camlynx.sys", "syswow64\\late.sys",
            "system32\\camlynx.dll", "system32\\camlynx.sys"},
           {"OEM7.inf"},
           {"drivers\\camlynx.sys", "drivers\\CamLynx.DLL", "drivers\\camlynx.ax",
            "drivers\\camlynxui.exe", "syswow64\\camlynx.dll", "syswow64\\camlynx.ax",
            "syswow64\\camlynxui.exe"},
           {"OEM7.inf"}});
}

TEST_F(DriverFiles, MarkerMustStandWholeInOnePiece)
{
    std::string utf16;
    for (char c : MarkedInf("m.sys=1\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string list = "\r\n[SourceDisksFiles]\r\nm.sys=1\r\n";
    const std::vector<std::string> m = {"drivers\\m.sys"};
    const PackageCase cases[] = {
        {"spaced", {{"OEM1.inf", "CatalogFile.ntx86 = camlynx.cat" + list}}, m, {}, {}, {}},
        {"other case", {{"OEM1.inf", "catalogfile.NTx86=camlynx.cat" + list}}, m, {}, {}, {}},
        {"split at 255", {{"OEM1.inf", std::string(240, ';') + MARKER + list}}, m, {}, {}, {}},
        {"UTF-16", {{"OEM1.inf", utf16}}, m, {}, {}, {}},
        {"inside a longer line", {{"OEM1.inf", "; " + MARKER + "  ; signed" + list}}, m,
         {"OEM1.inf"}, {"drivers\\m.sys"}, {"OEM1.inf"}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

TEST_F(DriverFiles, CandidatesAreOemNumbersInAscendingOrder)
{
    const std::string other =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\n[SourceDisksFiles]\r\no.sys=1\r\n";
    std::map<std::string, std::string> oddNames;
    for (const char* name :
         {"OEM007.inf", "OEMx.inf", "OEM 3.inf", "OEM7.inf.bak", "OEM4.infx", "XOEM5.inf"})
        oddNames[name] = MarkedInf("odd.sys=1\r\n");
    const PackageCase cases[] = {
        {"OEM0 first, then across gaps",
         {{"OEM0.inf", MarkedInf("g0.sys=1\r\n")}, {"OEM1.inf", other},
          {"OEM4.inf", MarkedInf("g4.sys=1\r\n")}},
         {"drivers\\g0.sys", "drivers\\g4.sys", "drivers\\o.sys"}, {"OEM0.inf", "OEM4.inf"},
         {"drivers\\g0.sys", "drivers\\g4.sys"}, {"OEM0.inf", "OEM4.inf"}},
        {"three copies: every one goes, numbers, not text, decide",
         {{"OEM9.inf", MarkedInf("nine.sys=1\r\n")}, {"OEM10.inf", MarkedInf("ten.sys=1\r\n")},
          {"OEM20.inf", MarkedInf("twenty.sys=1\r\n")}},
         {"drivers\\nine.sys", "drivers\\ten.sys", "drivers\\twenty.sys"},
         {"OEM9.inf", "OEM10.inf", "OEM20.inf"},
         {"drivers\\nine.sys", "drivers\\ten.sys", "drivers\\twenty.sys"},
         {"OEM9.inf", "OEM10.inf", "OEM20.inf"}},
        // Two passes for the held copy, one for each above it.
        {"a copy that cannot be deleted holds none up",
         {{"OEM2.inf", MarkedInf("two.sys=1\r\n")}, {"OEM5.inf", MarkedInf("five.sys=1\r\n")},
          {"OEM12.inf", MarkedInf("twelve.sys=1\r\n")}},
         {"drivers\\two.sys", "drivers\\five.sys", "drivers\\twelve.sys"},
         {"OEM5.inf", "OEM12.inf"},
         {"drivers\\two.sys", "drivers\\five.sys", "drivers\\twelve.sys"},
         {"OEM2.inf", "OEM2.inf", "OEM5.inf", "OEM12.inf"},
         {},
         {"OEM2.inf"}},
        {"marked, under names Windows does not write", oddNames, {"drivers\\odd.sys"}, {}, {}, {}},
        {"no marked INF", {{"OEM3.inf", other}}, {"drivers\\o.sys"}, {}, {}, {}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

TEST_F(DriverFiles, TextModeShapesTheEntries)
{
    const PackageCase cases[] = {
        {"lone CR joins two lines into one entry",
         {{"OEM1.inf", MarkedInf("a.sys=1\r\nb.sys=1\rc.sys=1\r\nd.sys=1\r\n")}},
         {"drivers\\a.sys", "drivers\\b.sys", "drivers\\c.sys", "drivers\\d.sys"}, {"OEM1.inf"},
         {"drivers\\a.sys", "drivers\\d.sys"}, {"OEM1.inf"}},
        {"Ctrl-Z ends the list", {{"OEM1.inf", MarkedInf("a.sys=1\r\nb.sys=1\x1a\r\ne.sys=1\r\n")}},
         {"drivers\\a.sys", "drivers\\b.sys", "drivers\\e.sys"}, {"OEM1.inf"},
         {"drivers\\a.sys", "drivers\\b.sys"}, {"OEM1.inf"}},
        {"last line without line feed", {{"OEM1.inf", MarkedInf("a.sys=1\r\nlast.dll=1")}},
         {"drivers\\a.sys", "drivers\\last.dll", "syswow64\\last.dll"}, {"OEM1.inf"},
         {"drivers\\a.sys", "drivers\\last.dll", "syswow64\\last.dll"}, {"OEM1.inf"}},
        // Windows drops trailing spaces from a path, so "s.sys " names s.sys.
        {"entries with trailing text or spaces",
         {{"OEM1.inf", MarkedInf("t.sys=1 ; x\r\ns.sys =1\r\nsp.sys = 1\r\n")}},
         {"drivers\\t.sys", "drivers\\s.sys", "drivers\\sp.sys"}, {"OEM1.inf"}, {"drivers\\s.sys"},
         {"OEM1.inf"}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

TEST_F(DriverFiles, NamesThatLeaveTheFoldersOrOverflowAreSkipped)
{
    // drivers path "C:\windows\system32\drivers\" is 28 characters; a cut at
    // 255 would name the planted 227-character file.
    const std::string longName(230, 'n');
    const std::string cutName(255 - 28, 'n');
    Check({"traversal and overlong names",
           {{"OEM1.inf", MarkedInf("..\\..\\victim.txt=1\r\n..\\victim.dll=1\r\n..\\..\\..\\victim.txt=1\r\n"
                          "C:\\victim.txt=1\r\n/victim.dll=1\r\n.=1\r\n..=1\r\n=1\r\n" +
                          longName + "=1\r\nkept.sys=1\r\nok.sys=1\r\n")}},
           {"windows\\victim.txt", "system32\\victim.dll", "C:\\victim.txt", "drivers\\" + cutName,
            "syswow64\\" + cutName.substr(0, 255 - 21), "drivers\\ok.sys"},
           {"OEM1.inf"},
           {"drivers\\ok.sys"},
           {"OEM1.inf"}});
}

// SetupAPI refuses, as for a package a device still uses: the listed files
// go, the INF and PNF stay for the run after, when the refusal is over.
TEST_F(DriverFiles, ARefusedPackageKeepsItsInfForALaterRun)
{
    Check({"SetupAPI refuses",
           {{"OEM7.inf", PACKAGE_INF}},
           {"drivers\\camlynx.sys", "syswow64\\camlynx.dll"},
           {},
           {"drivers\\camlynx.sys", "syswow64\\camlynx.dll"},
           {"OEM7.inf", "OEM7.inf"},
           {},
           {},
           true});

    EXPECT_EQ(0u, RunUninstaller().exitCode);

    EXPECT_EQ(Calls{"OEM7.inf 0x0|done"}, UninstallerCalls("SetupUninstallOEMInfA"));
    EXPECT_FALSE(FileExists(InfFile("OEM7.inf")));
    EXPECT_FALSE(FileExists(InfFile("OEM7.inf", true)));
}
