// The three registry entries go first; everything that resembles them stays.
#include "clean_machine.h"

static const std::string ENTRY_SUBKEY = std::string(PACKAGE_ENTRY) + "\\Components";
static const std::string UNINSTALL_PATH = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct RegistryState {
    bool entry, runValue, service;
};

static RegistryState PackageRegistry()
{
    return {KeyExists(HKEY_LOCAL_MACHINE, PACKAGE_ENTRY),
            ValueExists(HKEY_LOCAL_MACHINE, RUN_PATH, "SnapDeck"),
            KeyExists(HKEY_LOCAL_MACHINE, SERVICE_PATH)};
}

static void ExpectDecoysKept()
{
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OTHER_ENTRY));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, RUN_PATH, "OtherTool"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, RUN_PATH, "SnapDeck"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OTHER_SERVICE));
    EXPECT_EQ(0u, AskScm("TarnCamSvc2", 'o'));
}

using Registry = CleanMachine;

// Parents made read-only, as for an administrator without elevation.
constexpr int ENTRY_PARENT = 1, RUN_PARENT = 2;

TEST_F(Registry, EntriesGoAndLookAlikesStay)
{
    struct {
        const char* name;
        bool entryHasSubkey;
        bool packageInstalled;
        RegistryState after;
        int parentsReadOnly;
        bool serviceRunning = false;  // its driver loaded: the SCM keeps it till the restart
        DWORD deployCode = 0;
        bool serviceMarked = false;  // an earlier DeleteService marked it, as a run before the restart
    } cases[] = {
        {"all three present", false, true, {false, false, false}, 0},
        {"uninstall entry with a subkey of its own", true, true, {true, false, false}, 0},
        {"none present", false, false, {false, false, false}, 0},
        {"parents of the entry and the Run value read-only", false, true, {true, true, false},
         ENTRY_PARENT | RUN_PARENT, false, 2},
        // Each entry on its own: the next still goes.
        {"parent of the entry alone read-only", false, true, {true, false, false}, ENTRY_PARENT, false, 2},
        {"service running", false, true, {false, false, false}, 0, true, 3010},
        {"service marked for deletion already", false, true, {false, false, false}, 0, true, 3010, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetMachine();
        ASSERT_EQ(ItemLabels{}, InstallPackage());
        if (!c.packageInstalled) {
            // Decoys only, and a marked INF to show the later stages still run.
            DeleteTree(HKEY_LOCAL_MACHINE, PACKAGE_ENTRY);
            DeleteValue(HKEY_LOCAL_MACHINE, RUN_PATH, "SnapDeck");
            AskScm("TarnCamSvc", 'd');
        }
        if (c.entryHasSubkey) {
            ASSERT_TRUE(PutValue(HKEY_LOCAL_MACHINE, ENTRY_SUBKEY, "Camera", "1"));
        }
        ASSERT_TRUE(!(c.parentsReadOnly & ENTRY_PARENT) || MakeKeyReadOnly(HKEY_LOCAL_MACHINE, UNINSTALL_PATH));
        ASSERT_TRUE(!(c.parentsReadOnly & RUN_PARENT) || MakeKeyReadOnly(HKEY_LOCAL_MACHINE, RUN_PATH));
        if (c.serviceRunning) {
            ASSERT_EQ(0u, AskScm("TarnCamSvc", 'd'));
            ASSERT_EQ(0u, AskScm("TarnCamSvc", 'r'));
            ASSERT_TRUE(PutValue(HKEY_LOCAL_MACHINE, std::string(SERVICE_PATH) + "\\Parameters\\Tuning", "Gain", "4"));
        }
        if (c.serviceMarked) {
            ASSERT_EQ(0u, AskScm("TarnCamSvc", 'm'));
            ASSERT_EQ(DWORD{ERROR_SERVICE_MARKED_FOR_DELETE}, AskScm("TarnCamSvc", 'm'));
        }
        EXPECT_EQ(c.packageInstalled,
                  KeyExists(HKEY_LOCAL_MACHINE, std::string(SERVICE_PATH) + "\\Parameters\\Tuning"));

        EXPECT_EQ(DeployUnderTest() ? c.deployCode : 0u, RunUninstaller().exitCode);

        // The SCM is told first, before any key goes (uninstall-deploy.exe logs the order).
        const std::string log = ReadBytes(DeployLog());
        EXPECT_TRUE(!DeployUnderTest() || log.find("[LOG[service TarnCamSvc: ") < log.find("[LOG[registry ")) << log;
        EXPECT_EQ(DeployUnderTest() && c.entryHasSubkey, log.find(": kept: it has subkeys of its own") != std::string::npos);
        RegistryState after = PackageRegistry();
        EXPECT_EQ(c.after.entry, after.entry);
        EXPECT_EQ(c.after.runValue, after.runValue);
        EXPECT_EQ(c.after.service, after.service);
        // Running, the SCM keeps it until it stops, as Windows' until the
        // restart; then it forgets it too: a reinstall can create it.
        EXPECT_EQ(c.serviceRunning, AskScm("TarnCamSvc", 'o') != ERROR_SERVICE_DOES_NOT_EXIST);
        if (c.serviceRunning)
            AskScm("TarnCamSvc", 'd');
        EXPECT_EQ(ERROR_SERVICE_DOES_NOT_EXIST, AskScm("TarnCamSvc", 'o'));
        EXPECT_EQ(0u, AskScm("TarnCamSvc", 'c'));
        EXPECT_EQ(c.entryHasSubkey, KeyExists(HKEY_LOCAL_MACHINE, ENTRY_SUBKEY));
        ExpectDecoysKept();
        EXPECT_FALSE(FileExists(InfPath("OEM7.inf")));
        EXPECT_TRUE(DeviceFirstIds("image") == std::vector<std::string>{OTHER_ID});
    }
}

TEST_F(Registry, CompanionIsClosedAfterTheRunValueIsGone)
{
    ASSERT_EQ(ItemLabels{}, InstallPackage());
    HANDLE companion = StartCompanion();
    ASSERT_NE(nullptr, companion);

    EXPECT_EQ(0u, RunUninstaller().exitCode);

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(companion, 5000));
    CloseHandle(companion);
    std::string log = ReadBytes(LogDir() + "\\companion.txt");
    EXPECT_EQ("WM_CLOSE run-value=absent", log.substr(0, log.find(" tick="))) << log;
    EXPECT_TRUE(!DeployUnderTest() || ReadBytes(DeployLog()).find("[LOG[window SnapDeck: sent WM_CLOSE, and it answered]") !=
                                          std::string::npos);
}
