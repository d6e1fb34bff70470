// uninstall-deploy.exe: the clean-up of uninstall.exe for deployment tools
// running as SYSTEM. Never starts the vendor's installer; ends with an exit
// code a deployment tool reads, decided from what the run left, and logs
// each step under the Windows folder's Logs\Software.
#include <windows.h>

#include <cstdio>

#include "deploy_report.h"
#include "deploy_rules.h"
#include "package_inf.h"
#include "stages.h"
#include "system_dlls.h"
#include "version.h"

constexpr char USAGE[] =
    "usage: uninstall-deploy.exe [/?]\n"
    "Removes the KestrelCam driver package. Run it elevated or as SYSTEM, without arguments.\n"
    "Log: <Windows folder>\\Logs\\Software\\KestrelCam-uninstall.log\n"
    "Exit codes:\n";
constexpr int USAGE_CODES[] = {EXIT_CLEAN, EXIT_RESTART_NEEDED, EXIT_APPLICATION_INSTALLED,
                               EXIT_PACKAGE_LEFT, EXIT_NOT_ADMINISTRATOR, EXIT_UNKNOWN_ARGUMENT};

static int PrintUsage(int code)
{
    (void)fputs(USAGE, stdout);
    for (int listed : USAGE_CODES)
        (void)printf("  %-5d %s\n", listed, ExitCodeMeaning(listed));
    return code;
}

// The account the program runs as: NT AUTHORITY\SYSTEM under a deployment
// tool.
static void ReadAccount(char (&account)[LOG_LINE_SIZE / 4])
{
    char name[LOG_LINE_SIZE / 8];
    char domain[LOG_LINE_SIZE / 8];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    union {
        TOKEN_USER user;
        BYTE bytes[256];  // the SID follows the structure
    } owner;
    DWORD size = 0;
    SID_NAME_USE use;
    HANDLE token = nullptr;
    bool known = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                 GetTokenInformation(token, TokenUser, &owner, sizeof owner, &size) &&
                 LookupAccountSidA(nullptr, owner.user.User.Sid, name, &nameSize, domain,
                                   &domainSize, &use);
    DWORD error = known ? ERROR_SUCCESS : GetLastError();
    if (token != nullptr)
        CloseHandle(token);
    if (known)
        (void)snprintf(account, sizeof account, "%s\\%s", domain, name);
    else
        (void)snprintf(account, sizeof account, "unknown (Windows error %lu)", error);
}

static void LogStart()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char line[LOG_LINE_SIZE];
    (void)snprintf(line, sizeof line, "== uninstall-deploy.exe %s, %04u-%02u-%02u %02u:%02u:%02u UTC",
                   PROGRAM_VERSION_TEXT, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                   now.wSecond);
    LogLine(line);
    char account[LOG_LINE_SIZE / 4];
    ReadAccount(account);
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    (void)snprintf(line, sizeof line, "account: %s, session %lu", account, session);
    LogLine(line);
}

// The clean-up deletes and opens under HKLM with full access; only an
// elevated administrator or SYSTEM has it on the services key.
static bool Administrator()
{
    return KeyOpens(SERVICES_KEY, KEY_ALL_ACCESS);
}

// Each copy still installed, by the search the clean-up uses.
static void CheckVersions(RunFacts* facts)
{
    InfMatch match;
    for (OemInf after = BEFORE_FIRST_OEM_INF; FindPackageInf(&match, after); after = match.inf) {
        (void)fclose(match.reader.file);
        if (InfScheduled(match.path))
            continue;
        facts->versionLeft = true;
        Report(Subject::Version, match.path, Outcome::Left);
    }
}

// A running service the SCM was told to delete goes at the restart, its
// key with it; any other record or key stays.
static void CheckService(RunFacts* facts)
{
    char keyPath[PATH_SIZE];
    bool keyThere = FormatPath(keyPath, "%s\\%s", SERVICES_KEY, SERVICE_NAME) &&
                    KeyOpens(keyPath, KEY_READ);
    bool known = false;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager != nullptr) {
        SC_HANDLE service = OpenServiceA(manager, SERVICE_NAME, SERVICE_QUERY_STATUS);
        known = service != nullptr || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
        if (service != nullptr)
            CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
    facts->servicePending = known && deployRun.serviceDeleted;
    facts->serviceStays = (known || keyThere) && !facts->servicePending;
    if (known || keyThere)
        Report(Subject::Service, SERVICE_NAME, Outcome::Left);
}

static int End(int code)
{
    char line[LOG_LINE_SIZE];
    (void)snprintf(line, sizeof line, "exit code %d: %s", code, ExitCodeMeaning(code));
    LogLine(line);
    TrimLog();
    return code;
}

int main(int argc, char** argv)
{
    RestrictDllSearch();
    int unknown = 0;
    switch (ReadArguments(argc, argv, &unknown)) {
    case Request::Usage:
        return PrintUsage(EXIT_CLEAN);
    case Request::Unknown:
        (void)printf("unknown argument: %s\n", argv[unknown]);
        return PrintUsage(EXIT_UNKNOWN_ARGUMENT);
    case Request::CleanUp:
        break;
    }
    StartLog();
    LogStart();
    if (!Administrator())
        return End(EXIT_NOT_ADMINISTRATOR);
    if (ApplicationRegistered())
        return End(EXIT_APPLICATION_INSTALLED);
    CleanUp();
    RunFacts facts = {false, deployRun.fileLeft, false, false, deployRun.restartScheduled};
    CheckVersions(&facts);
    CheckService(&facts);
    return End(CleanUpExitCode(facts));
}
