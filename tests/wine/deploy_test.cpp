// uninstall-deploy.exe: what it does before the clean-up, its exit code, its
// console and its log, where the log cannot be written or has grown large.
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
};

static const DeployCase DEPLOY_CASES[] = {
    {"usage", "/?", true, false, false, false, 0, false, 0, "  3010  removed; a restart finishes it"},
    {"unknown argument", "/quiet", true, false, false, false, 0, false, 87, "unknown argument: /quiet"},
    {"application still installed", "", true, true, false, false, 0, false, 1, ""},
    {"not an administrator", "", true, false, true, false, 0, false, 5, ""},
    {"nothing installed", "", false, false, false, false, 0, false, 0, ""},
    {"package installed", "", true, false, false, false, 0, false, 0, ""},
    {"second run, the log appended to", "", true, false, false, false, 0, true, 0, ""},
    {"log folder is a file", "", true, false, false, true, 0, false, 0, "exit code 0: nothing of the package is left"},
    {"log of 3 MiB", "", true, false, false, false, 3 * 1024 * 1024, false, 0, ""},
};

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
        ASSERT_TRUE(c.oldLog == 0 || WriteBytes(DeployLog(), oldLog));
        ASSERT_EQ(0u, c.ranBefore ? RunDeploy("") : 0u);
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
        // The run's lines, on the console and at the log's end alike.
        const bool logged = *c.arguments == '\0' && !c.logFolderIsFile;
        EXPECT_EQ(logged, !log.empty());
        if (logged) {
            EXPECT_EQ(0u, console.find("== uninstall-deploy.exe 1.0.0.0, ")) << console;
            EXPECT_NE(std::string::npos, console.find("\r\naccount: ")) << console;
            EXPECT_NE(std::string::npos, console.find("\r\nexit code " + std::to_string(c.code) + ": "));
            EXPECT_TRUE(c.oldLog != 0 || firstRun + console == log) << "each run appends its lines";
        }
        // Past 1 MiB the oldest lines go, whole; the newest stay before the run's.
        EXPECT_LT(log.size(), 1024u * 1024u);
        if (c.oldLog != 0) {
            const std::string kept = log.substr(0, log.size() - std::min(log.size(), console.size()));
            EXPECT_EQ(0u, kept.find(OLD_LINE));
            EXPECT_EQ(kept, oldLog.substr(oldLog.size() - kept.size()));
            EXPECT_GT(kept.size(), 512u * 1024u);
        }
        DeleteAnyFile(LogDir() + "\\launches.txt");
    }
    DeleteAnyFile(LOG_FOLDER);
}
