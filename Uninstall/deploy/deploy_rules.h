// uninstall-deploy.exe's decisions: its arguments, its exit code and the
// words of its log. Pure decisions: no Windows call, so they build and are
// tested natively too.
#pragma once

#include <cstddef>

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

enum class Request { CleanUp, Usage, Unknown };
// "/?" alone asks for the usage; any other argument is unknown, and its
// index goes to *unknown.
Request ReadArguments(int argc, const char* const* argv, int* unknown);

// What is left once the clean-up ran.
struct RunFacts {
    bool versionLeft;       // an OEM INF holds the catalog line, not scheduled for the restart
    bool fileLeft;          // a listed file could be neither deleted nor scheduled
    bool serviceStays;      // its key, or the SCM's record, outlives the restart
    bool servicePending;    // deleted, but the SCM keeps it till the restart (it runs)
    bool restartScheduled;  // this run scheduled a file for the restart
};
int CleanUpExitCode(const RunFacts& facts);
// The code's meaning, in the words the log and the usage give it.
const char* ExitCodeMeaning(int code);

inline constexpr size_t LOG_LINE_SIZE = 1024;
// "<subject> <name>: <outcome>", e.g. "file C:\...\camlynx.sys: removed";
// a line too long for the buffer is cut.
void FormatReport(char (&line)[LOG_LINE_SIZE], Subject subject, const char* name,
                  Outcome outcome, unsigned long error, const char* detail);

// The log stays under LOG_LIMIT bytes: past it, the oldest lines go, leaving
// the newest LOG_KEPT bytes at most, from the start of a line.
inline constexpr long LOG_LIMIT = 1024 * 1024 - 1;
inline constexpr long LOG_KEPT = 768 * 1024;
