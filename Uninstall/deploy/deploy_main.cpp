// uninstall-deploy.exe: the clean-up of uninstall.exe for deployment tools
// running as SYSTEM, and /check, which looks and changes nothing. Never
// starts the vendor's installer; ends with an exit code a deployment tool
// reads, decided by a check of the machine, and logs each clean-up run
// under the Windows folder's Logs\Software.
#include <windows.h>

#include <cstdio>

#include "deploy_report.h"
#include "deploy_rules.h"
#include "machine_check.h"
#include "registry/key_opens.h"
#include "stages.h"
#include "system_dlls.h"
#include "version.h"

constexpr char USAGE[] =
    "usage: uninstall-deploy.exe [/check | /?]\n"
    "Removes the KestrelCam driver package. Run it elevated or as SYSTEM, without arguments.\n"
    "/check tells what of it is on this machine, and changes nothing; it needs no elevation.\n"
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
    LogLine(LOG_INFORMATION, line);
    char account[LOG_LINE_SIZE / 4];
    ReadAccount(account);
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    (void)snprintf(line, sizeof line, "account: %s, session %lu", account, session);
    LogLine(LOG_INFORMATION, line);
}

// The clean-up deletes and opens under HKLM with full access; only an
// elevated administrator or SYSTEM has it on the services key.
static bool Administrator()
{
    return KeyOpens(SERVICES_KEY, KEY_ALL_ACCESS);
}

static int End(int code)
{
    char line[LOG_LINE_SIZE];
    (void)snprintf(line, sizeof line, "exit code %d: %s", code, ExitCodeMeaning(code));
    LogLine(TypeOfExit(code), line);
    TrimLog();
    return code;
}

static int Summarise(const CheckTally& tally)
{
    char line[LOG_LINE_SIZE];
    FormatSummary(line, tally);
    int code = CheckExitCode(tally);
    LogLine(TypeOfExit(code), line);
    return code;
}

// A stage called into a DLL that could not be loaded: what it would have
// removed or seen is unknown.
void DelayLoadFailed(const char* name)
{
    Report(Subject::Search, name, Outcome::CannotTell, GetLastError());
    ExitProcess(static_cast<UINT>(End(EXIT_PACKAGE_LEFT)));
}

static int CleanUpRun(Request request, const char* unknownArgument)
{
    StartLog();
    LogStart();
    if (request == Request::Unknown) {
        char line[LOG_LINE_SIZE];
        (void)snprintf(line, sizeof line, "unknown argument: %s", unknownArgument);
        LogLine(LOG_ERROR, line);
        (void)PrintUsage(0);
        return End(EXIT_UNKNOWN_ARGUMENT);
    }
    if (!Administrator())
        return End(EXIT_NOT_ADMINISTRATOR);
    if (ApplicationRegistered())
        return End(EXIT_APPLICATION_INSTALLED);
    CleanUp();
    return End(Summarise(CheckMachine(&deployRun.record)));
}

int main(int argc, char** argv)
{
    RestrictDllSearch();
    int unknown = 0;
    Request request = ReadArguments(argc, argv, &unknown);
    switch (request) {
    case Request::Usage:
        return PrintUsage(EXIT_CLEAN);
    case Request::Check:  // no log: it looks only
        return Summarise(CheckMachine(nullptr));
    case Request::Unknown:
    case Request::CleanUp:
        break;
    }
    return CleanUpRun(request, request == Request::Unknown ? argv[unknown] : "");
}
