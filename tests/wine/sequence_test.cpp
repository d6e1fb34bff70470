// The entry: hand-off while the camera application is registered, the
// companion window closed on the clean-up path, exit status 0 throughout.
#include <algorithm>
#include <sstream>

#include "clean_machine.h"

static const std::string PROGRAM_EXE = "C:\\Program.exe";
static const std::string INSTALLSHIELD_EXE = "C:\\Program Files\\InstallShield.exe";

static std::vector<std::string> LaunchedPrograms()
{
    std::vector<std::string> programs;
    std::istringstream log(ReadBytes(LogDir() + "\\launches.txt"));
    std::string line;
    while (std::getline(log, line))
        programs.push_back(line.substr(0, line.find('|')));
    return programs;
}

static std::vector<bool> ItemStates()
{
    std::vector<bool> states;
    for (const MachineItem& item : MachineItems())
        states.push_back(item.present());
    return states;
}

class Sequence : public CleanMachine {
protected:
    void TearDown() override
    {
        if (companion != nullptr) {
            TerminateProcess(companion, 1);
            CloseHandle(companion);
        }
        CleanMachine::TearDown();
    }
    HANDLE companion = nullptr;
};

struct HandOffCase {
    const char* name;
    bool setupInstalled;
    bool decoysPlanted;  // C:\Program.exe and C:\Program Files\InstallShield.exe
    const char* arguments;
    bool setupRuns;
};

static const HandOffCase HAND_OFF_CASES[] = {
    {"setup installed", true, false, "", true},
    {"arguments ignored", true, false, "/clean --force C:\\x", true},
    {"programs planted on the unquoted path", true, true, "", true},
    {"setup missing", false, false, "", false},
    {"setup missing, programs planted", false, true, "", false},
};

TEST_F(Sequence, HandOffLaunchesOnlyTheSetupProgramAndChangesNothing)
{
    for (const HandOffCase& c : HAND_OFF_CASES) {
        SCOPED_TRACE(c.name);
        ResetMachine();
        InstallPackage();
        ASSERT_TRUE(PutValue(HKEY_LOCAL_MACHINE, APP_KEY, "Version", "2.0"));
        std::string recorder = HelperPath("recorder.exe");
        if (c.setupInstalled) {
            ASSERT_TRUE(CopyInto(recorder, SETUP_EXE));
        }
        if (c.decoysPlanted) {
            ASSERT_TRUE(CopyInto(recorder, PROGRAM_EXE));
            ASSERT_TRUE(CopyInto(recorder, INSTALLSHIELD_EXE));
        }
        std::vector<bool> before = ItemStates();

        RunResult run = RunUninstaller(c.arguments);

        EXPECT_EQ(0u, run.exitCode);
        if (c.setupRuns) {
            EXPECT_TRUE(WaitUntil([] { return !LaunchedPrograms().empty(); }, 10000));
        }
        Sleep(1000);  // time for a wrongly launched program to show up
        std::vector<std::string> expected;
        if (c.setupRuns)
            expected.push_back(SETUP_EXE);
        EXPECT_EQ(expected, LaunchedPrograms());
        EXPECT_EQ(before, ItemStates());
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, APP_KEY));
    }
}

TEST_F(Sequence, CompanionWindowIsClosedAndTheRunPausesOneSecond)
{
    companion = StartCompanion();
    ASSERT_NE(nullptr, companion);

    RunResult run = RunUninstaller();

    EXPECT_EQ(0u, run.exitCode);
    EXPECT_GE(run.milliseconds, 1000u);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(companion, 5000));
    std::string log = ReadBytes(LogDir() + "\\companion.txt");
    EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
    EXPECT_EQ(0u, log.find("WM_CLOSE")) << log;
    EXPECT_EQ(nullptr, FindWindowA("#32770", "SnapDeck"));
}

TEST_F(Sequence, WithoutCompanionWindowTheRunDoesNotPause)
{
    RunResult run = RunUninstaller("ignored arguments");

    EXPECT_EQ(0u, run.exitCode);
    EXPECT_LT(run.milliseconds, 1000u);
}
