// Clean-up runs on a machine holding OEM INFs, driver files and devices. The
// package INF is found among the oem<n>.inf files, every version of it; its
// listed driver files go from drivers and SysWOW64, then the INF and its PNF.
// Image-class devices the package installed go through the class installer:
// those whose first hardware ID contains a model ID of any version, and those
// whose driver key names a version. Nothing else does.
#include <map>
#include <sstream>
#include <set>

#include "clean_machine.h"

static const std::string MARKER = "CatalogFile.ntx86=camlynx.cat";

// A package INF: the marker, a models section and a file list.
static std::string MarkedInf(const std::string& fileList, const std::string& models = "")
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + MARKER + "\r\n\r\n[Norvale.NTamd64]\r\n" + models +
           "\r\n[SourceDisksFiles]\r\n" + fileList;
}

using Calls = std::vector<std::string>;

// Whether a line of the log holds pattern, where '*' stands for any text.
static bool LogHolds(const std::string& log, const std::string& pattern)
{
    const size_t star = pattern.find('*');
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(pattern.substr(0, star));
        if (at != std::string::npos &&
            (star == std::string::npos || line.find(pattern.substr(star + 1), at + star) != std::string::npos))
            return true;
    }
    return false;
}

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

// Every name in the folders the uninstaller deletes from.
static std::set<std::string> FilesInDriverFolders()
{
    std::set<std::string> names;
    for (const std::string& folder : {DriversDir(), SysWow64Dir(), WindowsDir() + "\\inf"}) {
        WIN32_FIND_DATAA found;
        HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &found);
        for (bool more = listing != INVALID_HANDLE_VALUE; more; more = FindNextFileA(listing, &found))
            names.insert(folder + "\\" + found.cFileName);
        FindClose(listing);
    }
    return names;
}

struct PlantedDevice {
    const char* className;
    std::vector<std::string> hardwareIds;
    bool removed;
    std::string infPath = "";  // in its driver key: the INF Windows installed it from
    const char* fault = "";    // the fault layer's: "absent" (not attached), "remove-fails",
                               // "needreboot" (Windows finishes its removal at the restart)
};

struct PackageCase {
    const char* name;
    std::map<std::string, std::string> infs;  // file name -> content; each gets a PNF
    std::vector<std::string> files;           // planted; the read-only ones start with '!'
    std::set<std::string> infsRemoved;
    std::set<std::string> filesRemoved;
    Calls storeCalls;  // INFs taken out of the driver store, in call order
    std::vector<PlantedDevice> devices = {};
    // Held through the run as by programs using them: a .dll loaded, an .exe
    // running, any other file open without delete sharing.
    std::set<std::string> held = {};
    bool storeRefuses = false;            // as for a package a device still uses
    bool sessionManagerReadOnly = false;  // as for an administrator without elevation
    bool storeUnpublished = false;        // as for an INF Windows never published
    DWORD deployCode = 0;                 // uninstall-deploy.exe's exit code
    std::vector<std::string> logged = {};  // lines its log holds
    std::string unreadableInf = "";       // held without read sharing through the run
};

class PackageMachine : public CleanMachine {
protected:
    void Check(const PackageCase& c)
    {
        SCOPED_TRACE(c.name);
        ResetMachine();
        for (const auto& inf : c.infs) {
            bool readOnly = inf.first == "OEM7.inf";  // the package INF as most rows plant it
            const std::string infPath = InfPath(inf.first), pnfPath = InfPath(inf.first, true);
            ASSERT_TRUE(WriteBytes(infPath, inf.second, readOnly) && FileExists(infPath)) << infPath;
            ASSERT_TRUE(WriteBytes(pnfPath, "PNF", readOnly) && FileExists(pnfPath)) << pnfPath;
        }
        for (const std::string& planted : c.files) {
            const std::string file = planted.substr(planted[0] == '!');
            ASSERT_TRUE(WriteBytes(Resolve(file), file, planted[0] == '!') && FileExists(Resolve(file))) << file;
        }
        Calls instanceIds, faults;
        for (const PlantedDevice& device : c.devices) {
            instanceIds.push_back(PlantDevice(device.className, device.hardwareIds, device.infPath));
            ASSERT_TRUE(DeviceExists(instanceIds.back())) << device.hardwareIds[0];
            if (*device.fault != '\0')
                faults.push_back(device.fault + (" " + instanceIds.back()));
        }
        if (c.storeRefuses || c.storeUnpublished)
            faults.push_back(c.storeRefuses ? "refuse" : "unpublished");
        std::vector<HANDLE> files;
        HMODULE dll = nullptr;
        HANDLE program = nullptr;
        for (const std::string& place : c.held) {
            const std::string path = Resolve(place), type = path.substr(path.rfind('.'));
            if (lstrcmpiA(type.c_str(), ".dll") == 0 && CopyInto(HelperPath("canary.dll"), path))
                dll = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
            else if (lstrcmpiA(type.c_str(), ".exe") == 0 && CopyInto(HelperPath("companion.exe"), path))
                program = StartProgram(path, LogDir() + "\\held.txt other-class");  // unseen, as from session 0
            else
                files.push_back(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            EXPECT_FALSE(DeleteFileA(path.c_str())) << path << " is not held";
        }
        if (!c.unreadableInf.empty())
            files.push_back(CreateFileA(InfPath(c.unreadableInf).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        const std::set<std::string> namesBefore = FilesInDriverFolders();
        ASSERT_TRUE(!c.sessionManagerReadOnly || MakeKeyReadOnly(HKEY_LOCAL_MACHINE, SESSION_MANAGER));

        EXPECT_EQ(DeployUnderTest() ? c.deployCode : 0u, RunUninstaller("", faults).exitCode);

        const std::string log = ReadBytes(DeployLog());
        for (const std::string& line : c.logged)
            EXPECT_TRUE(!DeployUnderTest() || LogHolds(log, line)) << line << "\n" << log;
        for (HANDLE file : files)
            CloseHandle(file);
        FreeLibrary(dll);
        TerminateProcess(program, 0);
        WaitForSingleObject(program, 5000);
        CloseHandle(program);
        EXPECT_EQ(!c.held.empty() && !c.sessionManagerReadOnly,
                  ValueExists(HKEY_LOCAL_MACHINE, SESSION_MANAGER, PENDING));
        // Through the fault layer: every device of the class, attached or not,
        // each removed at most once; uninstall-deploy.exe lists them again after.
        EXPECT_EQ(Calls(DeployUnderTest() ? 2 : 1, "flags 0x0|set"), UninstallerCalls("SetupDiGetClassDevsA"));
        EXPECT_TRUE(DeployUnderTest() || UninstallerConsole().empty()) << UninstallerConsole();
        std::set<std::string> removals;
        for (const std::string& call : UninstallerCalls("SetupDiCallClassInstaller"))
            EXPECT_TRUE(removals.insert(call).second) << "removed twice: " << call;
        Calls expectedCalls;
        for (const std::string& inf : c.storeCalls)
            expectedCalls.push_back(inf + " 0x0|" + (c.storeRefuses ? "refused" : c.storeUnpublished ? "failed" : "done"));
        EXPECT_EQ(expectedCalls, UninstallerCalls("SetupUninstallOEMInfA"));
        for (size_t i = 0; i < c.devices.size(); i++)
            EXPECT_EQ(!c.devices[i].removed, DeviceExists(instanceIds[i]))
                << c.devices[i].className << " " << c.devices[i].hardwareIds[0];
        for (const auto& inf : c.infs) {
            bool removed = c.infsRemoved.count(inf.first) != 0;
            EXPECT_EQ(!removed, FileExists(InfPath(inf.first))) << inf.first;
            EXPECT_EQ(!removed, FileExists(InfPath(inf.first, true))) << inf.first << " PNF";
        }
        for (const std::string& planted : c.files) {
            const std::string file = planted.substr(planted[0] == '!');
            EXPECT_EQ(c.filesRemoved.count(file) == 0, FileExists(Resolve(file))) << file;
            const DWORD kept = GetFileAttributesA(Resolve(file).c_str());
            EXPECT_TRUE(kept == INVALID_FILE_ATTRIBUTES || (planted[0] == '!') == ((kept & FILE_ATTRIBUTE_READONLY) != 0))
                << file << ": a file left keeps its read-only attribute";
        }
        // A reinstall before the restart writes fresh files at the names freed.
        for (const std::string& place : c.held)
            ASSERT_TRUE(!c.filesRemoved.count(place) || WriteBytes(Resolve(place), "fresh")) << place;
        ASSERT_EQ(0u, RunProgram(SystemDir() + "\\wineboot.exe", "-r").exitCode);  // the restart
        EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, SESSION_MANAGER, PENDING));
        // What was held went, under its own name or one it was moved to, where
        // it could be scheduled; the fresh files stay.
        for (const std::string& place : c.held) {
            const std::string path = Resolve(place);
            EXPECT_STREQ(c.filesRemoved.count(place) ? "fresh" : c.sessionManagerReadOnly ? "kept" : "gone",
                         ReadBytes(path) == "fresh" ? "fresh" : FileExists(path) ? "kept" : "gone") << place;
        }
        for (const std::string& name : FilesInDriverFolders())
            EXPECT_TRUE(namesBefore.count(name)) << name << " left behind";
    }
};

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
           {"OEM7.inf"}, {}, {}, false, false, false, 0,
           {"version C:\\windows\\inf\\OEM7.inf: found", "drivers\\camlynx.sys: removed",
            "file C:\\windows\\inf\\OEM7.PNF: removed", "exit code 0: nothing of the package is left"}});
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
         {"windows\\inf\\OEM2.inf", "windows\\inf\\OEM2.PNF"}, false, false, false, 3010,
         {"version C:\\windows\\inf\\OEM2.inf: in use: deleted at the restart"}},
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
    // 255 would name the planted 227-character file. cams is a folder.
    const std::string longName(230, 'n');
    const std::string cutName(255 - 28, 'n');
    PackageCase c = {"traversal and overlong names",
           {{"OEM1.inf", MarkedInf("..\\..\\victim.txt=1\r\n..\\victim.dll=1\r\n..\\..\\..\\victim.txt=1\r\n"
                          "C:\\victim.txt=1\r\n/victim.dll=1\r\n.=1\r\n..=1\r\n=1\r\n" +
                          longName + "=1\r\nkept.sys=1\r\nok.sys=1\r\ncams=1\r\n")}},
           {"windows\\victim.txt", "system32\\victim.dll", "C:\\victim.txt", "drivers\\" + cutName,
            "drivers\\cams\\in.sys",
            "syswow64\\" + cutName.substr(0, 255 - 21), "drivers\\ok.sys"},
           {"OEM1.inf"},
           {"drivers\\ok.sys"},
           {"OEM1.inf"}};
    c.logged = {"drivers\\cams: a folder, not a file: left alone"};
    Check(c);
}

// Driver packages share redistributables (libusb-win32, the KMDF
// co-installer): a name another package lists in any [SourceDisksFiles...]
// section, in any encoding, stays in both folders; one only versions of the
// package list goes.
TEST_F(DriverFiles, FilesAnotherPackageListsStay)
{
    const std::string version = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
    std::string depthCamera = "\xFF\xFE";
    for (char c : version + "[SourceDisksFiles]\r\nlibusb0.dll=1,,\r\n")
        depthCamera += {c, '\0'};
    const std::map<std::string, std::string> others = {
        {"OEM2.inf", version + "[SourceDisksFiles.amd64]\r\nlibusb0.sys = 1,\\bin\\amd64,\r\n"},
        {"OEM9.inf", depthCamera},
        {"OEM12.inf", version + "[SourceDisksFiles.x86]\r\n\"WdfCoInstaller01009.dll\" = 1\r\n"}};
    const Calls files = {"drivers\\libusb0.sys", "drivers\\libusb0.dll", "syswow64\\libusb0.dll",
                         "drivers\\WdfCoInstaller01009.dll", "syswow64\\WdfCoInstaller01009.dll", "drivers\\camlynx.sys"};
    const std::string package = MarkedInf("libusb0.sys=1\r\nlibusb0.dll=1\r\nWdfCoInstaller01009.dll=1\r\ncamlynx.sys=1\r\n");
    std::map<std::string, std::string> all = others;
    all["OEM7.inf"] = package;
    const PackageCase cases[] = {
        {"ANSI, platform-decorated", {{"OEM7.inf", package}, *others.find("OEM2.inf")}, files, {"OEM7.inf"},
         {files.begin() + 1, files.end()}, {"OEM7.inf"}, {}, {}, false, false, false, 0,
         {"file libusb0.sys: kept: another driver package lists it"}},
        {"UTF-16LE", {{"OEM7.inf", package}, *others.find("OEM9.inf")}, files, {"OEM7.inf"},
         {files[0], files[3], files[4], files[5]}, {"OEM7.inf"}},
        {"quoted", {{"OEM7.inf", package}, *others.find("OEM12.inf")}, files, {"OEM7.inf"},
         {files[0], files[1], files[2], files[5]}, {"OEM7.inf"}},
        {"all three", all, files, {"OEM7.inf"}, {files[5]}, {"OEM7.inf"}},
        {"another version", {{"OEM7.inf", package}, {"OEM9.inf", MarkedInf("libusb0.dll=1\r\n")}}, files,
         {"OEM7.inf", "OEM9.inf"}, {files.begin(), files.end()}, {"OEM7.inf", "OEM9.inf"}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

// Loaded, running or open without delete sharing, as from a video program or
// a companion the run could not close: each goes at the restart, and the
// names a DLL or a program frees stay free for a reinstall until then.
TEST_F(DriverFiles, FilesInUseGoAtTheNextRestart)
{
    const Calls files = {"drivers\\camlynx.sys", "drivers\\CamLynx.DLL", "syswow64\\camlynxui.exe", "drivers\\camlynx.ax"};
    const std::set<std::string> held(files.begin(), files.begin() + 3);
    const PackageCase cases[] = {
        {"elevated", {{"OEM7.inf", PACKAGE_INF}}, files, {"OEM7.inf"}, {files[1], files[2], files[3]}, {"OEM7.inf"}, {},
         held, false, false, false, 3010,
         {"drivers\\camlynx.sys: in use: deleted at the restart",
          "drivers\\CamLynx.DLL: in use: moved aside to C:\\windows\\system32\\drivers\\del"}},
        {"Session Manager read-only", {{"OEM7.inf", PACKAGE_INF}}, files, {"OEM7.inf"}, {files[3]}, {"OEM7.inf"}, {},
         held, false, true, false, 2,
         {"drivers\\camlynx.sys: failed, Windows error 32", "drivers\\CamLynx.DLL: failed, Windows error 5"}},
        // Its own name is free and its INF gone: only the run knows what waits.
        {"a loaded DLL alone", {{"OEM7.inf", PACKAGE_INF}}, files, {"OEM7.inf"}, {files.begin(), files.end()},
         {"OEM7.inf"}, {}, {files[1]}, false, false, false, 3010,
         {"drivers\\CamLynx.DLL: in use: moved aside to *, deleted at the restart",
          "package: waits for the restart (1 item)"}},
    };
    for (const PackageCase& c : cases)
        Check(c);
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
           true, false, false, 2,
           {"drivers\\CamLynx.DLL: not there",
            "version C:\\windows\\inf\\OEM7.inf: kept: the driver store refused it",
            "version C:\\windows\\inf\\OEM7.inf: still there"}});

    EXPECT_EQ(0u, RunUninstaller().exitCode);

    EXPECT_EQ(Calls{"OEM7.inf 0x0|done"}, UninstallerCalls("SetupUninstallOEMInfA"));
    EXPECT_FALSE(FileExists(InfPath("OEM7.inf")));
    EXPECT_FALSE(FileExists(InfPath("OEM7.inf", true)));
}

// Another OEM INF held without read sharing, as by a scanner: the names it
// lists are unknown, so the listed files stay, and so do the INF and PNF
// that list them, for the run once it can be read.
TEST_F(DriverFiles, AnUnreadableInfKeepsTheListedFilesAndTheirInfForALaterRun)
{
    const Calls files = {"drivers\\camlynx.sys", "syswow64\\camlynx.dll"};
    PackageCase c = {"OEM3.inf held", {{"OEM7.inf", PACKAGE_INF}, {"OEM3.inf", "[Version]\r\n"}}, files, {}, {}, {}};
    c.unreadableInf = "OEM3.inf";
    c.deployCode = 2;
    c.logged = {"file camlynx.sys: kept: an OEM INF could not be read",
                "version C:\\windows\\inf\\OEM7.inf: kept: an OEM INF could not be read"};
    Check(c);

    EXPECT_EQ(0u, RunUninstaller().exitCode);

    EXPECT_EQ(Calls{"OEM7.inf 0x0|done"}, UninstallerCalls("SetupUninstallOEMInfA"));
    for (const std::string& gone : {InfPath("OEM7.inf"), InfPath("OEM7.inf", true), Resolve(files[0]), Resolve(files[1])})
        EXPECT_FALSE(FileExists(gone)) << gone;
}

// The package's own INF held so, no version is found: nothing of it can be
// told gone, whatever went.
TEST_F(DriverFiles, AnUnreadablePackageInfIsNoCleanMachine)
{
    PackageCase c = {"OEM7.inf held", {{"OEM7.inf", PACKAGE_INF}}, {"drivers\\camlynx.sys"}, {}, {}, {}};
    c.unreadableInf = "OEM7.inf";
    c.deployCode = 2;
    c.logged = {"look at 1 oem*.inf file(s) that could not be opened: cannot tell, Windows error 32",
                "package: cannot tell (1 look failed)"};
    Check(c);
}

// SetupAPI fails for another reason, as for an INF Windows never published:
// the INF and PNF go all the same.
TEST_F(DriverFiles, AnInfTheStoreDoesNotKnowGoesAllTheSame)
{
    PackageCase c = {"not published", {{"OEM7.inf", PACKAGE_INF}}, {"drivers\\camlynx.sys"}, {"OEM7.inf"},
                     {"drivers\\camlynx.sys"}, {"OEM7.inf"}};
    c.storeUnpublished = true;
    Check(c);
}

using Devices = PackageMachine;

TEST_F(Devices, FirstHardwareIdContainingAModelIdOrDriverKeyNamingTheInfIsRemoved)
{
    const std::string longSecondId(300, 'L');
    const std::string unmarked = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n";
    Check({"package INF",
           {{"OEM7.inf", PACKAGE_INF}, {"OEM3.inf", unmarked}},
           {},
           {"OEM7.inf"},
           {},
           {"OEM7.inf"},
           {
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0100", "USB\\VID_1B3F&PID_2002"}, true},
               {"image", {"usb\\vid_1b3f&pid_2003&mi_00&rev_0001"}, true},
               {"image", {"USB\\VID_1B3F&PID_2002"}, true},
               {"image", {"USB\\VID_1B3F&PID_2002&USB\\VID_1B3F&PID_2003&MI_00"}, true},
               {"image", {"USB\\VID_04F2&PID_B5A1", "USB\\VID_1B3F&PID_2002"}, false},
               {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false},
               {"image", {"USB\\VID_1B3F&PID_20FF"}, false},
               {"HIDClass", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false},
               // Over 256 bytes the property cannot be read: passed over.
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0200", longSecondId}, false},
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0300"}, true},
               // A composite camera's function: the INF's ...&MI_00 is not in
               // its first ID, its driver key names the package INF.
               {"image", {"USB\\VID_1B3F&PID_2003&REV_0100&MI_00", "USB\\VID_1B3F&PID_2003&MI_00"},
                true, "oem7.INF"},
               {"image", {"USB\\VID_1B3F&PID_2003&REV_0100&MI_02", "USB\\VID_1B3F&PID_2003&MI_02"},
                false, "oem3.inf"},
               {"HIDClass", {"USB\\VID_1B3F&PID_2003&REV_0100&MI_01"}, false, "OEM7.inf"},
               // Registered, not attached: a DIGCF_PRESENT set would leave it out.
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0400"}, true, "", "absent"},
           }});
}

TEST_F(Devices, ACameraWhoseRemovalFailsStaysAndSoDoesThePackageInf)
{
    const Calls files = {"drivers\\camlynx.sys", "drivers\\CamLynx.DLL"};
    Check({"DIF_REMOVE fails for the first camera",
           {{"OEM7.inf", PACKAGE_INF}},
           files,
           {},
           {files.begin(), files.end()},
           {"OEM7.inf", "OEM7.inf"},
           {
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false, "", "remove-fails"},
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0200"}, true},
           },
           {},
           true, false, false, 2,
           {"device ROOT\\*: failed, Windows error 5"}});
}

// Where the store lets the package go all the same, the camera still counts;
// one Windows removes at the restart waits for it.
TEST_F(Devices, ACameraLeftOrWaitingDecidesTheCode)
{
    const PackageCase cases[] = {
        {"DIF_REMOVE fails, the store does not refuse", {{"OEM7.inf", PACKAGE_INF}}, {}, {"OEM7.inf"}, {},
         {"OEM7.inf"}, {{"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false, "", "remove-fails"}},
         {}, false, false, false, 2, {"device ROOT\\*: still there", "package: present (1 device)"}},
        {"DI_NEEDREBOOT after DIF_REMOVE", {{"OEM7.inf", PACKAGE_INF}}, {}, {"OEM7.inf"}, {}, {"OEM7.inf"},
         {{"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, true, "", "needreboot"}},
         {}, false, false, false, 3010,
         {"device ROOT\\*: removed; Windows finishes it at the restart", "package: waits for the restart (1 item)"}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

TEST_F(Devices, ModelsEdgeLinesRemoveNoUnrelatedDevice)
{
    std::string models = "%A%=Cam.Install\r\n%B%=Cam.Install,\r\n%C%=Cam.Install,USB\\VID_" +
                         std::string(62, '7') + "\r\n";
    for (int i = 0; i < 70; i++)
        models += "%D%=Cam.Install,USB\\VID_1B3F&PID_" + std::to_string(3000 + i) + "\r\n";
    Check({"edge lines",
           {{"OEM1.inf", MarkedInf("", models)}},
           {},
           {"OEM1.inf"},
           {},
           {"OEM1.inf"},
           {
               {"image", {"USB\\VID_1B3F&PID_3000&REV_0001"}, true},
               {"image", {"USB\\VID_1B3F&PID_3063&REV_0001"}, true},   // 64th readable line
               {"image", {"USB\\VID_1B3F&PID_3064&REV_0001"}, false},  // the table is full
               {"image", {"USB\\VID_" + std::string(62, '7')}, false},
               {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false},
               {"image", {"PCI\\VEN_8086&DEV_1234"}, false},
           }});
}

TEST_F(Devices, WithoutReadableModelsNoDeviceGoesButTheFilePassRuns)
{
    const PlantedDevice camera = {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false};
    const std::string noSignature =
        "[Version]\r\nCatalogFile.ntx86=camlynx.cat\r\n[Norvale.NTamd64]\r\n"
        "%A%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n[SourceDisksFiles]\r\nf.sys=1\r\n";
    const std::string noModels = "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
                                 "CatalogFile.ntx86=camlynx.cat\r\n[SourceDisksFiles]\r\nf.sys=1\r\n";
    const PackageCase cases[] = {
        {"no package INF", {}, {"drivers\\f.sys"}, {}, {}, {}, {camera}},
        {"INF without a Signature", {{"OEM1.inf", noSignature}}, {"drivers\\f.sys"}, {"OEM1.inf"},
         {"drivers\\f.sys"}, {"OEM1.inf"}, {camera}},
        {"no models section", {{"OEM1.inf", noModels}}, {"drivers\\f.sys"}, {"OEM1.inf"},
         {"drivers\\f.sys"}, {"OEM1.inf"}, {camera}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

// Windows keeps the INF of every version it staged: each names its own model
// and one they share, and lists its own file and one they share.
TEST_F(Devices, EveryVersionsModelsAndFilesGo)
{
    PackageCase c = {"four versions", {}, {"drivers\\shared.sys"}, {}, {"drivers\\shared.sys"}, {},
                     {{"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, true},
                      {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false}}};
    for (int number : {2, 9, 40, 130}) {
        const std::string n = std::to_string(number), inf = "OEM" + n + ".inf",
                          model = "PID_" + std::to_string(5000 + number), file = "drivers\\v" + n + ".sys";
        c.infs[inf] = MarkedInf("shared.sys=1\r\nv" + n + ".sys=1\r\n",
                                "%A%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n"
                                "%B%=Cam.Install,USB\\VID_1B3F&" + model + "\r\n");
        c.infsRemoved.insert(inf);
        c.storeCalls.push_back(inf);
        c.devices.push_back({"image", {"USB\\VID_1B3F&" + model + "&REV_0100"}, true});
        c.files.push_back(file);
        c.filesRemoved.insert(file);
    }
    Check(c);
}
