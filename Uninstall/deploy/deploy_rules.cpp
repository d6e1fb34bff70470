#include "deploy_rules.h"

#include <cstdio>
#include <cstring>

#include "package_identity.h"

Request ReadArguments(int argc, const char* const* argv, int* unknown)
{
    if (argc <= 1)
        return Request::CleanUp;
    const bool usage = strcmp(argv[1], "/?") == 0;
    if (usage && argc == 2)
        return Request::Usage;
    *unknown = usage ? 2 : 1;
    return Request::Unknown;
}

int CleanUpExitCode(const RunFacts& facts)
{
    if (facts.versionLeft || facts.fileLeft || facts.serviceStays)
        return EXIT_PACKAGE_LEFT;
    if (facts.restartScheduled || facts.servicePending)
        return EXIT_RESTART_NEEDED;
    return EXIT_CLEAN;
}

const char* ExitCodeMeaning(int code)
{
    switch (code) {
    case EXIT_CLEAN:
        return "nothing of the package is left";
    case EXIT_RESTART_NEEDED:
        return "removed; a restart finishes it (files or the service still in use go then)";
    case EXIT_APPLICATION_INSTALLED:
        return "the camera application is still installed: remove it first, then run this "
               "again; nothing was changed";
    case EXIT_PACKAGE_LEFT:
        return "part of the package is still there and a restart will not remove it: "
               "restart, then run this again";
    case EXIT_NOT_ADMINISTRATOR:
        return "not run as an administrator: nothing was changed";
    case EXIT_UNKNOWN_ARGUMENT:
        return "an argument it does not know: nothing was changed";
    default:
        return "";
    }
}

static const char* SubjectText(Subject subject)
{
    switch (subject) {
    case Subject::Registry: return "registry";
    case Subject::Service: return "service";
    case Subject::Window: return "window";
    case Subject::Version: return "version";
    case Subject::Device: return "device";
    case Subject::File: return "file";
    }
    return "";
}

static const char* OutcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Found: return "found";
    case Outcome::Absent: return "not there";
    case Outcome::Removed: return "removed";
    case Outcome::Closed: return "sent WM_CLOSE";
    case Outcome::MovedAside: return "in use: moved aside, deleted at the restart";
    case Outcome::Scheduled: return "in use: deleted at the restart";
    case Outcome::ListedElsewhere: return "kept: another driver package lists it";
    case Outcome::NamesIncomplete:
        return "kept: an OEM INF could not be read for the files it lists; run again once it can";
    case Outcome::StoreRefused:
        return "kept: the driver store refused it, a device still uses it; restart, then run again";
    case Outcome::Left: return "still there";
    case Outcome::Failed: return "failed";
    }
    return "";
}

void FormatReport(char (&line)[LOG_LINE_SIZE], Subject subject, const char* name,
                  Outcome outcome, unsigned long error, const char* detail)
{
    // Room for the subject's word and the separators besides.
    char what[LOG_LINE_SIZE / 2 - 12];
    if (subject == Subject::Registry)
        (void)snprintf(what, sizeof what, "HKLM\\%s\\%s", detail != nullptr ? detail : "", name);
    else
        (void)snprintf(what, sizeof what, "%s", name);
    char result[LOG_LINE_SIZE / 2 - 12];
    if (outcome == Outcome::MovedAside)
        (void)snprintf(result, sizeof result, "in use: moved aside to %s, deleted at the restart",
                 detail != nullptr ? detail : "");
    else if (outcome == Outcome::Failed)
        (void)snprintf(result, sizeof result, "failed, Windows error %lu", error);
    else
        (void)snprintf(result, sizeof result, "%s", OutcomeText(outcome));
    (void)snprintf(line, sizeof line, "%s %s: %s", SubjectText(subject), what, result);
}
