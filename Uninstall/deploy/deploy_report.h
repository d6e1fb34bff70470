// uninstall-deploy.exe's log, and what a run's reports tell the check of the
// machine after it.
#pragma once

#include "deploy_rules.h"
#include "package_identity.h"
#include "report.h"

// One thing the run left or scheduled that the machine no longer shows by
// name: the check after the run reports it again.
struct RecordedItem {
    Subject subject;
    Outcome outcome;
    RunKnowledge knowledge;
    char name[PATH_SIZE];
    char detail[PATH_SIZE];  // the name a file was moved aside to
};
inline constexpr int RECORDED_ITEMS = 128;

struct RunRecord {
    RecordedItem items[RECORDED_ITEMS];
    int count;
    int waitingUnnamed;  // past the table: counted, not named
    int leftUnnamed;
    bool serviceDeleted;  // DeleteService marked or deleted it
};

// The one table of the run.
struct DeployRun {
    char logPath[PATH_SIZE];  // empty when there is no log: /check, or none could be had
    RunRecord record;
};
extern DeployRun deployRun;

// <Windows folder>\Logs\Software\KestrelCam-uninstall.log, its folders made
// when missing, trimmed. Lines go to the console all the same when it
// cannot be.
void StartLog();
// The line on the console, and in the log in CMTrace's format.
void LogLine(LogType type, const char* line);
// Keeps the log under LOG_LIMIT bytes, its oldest lines going first.
void TrimLog();
