// uninstall-deploy.exe's decisions: which code a run ends with, which
// arguments it takes, and its log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy_rules.h"

TEST(Deploy, WhatIsLeftDecidesTheCode)
{
    // versions, devices, files, registry, waiting, unknown, application
    struct { const char* name; CheckTally tally; int code; const char* summary; } cases[] = {
        {"nothing left", {0, 0, 0, 0, 0, 0, false}, 0, "gone"},
        {"files scheduled", {0, 0, 0, 0, 3, 0, false}, 3010, "waits for the restart (3 items)"},
        // A restart does not finish these: the code says run again after it.
        {"a version the store kept, files scheduled", {1, 0, 0, 0, 2, 0, false}, 2, "present (1 version)"},
        {"a file neither deleted nor scheduled", {0, 0, 1, 0, 1, 0, false}, 2, "present (1 file)"},
        {"a look failed, the rest waits", {0, 0, 0, 0, 1, 1, false}, 2, "cannot tell (1 look failed)"},
        {"all of it", {2, 1, 7, 3, 0, 2, false}, 2,
         "present (2 versions, 1 device, 7 files, 3 registry entries, 2 looks failed)"},
        {"application still installed", {1, 0, 0, 1, 0, 0, true}, 1,
         "present (1 version, 1 registry entry); the camera application is still installed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, CheckExitCode(c.tally)) << c.name;
        char line[1024];
        FormatSummary(line, c.tally);
        EXPECT_EQ(std::string("KestrelCam driver package: ") + c.summary, line) << c.name;
    }
}

TEST(Deploy, OnlySlashQuestionMarkAndCheckAreKnown)
{
    struct { std::vector<const char*> argv; Request request; int unknown; } cases[] = {
        {{"uninstall-deploy.exe"}, Request::CleanUp, 0},
        {{"uninstall-deploy.exe", "/?"}, Request::Usage, 0},
        {{"uninstall-deploy.exe", "/Check"}, Request::Check, 0},
        {{"uninstall-deploy.exe", "/S"}, Request::Unknown, 1},
        {{"uninstall-deploy.exe", "/checks"}, Request::Unknown, 1},
        {{"uninstall-deploy.exe", "/?", "/S"}, Request::Unknown, 2},  // the one after is unknown
        {{"uninstall-deploy.exe", "/CHECK", "/check"}, Request::Unknown, 2},
    };
    for (const auto& c : cases) {
        int unknown = 0;
        EXPECT_EQ(c.request, ReadArguments(static_cast<int>(c.argv.size()), c.argv.data(), &unknown)) << c.argv.back();
        EXPECT_EQ(c.unknown, unknown) << c.argv.back();
    }
}

TEST(Deploy, LogLinesNameTheThingAndWhatBecameOfIt)
{
    const std::string longPath(2000, 'p');
    struct { Subject subject; const char* name; Outcome outcome; unsigned long error; const char* detail;
             std::string line; } cases[] = {
        {Subject::Registry, "SnapDeck", Outcome::Removed, 0, "SOFTWARE\\Run", "registry HKLM\\SOFTWARE\\Run\\SnapDeck: removed"},
        {Subject::File, "C:\\d\\a.ax", Outcome::MovedAside, 0, "C:\\d\\del1.tmp",
         "file C:\\d\\a.ax: in use: moved aside to C:\\d\\del1.tmp, deleted at the restart"},
        {Subject::File, "C:\\d\\a.sys", Outcome::Failed, 32, nullptr, "file C:\\d\\a.sys: failed, Windows error 32"},
        {Subject::Version, longPath.c_str(), Outcome::Left, 0, nullptr,
         "version " + longPath.substr(0, LOG_LINE_SIZE / 2 - 13) + ": still there"},
        {Subject::Registry, "{P}", Outcome::KeptOnPurpose, 0, "SOFTWARE\\U",
         "registry HKLM\\SOFTWARE\\U\\{P}: kept: it has subkeys of its own, which may be another "
         "product's; if they are the package's: reg delete \"HKLM\\SOFTWARE\\U\\{P}\" /f"},
        {Subject::Search, "PendingFileRenameOperations", Outcome::CannotTell, 5, nullptr,
         "look at PendingFileRenameOperations: cannot tell, Windows error 5"},
    };
    for (const auto& c : cases) {
        char line[LOG_LINE_SIZE];
        FormatReport(line, c.subject, c.name, c.outcome, c.error, c.detail);
        EXPECT_EQ(c.line, line);
    }
}

// As CMTrace and the configuration tools' own logs: local time, the bias's
// sign always written.
TEST(Deploy, LogRecordsAreCmtraceLines)
{
    struct { long bias; LogType type; std::string time; } cases[] = {
        {0, LOG_INFORMATION, "time=\"09:05:03.007+000\""},
        {-60, LOG_ERROR, "time=\"09:05:03.007-060\""},
        {300, LOG_WARNING, "time=\"09:05:03.007+300\""},
    };
    for (const auto& c : cases) {
        char record[LOG_LINE_SIZE + 160];
        FormatLogRecord(record, "file a.sys: removed", c.type, {2026, 12, 1, 9, 5, 3, 7, c.bias, 4242});
        EXPECT_EQ("<![LOG[file a.sys: removed]LOG]!><" + c.time + " date=\"12-01-2026\" component=\"uninstall-deploy\" "
                  "context=\"\" type=\"" + std::to_string(c.type) + "\" thread=\"4242\" file=\"\">", record);
    }
    EXPECT_EQ(LOG_WARNING, TypeOf(Outcome::KeptOnPurpose));
    EXPECT_EQ(LOG_ERROR, TypeOf(Outcome::CannotTell));
    EXPECT_EQ(LOG_INFORMATION, TypeOf(Outcome::Removed));
}

// PendingFileRenameOperations: pairs of a source and a target, the target
// empty for a deletion, the source with the NT prefix.
TEST(Deploy, PendingDeletionsAreEmptyTargetsOfThePath)
{
    using namespace std::string_literals;
    const std::string path = "C:\\Windows\\inf\\oem7.inf";
    struct { const char* name; std::string value; bool deletes; } cases[] = {
        {"deleted", "\\??\\c:\\windows\\INF\\OEM7.inf\0\0\0"s, true},
        {"after a rename", "\\??\\C:\\a\0!\\??\\C:\\b\0\\??\\C:\\Windows\\inf\\oem7.inf\0\0"s, true},
        {"renamed, not deleted", "\\??\\C:\\Windows\\inf\\oem7.inf\0\\??\\C:\\x\0\0"s, false},
        {"a longer name", "\\??\\C:\\Windows\\inf\\oem7.inf2\0\0\0"s, false},
        {"no terminators", "\\??\\C:\\Windows\\inf\\oem7.inf"s, true},
        {"empty", ""s, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.deletes, PendingDeletion(c.value.data(), c.value.size(), path.c_str())) << c.name;
}

// What the machine no longer shows by name after the run.
TEST(Deploy, TheRunTellsTheCheckWhatTheMachineCannot)
{
    struct { Subject subject; Outcome outcome; RunKnowledge knowledge; } cases[] = {
        {Subject::File, Outcome::MovedAside, RunKnowledge::Waits},
        {Subject::File, Outcome::Failed, RunKnowledge::Left},
        {Subject::File, Outcome::ListedElsewhere, RunKnowledge::None},
        {Subject::Version, Outcome::Scheduled, RunKnowledge::None},  // the search finds it
        {Subject::Device, Outcome::RestartRemoves, RunKnowledge::Waits},
        {Subject::Device, Outcome::Failed, RunKnowledge::None},  // the device is still listed
        {Subject::Service, Outcome::RestartRemoves, RunKnowledge::ServiceDeleted},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.knowledge, KnowledgeOf(c.subject, c.outcome)) << static_cast<int>(c.outcome);
}
