// uninstall-deploy.exe: what it does before the clean-up, its exit code, its
// console and its log, where the log cannot be written or has grown large.
#include <algorithm>
#include <cstdint>
#include <map>
#include <regex>
#include <sstream>

#include "clean_machine.h"

static const std::string CONSOLE = LogDir() + "\\console.txt";
static const std::string LOG_FOLDER = WindowsDir() + "\\Logs\\Software";
static const std::string OLD_LINE = "old run line ";

// Runs it through cmd.exe, its console written to CONSOLE.
static DWORD RunDeploy(const std::string& arguments)
{
    const std::string exe = ToWindowsPath(getenv("UNINSTALL_EXE"));
    if (!WriteBytes(CONSOLE, ""))
        return ~0u;
    return RunProgram(SystemDir() + "\\cmd.exe",
                      "/c " + exe + " " + arguments + " > " + CONSOLE).exitCode;
}

// Each line's message, as the console shows it, and whether every line is
// CMTrace's: local time, its bias, type 1 to 3, the thread.
static std::string LogMessages(const std::string& log, bool* wellFormed = nullptr,
                               std::map<std::string, int>* linesByThread = nullptr)
{
    static const std::regex record(R"re(<!\[LOG\[(.*)\]LOG\]!><time="\d\d:\d\d:\d\d\.\d{3}[+-]\d{3}" )re"
                                   R"re(date="\d\d-\d\d-\d{4}" component="uninstall-deploy" context="" )re"
                                   R"re(type="[123]" thread="(\d+)" file="">\r)re");
    std::string messages;
    std::istringstream lines(log);
    std::smatch parts;
    for (std::string line; std::getline(lines, line);) {
        const bool matches = std::regex_match(line, parts, record);
        if (wellFormed != nullptr)
            *wellFormed = *wellFormed && matches;
        if (linesByThread != nullptr && matches)
            ++(*linesByThread)[parts[2]];
        messages += matches ? parts[1].str() + "\r\n" : "";
    }
    return messages;
}

// A log of about `bytes` from earlier runs, its lines numbered from 0.
static std::string OldLog(size_t bytes)
{
    std::string log;
    for (int i = 0; log.size() < bytes; i++)
        log += OLD_LINE + std::to_string(i) + " " + std::string(60, '.') + "\r\n";
    return log;
}

struct DeployCase {
    const char* name;
    const char* arguments;
    bool installed;       // the package, with the camera application's key when...
    bool application;     // ...it is still installed, its setup.exe beside it
    bool servicesReadOnly;  // as for an administrator without elevation
    bool logFolderIsFile;
    size_t oldLog;        // bytes the log holds before the run
    bool ranBefore;       // a first run cleaned the machine
    DWORD code;
    const char* console;  // a line the console shows; "" when it shows the run's log lines
    bool infHeld = false;   // OEM7.inf held open without delete sharing through the first run
    bool restartedBefore = false;  // the machine restarted after the first run
    uint64_t sparseBytes = 0;      // the log starts with that many bytes of a sparse file
};

static const char* const PRESENT =
    "KestrelCam driver package: present (1 version, 1 device, 7 files, 3 registry entries)";

static const DeployCase DEPLOY_CASES[] = {
    {"usage", "/?", true, false, false, false, 0, false, 0, "  3010  what is left goes at the restart"},
    {"unknown argument", "/quiet", true, false, false, false, 0, false, 87, "unknown argument: /quiet"},
    {"application still installed", "", true, true, false, false, 0, false, 1, ""},
    {"not an administrator", "", true, false, true, false, 0, false, 5, ""},
    {"nothing installed", "", false, false, false, false, 0, false, 0, ""},
    {"package installed", "", true, false, false, false, 0, false, 0, ""},
    {"second run, the log appended to", "", true, false, false, false, 0, true, 0, ""},
    {"log folder is a file", "", true, false, false, true, 0, false, 0, "exit code 0: nothing of the package is left"},
    {"log of 3 MiB", "", true, false, false, false, 3 * 1024 * 1024, false, 0, ""},
    {"log past 2 GiB, sparse", "", true, false, false, false, 1024 * 1024, false, 0, "", false, false, 2560ull << 20},
    {"/check, the package installed", "/check", true, false, false, false, 0, false, 2, PRESENT},
    {"/check, keys read-only as without elevation", "/check", true, false, true, false, 0, false, 2, PRESENT},
    {"/check, the application installed", "/check", true, true, false, false, 0, false, 1,
     "entries); the camera application is still installed"},
    {"/CHECK after a clean run", "/CHECK", true, false, false, false, 0, true, 0, "KestrelCam driver package: gone"},
    {"/check after a run whose INF waits for the restart", "/check", true, false, false, false, 0, true, 3010,
     "KestrelCam driver package: waits for the restart (1 item)", true},
    {"/check after that restart", "/check", true, false, false, false, 0, true, 0, "KestrelCam driver package: gone",
     true, true},
};

// Bytes of a sparse file, then text, as a log that grew past 2 GiB.
static bool SparseThen(const std::string& text, uint64_t bytes)
{
    HANDLE log = WriteBytes(DeployLog(), "") ? CreateFileA(DeployLog().c_str(), GENERIC_WRITE, 0, nullptr,
                                                          OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(bytes);
    DWORD written = 0;
    bool made = log != INVALID_HANDLE_VALUE && SetFilePointerEx(log, end, nullptr, FILE_BEGIN) &&
                WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                written == text.size();
    CloseHandle(log);
    return made;
}

using Deploy = CleanMachine;

TEST_F(Deploy, ExitCodeConsoleAndLogTellWhatTheRunDid)
{
    for (const DeployCase& c : DEPLOY_CASES) {
        SCOPED_TRACE(c.name);
        ResetMachine();
        DeleteAnyFile(LOG_FOLDER);
        RemoveDirectoryA(LOG_FOLDER.c_str());
        if (c.installed) {
            ASSERT_EQ(ItemLabels{}, InstallPackage());
        }
        if (c.application) {
            ASSERT_TRUE(PutValue(HKEY_LOCAL_MACHINE, APP_KEY, "Version", "2.0"));
            ASSERT_TRUE(CopyInto(HelperPath("recorder.exe"), SETUP_EXE));
        }
        ASSERT_TRUE(!c.servicesReadOnly ||
                    MakeKeyReadOnly(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services"));
        ASSERT_TRUE(!c.logFolderIsFile || WriteBytes(LOG_FOLDER, "a file, not a folder"));
        const std::string oldLog = OldLog(c.oldLog);
        ASSERT_TRUE(c.oldLog == 0 || (c.sparseBytes == 0 ? WriteBytes(DeployLog(), oldLog) : SparseThen(oldLog, c.sparseBytes)));
        HANDLE inf = c.infHeld ? CreateFileA(InfPath("OEM7.inf").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr) : nullptr;
        ASSERT_EQ(c.infHeld ? 3010u : 0u, c.ranBefore ? RunDeploy("") : 0u);
        CloseHandle(inf);
        ASSERT_EQ(0u, c.restartedBefore ? RunProgram(SystemDir() + "\\wineboot.exe", "-r").exitCode : 0u);
        const std::string firstRun = ReadBytes(DeployLog());
        const std::vector<bool> before = ItemStates();

        EXPECT_EQ(c.code, RunDeploy(c.arguments));

        const bool cleanUp = c.code == 0 && *c.arguments == '\0';
        const std::vector<bool> after = ItemStates();
        const std::vector<MachineItem> items = MachineItems();
        for (size_t i = 0; i < items.size(); i++)
            EXPECT_EQ(before[i] && !(cleanUp && items[i].removedByCleanUp), after[i]) << items[i].label;
        Sleep(c.application ? 1000 : 0);  // time for a wrongly started setup.exe to show
        EXPECT_FALSE(FileExists(LogDir() + "\\launches.txt"));

        const std::string console = ReadBytes(CONSOLE), log = ReadBytes(DeployLog());
        if (*c.console != '\0') {
            EXPECT_NE(std::string::npos, console.find(c.console)) << console;
        }
        // The run's lines, on the console and at the log's end alike; /? and
        // /check leave the log as it was.
        const bool logged = c.arguments[0] != '/' || c.code == 87, runs = logged && !c.logFolderIsFile;
        EXPECT_EQ(runs, log != firstRun);
        if (logged) {
            EXPECT_EQ(0u, console.find("== uninstall-deploy.exe 1.0.0.0, ")) << console;
            EXPECT_NE(std::string::npos, console.find("\r\naccount: ")) << console;
            EXPECT_NE(std::string::npos, console.find("\r\nexit code " + std::to_string(c.code) + ": "));
        }
        bool wellFormed = true;
        const std::string runLines = log.substr(std::min(log.find("<![LOG["), log.size()));
        const std::string messages = LogMessages(runLines, &wellFormed);
        EXPECT_TRUE(!runs || c.code == 87 || LogMessages(firstRun) + console == messages) << "each run appends its lines";
        EXPECT_TRUE(wellFormed) << runLines;
        // Past 1 MiB the oldest lines go, whole; the newest stay before the run's.
        EXPECT_LT(log.size(), 1024u * 1024u);
        if (c.oldLog != 0) {
            const std::string kept = log.substr(0, log.size() - runLines.size());
            EXPECT_EQ(0u, kept.find(OLD_LINE));
            EXPECT_EQ(kept, oldLog.substr(oldLog.size() - kept.size()));
            EXPECT_GT(kept.size(), 512u * 1024u);
        }
        DeleteAnyFile(LogDir() + "\\launches.txt");
    }
    DeleteAnyFile(LOG_FOLDER);
}

// Two runs at once: each line whole, every line of each in the log, and the
// log under 1 MiB, trimmed by one of them only.
TEST_F(Deploy, TwoRunsAtOnceEachLogEveryLine)
{
    ASSERT_TRUE(WriteBytes(DeployLog(), OldLog(3 * 1024 * 1024)));
    const std::string exe = ToWindowsPath(getenv("UNINSTALL_EXE"));
    HANDLE runs[] = {StartProgram(exe, ""), StartProgram(exe, "")};
    for (HANDLE run : runs) {
        DWORD code = ~0u;
        EXPECT_TRUE(run != nullptr && WaitForSingleObject(run, 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(run, &code));
        EXPECT_EQ(0u, code);
        CloseHandle(run);
    }
    const std::string log = ReadBytes(DeployLog());
    EXPECT_LT(log.size(), 1024u * 1024u);
    bool wellFormed = true;
    std::map<std::string, int> linesByThread;
    const std::string messages = LogMessages(log.substr(log.find("<![LOG[")), &wellFormed, &linesByThread);
    EXPECT_TRUE(wellFormed);
    ASSERT_EQ(2u, linesByThread.size());
    EXPECT_EQ(linesByThread.begin()->second, linesByThread.rbegin()->second) << messages;
    EXPECT_EQ(2u, linesByThread.size() == 2 ? std::count(messages.begin(), messages.end(), '\n') / linesByThread.begin()->second : 0)
        << messages;
    EXPECT_NE(std::string::npos, messages.find("exit code 0: ", messages.find("exit code 0: ") + 1)) << messages;
}
