// uninstall-deploy.exe's log, and what it learns of the run from the
// stages' reports.
#pragma once

#include "package_identity.h"
#include "report.h"

// The one table of the run.
struct DeployRun {
    char logPath[PATH_SIZE];  // empty when there is no log
    bool restartScheduled;    // a file was scheduled for the restart
    bool serviceDeleted;      // the SCM was told to delete the service
    bool fileLeft;            // a file could be neither deleted nor scheduled
    // Versions whose INF was scheduled for the restart under its own name.
    char scheduledInfs[PACKAGE_INF_SLOTS][PATH_SIZE];
    int versionsScheduled;
};
extern DeployRun deployRun;

// <Windows folder>\Logs\Software\KestrelCam-uninstall.log, its folders made
// when missing. Lines go to the console all the same when it cannot be.
void StartLog();
void LogLine(const char* line);
// Keeps the log under LOG_LIMIT bytes, its oldest lines going first.
void TrimLog();
bool InfScheduled(const char* infPath);
