// uninstall-deploy.exe's reports: each one a line of the log and of the
// console, and what the check after the run needs of it.
#include "deploy_report.h"

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "system_paths.h"

constexpr char LOG_FOLDER_FORMAT[] = "%s\\%s";
constexpr char LOG_FOLDERS[][16] = {"Logs", "Logs\\Software"};
constexpr char LOG_FILE[] = "Logs\\Software\\KestrelCam-uninstall.log";
constexpr char TRIMMED_SUFFIX[] = ".new";
// Runs at once, from any session, take turns at the log: each line whole,
// and no line written between a trim's copy and its rename.
constexpr char LOG_LOCK[] = "Global\\KestrelCam-uninstall-log";
// SYSTEM and elevated administrators alike may take it: the default DACL
// of a SYSTEM process's objects lets administrators read them only.
constexpr char LOG_LOCK_ACCESS[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr DWORD LOG_LOCK_WAIT_MS = 10000;

DeployRun deployRun;

void StartLog()
{
    char windows[PATH_SIZE];
    char folder[PATH_SIZE];
    if (!SystemFolder(windows, GetWindowsDirectoryA))
        return;
    for (const char* name : LOG_FOLDERS) {
        // ERROR_ALREADY_EXISTS is the usual answer; a file in the folder's
        // place makes the log's open below fail, and only the log is lost.
        if (FormatPath(folder, LOG_FOLDER_FORMAT, windows, name))
            CreateDirectoryA(folder, nullptr);
    }
    if (!FormatPath(deployRun.logPath, LOG_FOLDER_FORMAT, windows, LOG_FILE))
        deployRun.logPath[0] = '\0';
    TrimLog();
}

// Runs work(argument) while this process holds the log's lock; without it
// when the lock cannot be had in time (not elevated, or a run that hangs),
// and then only where unlocked is harmless.
static void WhileLogLocked(bool (*work)(const void*), const void* argument, bool unlocked)
{
    PSECURITY_DESCRIPTOR access = nullptr;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(LOG_LOCK_ACCESS, SDDL_REVISION_1,
                                                             &access, nullptr))
        attributes.lpSecurityDescriptor = access;
    HANDLE lock = CreateMutexA(&attributes, FALSE, LOG_LOCK);
    LocalFree(access);
    // WAIT_ABANDONED: a run ended while it held the lock; it is ours now.
    DWORD waited = lock != nullptr ? WaitForSingleObject(lock, LOG_LOCK_WAIT_MS) : WAIT_FAILED;
    bool held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (held || unlocked)
        work(argument);
    if (held)
        ReleaseMutex(lock);
    if (lock != nullptr)
        CloseHandle(lock);
}

static void LocalStamp(LogStamp* stamp)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    DWORD which = GetTimeZoneInformation(&zone);
    long bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (which == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    else if (which == TIME_ZONE_ID_INVALID)
        bias = 0;
    *stamp = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
              now.wMilliseconds, bias, GetCurrentThreadId()};
}

static bool AppendRecord(const void* record)
{
    // Opened for each line: what a run wrote stays, however it ends.
    FILE* log = fopen(deployRun.logPath, "a");
    if (log == nullptr)
        return false;
    (void)fprintf(log, "%s\n", static_cast<const char*>(record));
    return fclose(log) == 0;
}

void LogLine(LogType type, const char* line)
{
    (void)printf("%s\n", line);
    if (deployRun.logPath[0] == '\0')
        return;
    LogStamp stamp;
    LocalStamp(&stamp);
    char record[LOG_LINE_SIZE + 160];
    FormatLogRecord(record, line, type, stamp);
    WhileLogLocked(AppendRecord, record, true);
}

static void Record(Subject subject, const char* name, Outcome outcome, const char* detail)
{
    RunRecord& record = deployRun.record;
    RunKnowledge knowledge = KnowledgeOf(subject, outcome);
    if (knowledge == RunKnowledge::ServiceDeleted)
        record.serviceDeleted = true;
    if (knowledge != RunKnowledge::Waits && knowledge != RunKnowledge::Left)
        return;
    if (record.count == RECORDED_ITEMS) {
        (knowledge == RunKnowledge::Waits ? record.waitingUnnamed : record.leftUnnamed)++;
        return;
    }
    RecordedItem& item = record.items[record.count++];
    item = {subject, outcome, knowledge, "", ""};
    (void)snprintf(item.name, sizeof item.name, "%s", name);
    (void)snprintf(item.detail, sizeof item.detail, "%s", detail != nullptr ? detail : "");
}

void Report(Subject subject, const char* name, Outcome outcome, unsigned long error,
            const char* detail)
{
    char line[LOG_LINE_SIZE];
    FormatReport(line, subject, name, outcome, error, detail);
    LogLine(TypeOf(outcome), line);
    Record(subject, name, outcome, detail);
}

// Copies what follows log's next line end to a new file at path.
static bool CopyNewestLines(HANDLE log, const char* path)
{
    HANDLE newest = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (newest == INVALID_HANDLE_VALUE)
        return false;
    char block[16384];
    bool lineStarted = false, written = true, read = true;
    DWORD got = 0;
    while (written && read) {
        read = ReadFile(log, block, sizeof block, &got, nullptr) != FALSE;
        if (!read || got == 0)
            break;  // an error, or the end
        DWORD from = 0;
        while (!lineStarted && from < got)
            lineStarted = block[from++] == '\n';
        DWORD put = 0;
        written = from == got ||
                  (WriteFile(newest, block + from, got - from, &put, nullptr) && put == got - from);
    }
    return CloseHandle(newest) && written && read;
}

// The log's newest LOG_KEPT bytes, from a line start, into trimmed, where
// the log is over LOG_LIMIT; sizes past 4 GiB are read whole.
static bool WriteTrimmed(const char* trimmed)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(deployRun.logPath, GetFileExInfoStandard, &data))
        return false;
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (size <= LOG_LIMIT)
        return false;
    HANDLE log = CreateFileA(deployRun.logPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER newest;
    newest.QuadPart = -static_cast<LONGLONG>(LOG_KEPT);
    bool written = SetFilePointerEx(log, newest, nullptr, FILE_END) && CopyNewestLines(log, trimmed);
    CloseHandle(log);
    return written;
}

static bool TrimLocked(const void*)
{
    char trimmed[PATH_SIZE];
    if (!FormatPath(trimmed, "%s%s", deployRun.logPath, TRIMMED_SUFFIX))
        return false;
    // The old log is replaced whole, or stays as it was.
    if (WriteTrimmed(trimmed) && MoveFileExA(trimmed, deployRun.logPath, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(trimmed);
    return false;
}

void TrimLog()
{
    if (deployRun.logPath[0] != '\0')
        WhileLogLocked(TrimLocked, nullptr, false);
}
