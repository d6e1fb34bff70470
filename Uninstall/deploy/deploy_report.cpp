// uninstall-deploy.exe's reports: each one a line of the log and of the
// console, and the facts of the run its exit code needs.
#include "deploy_report.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "deploy_rules.h"
#include "system_paths.h"

constexpr char LOG_FOLDER_FORMAT[] = "%s\\%s";
constexpr char LOG_FOLDERS[][16] = {"Logs", "Logs\\Software"};
constexpr char LOG_FILE[] = "Logs\\Software\\KestrelCam-uninstall.log";
constexpr char TRIMMED_SUFFIX[] = ".new";

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
}

void LogLine(const char* line)
{
    (void)printf("%s\n", line);
    if (deployRun.logPath[0] == '\0')
        return;
    // Opened for each line: what a run wrote stays, however it ends.
    FILE* log = fopen(deployRun.logPath, "a");
    if (log == nullptr)
        return;
    (void)fprintf(log, "%s\n", line);
    (void)fclose(log);
}

static bool Scheduled(Outcome outcome)
{
    return outcome == Outcome::MovedAside || outcome == Outcome::Scheduled;
}

void Report(Subject subject, const char* name, Outcome outcome, unsigned long error,
            const char* detail)
{
    char line[LOG_LINE_SIZE];
    FormatReport(line, subject, name, outcome, error, detail);
    LogLine(line);
    deployRun.restartScheduled |= Scheduled(outcome);
    if (subject == Subject::Service && outcome == Outcome::Removed)
        deployRun.serviceDeleted = true;
    if (subject == Subject::File && outcome == Outcome::Failed)
        deployRun.fileLeft = true;
    // A version whose INF goes at the restart is no version left.
    if (subject == Subject::Version && outcome == Outcome::Scheduled &&
        deployRun.versionsScheduled < PACKAGE_INF_SLOTS)
        (void)snprintf(deployRun.scheduledInfs[deployRun.versionsScheduled++], PATH_SIZE, "%s",
                       name);
}

bool InfScheduled(const char* infPath)
{
    for (int i = 0; i < deployRun.versionsScheduled; i++) {
        if (strcmp(deployRun.scheduledInfs[i], infPath) == 0)
            return true;
    }
    return false;
}

// Writes what follows the log's next line end to path.
static bool WriteNewestLines(FILE* log, const char* path)
{
    int c = 0;
    while ((c = fgetc(log)) != EOF && c != '\n') {
    }
    FILE* newest = fopen(path, "wb");
    if (newest == nullptr)
        return false;
    char block[16384];
    bool written = true;
    for (size_t got = 0; written && (got = fread(block, 1, sizeof block, log)) != 0;)
        written = fwrite(block, 1, got, newest) == got;
    return (fclose(newest) == 0) && written && ferror(log) == 0;
}

void TrimLog()
{
    char trimmed[PATH_SIZE];
    if (deployRun.logPath[0] == '\0' ||
        !FormatPath(trimmed, "%s%s", deployRun.logPath, TRIMMED_SUFFIX))
        return;
    FILE* log = fopen(deployRun.logPath, "rb");
    if (log == nullptr)
        return;
    bool over = fseek(log, 0, SEEK_END) == 0 && ftell(log) > LOG_LIMIT &&
                fseek(log, -LOG_KEPT, SEEK_END) == 0;
    bool written = over && WriteNewestLines(log, trimmed);
    (void)fclose(log);
    // The old log is replaced whole, or stays as it was.
    if (over && (!written || !MoveFileExA(trimmed, deployRun.logPath, MOVEFILE_REPLACE_EXISTING)))
        DeleteFileA(trimmed);
}
