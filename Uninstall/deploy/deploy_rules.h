// uninstall-deploy.exe's decisions: its arguments, its exit code and the
// words of its log. Pure decisions: no Windows call, so they build and are
// tested natively too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "report.h"

// The codes deployment tools read: Intune's and Configuration Manager's
// defaults take 0 as success and 3010 as a soft restart; anything else fails.
enum DeployExit : int {
    EXIT_CLEAN = 0,
    EXIT_APPLICATION_INSTALLED = 1,
    EXIT_PACKAGE_LEFT = 2,
    EXIT_NOT_ADMINISTRATOR = 5,    // ERROR_ACCESS_DENIED
    EXIT_UNKNOWN_ARGUMENT = 87,    // ERROR_INVALID_PARAMETER
    EXIT_RESTART_NEEDED = 3010,    // ERROR_SUCCESS_REBOOT_REQUIRED
};

enum class Request { CleanUp, Usage, Check, Unknown };
// "/?" or "/check" (in any letter case) alone; any other argument is
// unknown, and its index goes to *unknown.
Request ReadArguments(int argc, const char* const* argv, int* unknown);

// What the check of the machine found, item by item.
struct CheckTally {
    int versions;      // OEM INFs of the package that the restart leaves
    int devices;
    int files;
    int registry;      // the Run value, the uninstall entry, the service
    int waiting;       // items the restart removes
    int unknown;       // looks that failed: what they would show is unknown
    bool application;  // the camera application's key exists
};
// 2 for anything that counts or cannot be told, else 3010 for anything
// waiting, else 0; 1 first while the application is installed.
int CheckExitCode(const CheckTally& tally);
// The code's meaning, in the words the log and the usage give it.
const char* ExitCodeMeaning(int code);

inline constexpr size_t LOG_LINE_SIZE = 1024;
// "<package>: present (2 versions, 1 device, 7 files)", "...: waits for the
// restart (3 items)", "...: gone", "...: cannot tell (1 look failed)".
void FormatSummary(char (&line)[LOG_LINE_SIZE], const CheckTally& tally);
// "<subject> <name>: <outcome>", e.g. "file C:\...\camlynx.sys: removed";
// a line too long for the buffer is cut.
void FormatReport(char (&line)[LOG_LINE_SIZE], Subject subject, const char* name,
                  Outcome outcome, unsigned long error, const char* detail);

// What a report of the run tells the check of the machine after it, that
// the machine no longer shows by name: a file moved aside to del<hex>.tmp,
// a file scheduled or left whose INF the run deleted, a device Windows
// removes at the restart, a service the SCM was told to delete.
enum class RunKnowledge { None, Waits, Left, ServiceDeleted };
RunKnowledge KnowledgeOf(Subject subject, Outcome outcome);

// CMTrace's types: 1 information, 2 warning, 3 error.
enum LogType : int { LOG_INFORMATION = 1, LOG_WARNING = 2, LOG_ERROR = 3 };
// 3 for a failure or a look that failed, 2 for anything of the package that
// stays after the run (kept, waiting for the restart, still there), 1 else.
LogType TypeOf(Outcome outcome);
LogType TypeOfExit(int code);

// Local time of a line, with the bias Windows reports (UTC = local + bias,
// in minutes), and the thread that wrote it.
struct LogStamp {
    unsigned year, month, day, hour, minute, second, millisecond;
    long bias;
    unsigned long thread;
};
// The message's line as the configuration tools' logs hold it, for CMTrace:
// <![LOG[message]LOG]!><time="HH:mm:ss.fff+bias" date="MM-dd-yyyy"
// component="uninstall-deploy" context="" type="N" thread="ID" file="">
void FormatLogRecord(char (&record)[LOG_LINE_SIZE + 160], const char* message, LogType type,
                     const LogStamp& stamp);

// The log stays under LOG_LIMIT bytes: past it, the oldest lines go, leaving
// the newest LOG_KEPT bytes at most, from the start of a line.
inline constexpr uint64_t LOG_LIMIT = 1024 * 1024 - 1;
inline constexpr uint64_t LOG_KEPT = 768 * 1024;

// Whether PendingFileRenameOperations (REG_MULTI_SZ, size bytes, pairs of a
// source "\??\C:\..." and a target, empty for a deletion) deletes path at the
// restart, by a case-insensitive comparison of the path.
bool PendingDeletion(const char* pending, size_t size, const char* path);
