// uninstall-deploy.exe's decisions: which code a run ends with, which
// arguments it takes, and its log lines.
#include <gtest/gtest.h>

#include <string>

#include "deploy_rules.h"

TEST(Deploy, WhatIsLeftDecidesTheCode)
{
    struct { const char* name; RunFacts facts; int code; } cases[] = {
        {"nothing left", {false, false, false, false, false}, 0},
        {"files scheduled", {false, false, false, false, true}, 3010},
        {"service runs", {false, false, false, true, false}, 3010},
        // A restart does not finish these: the code says run again after it.
        {"a version the store kept, files scheduled", {true, false, false, false, true}, 2},
        {"a file neither deleted nor scheduled", {false, true, false, false, true}, 2},
        {"service record stays", {false, false, true, false, false}, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.code, CleanUpExitCode(c.facts)) << c.name;
}

TEST(Deploy, OnlySlashQuestionMarkIsKnown)
{
    const char* none[] = {"uninstall-deploy.exe"};
    const char* usage[] = {"uninstall-deploy.exe", "/?"};
    const char* other[] = {"uninstall-deploy.exe", "/S"};
    const char* extra[] = {"uninstall-deploy.exe", "/?", "/S"};
    int unknown = 0;
    EXPECT_EQ(Request::CleanUp, ReadArguments(1, none, &unknown));
    EXPECT_EQ(Request::Usage, ReadArguments(2, usage, &unknown));
    EXPECT_EQ(Request::Unknown, ReadArguments(2, other, &unknown));
    EXPECT_EQ(1, unknown);
    EXPECT_EQ(Request::Unknown, ReadArguments(3, extra, &unknown));
    EXPECT_EQ(2, unknown) << "the argument after /? is the unknown one";
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
    };
    for (const auto& c : cases) {
        char line[LOG_LINE_SIZE];
        FormatReport(line, c.subject, c.name, c.outcome, c.error, c.detail);
        EXPECT_EQ(c.line, line);
    }
}
