#include "deploy_rules.h"

#include <cstdio>
#include <cstring>

#include "package_identity.h"
#include "text.h"

constexpr char CHECK_ARGUMENT[] = "/check";

Request ReadArguments(int argc, const char* const* argv, int* unknown)
{
    if (argc <= 1)
        return Request::CleanUp;
    const bool usage = strcmp(argv[1], "/?") == 0;
    // The terminator is compared too: "/checks" is unknown.
    const bool check = SameIgnoringAsciiCase(argv[1], CHECK_ARGUMENT, sizeof CHECK_ARGUMENT);
    if (argc == 2 && (usage || check))
        return usage ? Request::Usage : Request::Check;
    *unknown = usage || check ? 2 : 1;
    return Request::Unknown;
}

static int Counted(const CheckTally& tally)
{
    return tally.versions + tally.devices + tally.files + tally.registry;
}

int CheckExitCode(const CheckTally& tally)
{
    if (tally.application)
        return EXIT_APPLICATION_INSTALLED;
    if (Counted(tally) > 0 || tally.unknown > 0)
        return EXIT_PACKAGE_LEFT;
    return tally.waiting > 0 ? EXIT_RESTART_NEEDED : EXIT_CLEAN;
}

// Appends "2 versions" (or "1 version") to text, after a comma where it
// holds a count already, when count is not 0.
static void AppendCount(char (&text)[256], int count, const char* one, const char* more)
{
    if (count == 0)
        return;
    size_t used = strlen(text);
    (void)snprintf(text + used, sizeof text - used, "%s%d %s", used > 0 ? ", " : "", count,
                   count == 1 ? one : more);
}

void FormatSummary(char (&line)[LOG_LINE_SIZE], const CheckTally& tally)
{
    char counts[256] = "";
    const char* state = "gone";
    if (Counted(tally) > 0) {
        state = "present";
        AppendCount(counts, tally.versions, "version", "versions");
        AppendCount(counts, tally.devices, "device", "devices");
        AppendCount(counts, tally.files, "file", "files");
        AppendCount(counts, tally.registry, "registry entry", "registry entries");
    } else if (tally.unknown > 0) {
        state = "cannot tell";
    } else if (tally.waiting > 0) {
        state = "waits for the restart";
        AppendCount(counts, tally.waiting, "item", "items");
    }
    AppendCount(counts, tally.unknown, "look failed", "looks failed");
    (void)snprintf(line, sizeof line, "%s: %s%s%s%s%s", PACKAGE_NAME, state, *counts ? " (" : "",
                   counts, *counts ? ")" : "",
                   tally.application ? "; the camera application is still installed" : "");
}

const char* ExitCodeMeaning(int code)
{
    switch (code) {
    case EXIT_CLEAN:
        return "nothing of the package is left";
    case EXIT_RESTART_NEEDED:
        return "what is left goes at the restart: restart to finish";
    case EXIT_APPLICATION_INSTALLED:
        return "the camera application is still installed: remove it first, then run this "
               "again; nothing was changed";
    case EXIT_PACKAGE_LEFT:
        return "part of the package is still there and a restart will not remove it, or a "
               "look failed: restart, then run this again";
    case EXIT_NOT_ADMINISTRATOR:
        return "not run as an administrator: nothing was changed; run it elevated or as SYSTEM";
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
    case Subject::Search: return "look at";
    }
    return "";
}

static const char* OutcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Found: return "found";
    case Outcome::Absent: return "not there";
    case Outcome::Removed: return "removed";
    case Outcome::Closed: return "sent WM_CLOSE, and it answered";
    case Outcome::NoAnswer:
        return "sent WM_CLOSE, no answer within 5 s (hung, or asking its user): it may still run";
    case Outcome::Folder: return "a folder, not a file: left alone";
    case Outcome::MovedAside: return "in use: moved aside, deleted at the restart";
    case Outcome::Scheduled: return "in use: deleted at the restart";
    case Outcome::RestartRemoves: return "removed; Windows finishes it at the restart";
    case Outcome::ListedElsewhere: return "kept: another driver package lists it";
    case Outcome::NamesIncomplete:
        return "kept: an OEM INF could not be read for the files it lists; run again once it can";
    case Outcome::StoreRefused:
        return "kept: the driver store refused it, a device still uses it; restart, then run again";
    case Outcome::KeptOnPurpose: return "kept: it has subkeys of its own";
    case Outcome::Left: return "still there";
    case Outcome::Failed: return "failed";
    case Outcome::CannotTell: return "cannot tell";
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
    else if (outcome == Outcome::Failed || outcome == Outcome::CannotTell)
        (void)snprintf(result, sizeof result, "%s, Windows error %lu", OutcomeText(outcome), error);
    else
        (void)snprintf(result, sizeof result, "%s", OutcomeText(outcome));
    int used = snprintf(line, sizeof line, "%s %s: %s", SubjectText(subject), what, result);
    // How to remove it by hand, where its subkeys are the package's too.
    if (outcome == Outcome::KeptOnPurpose && used > 0 && used < static_cast<int>(sizeof line))
        (void)snprintf(line + used, sizeof line - used,
                       ", which may be another product's; if they are the package's: "
                       "reg delete \"%s\" /f", what);
}

RunKnowledge KnowledgeOf(Subject subject, Outcome outcome)
{
    const bool moved = outcome == Outcome::MovedAside;
    const bool scheduled = moved || outcome == Outcome::Scheduled;
    switch (subject) {
    case Subject::Service:
        return outcome == Outcome::Removed || outcome == Outcome::RestartRemoves
                   ? RunKnowledge::ServiceDeleted : RunKnowledge::None;
    case Subject::Device:
        return outcome == Outcome::RestartRemoves ? RunKnowledge::Waits : RunKnowledge::None;
    case Subject::File:
        return scheduled ? RunKnowledge::Waits
               : outcome == Outcome::Failed ? RunKnowledge::Left : RunKnowledge::None;
    case Subject::Version:  // scheduled under its own name, the search still finds it
        return moved ? RunKnowledge::Waits : RunKnowledge::None;
    default:
        return RunKnowledge::None;
    }
}

LogType TypeOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Failed:
    case Outcome::CannotTell:
        return LOG_ERROR;
    case Outcome::NoAnswer:
    case Outcome::MovedAside:
    case Outcome::Scheduled:
    case Outcome::RestartRemoves:
    case Outcome::ListedElsewhere:
    case Outcome::NamesIncomplete:
    case Outcome::StoreRefused:
    case Outcome::KeptOnPurpose:
    case Outcome::Left:
        return LOG_WARNING;
    default:
        return LOG_INFORMATION;
    }
}

LogType TypeOfExit(int code)
{
    return code == EXIT_CLEAN ? LOG_INFORMATION
           : code == EXIT_RESTART_NEEDED ? LOG_WARNING : LOG_ERROR;
}

void FormatLogRecord(char (&record)[LOG_LINE_SIZE + 160], const char* message, LogType type,
                     const LogStamp& stamp)
{
    // The bias's sign is always written, as the configuration tools write it.
    (void)snprintf(record, sizeof record,
                   "<![LOG[%s]LOG]!><time=\"%02u:%02u:%02u.%03u%+04ld\" date=\"%02u-%02u-%04u\" "
                   "component=\"uninstall-deploy\" context=\"\" type=\"%d\" thread=\"%lu\" file=\"\">",
                   message, stamp.hour, stamp.minute, stamp.second, stamp.millisecond, stamp.bias,
                   stamp.month, stamp.day, stamp.year, static_cast<int>(type), stamp.thread);
}

// One string of a REG_MULTI_SZ at `at`, within size bytes: its length, and
// at moves past its terminator.
static size_t NextString(const char* text, size_t size, size_t* at)
{
    size_t start = *at;
    while (*at < size && text[*at] != '\0')
        ++*at;
    size_t length = *at - start;
    if (*at < size)
        ++*at;
    return length;
}

bool PendingDeletion(const char* pending, size_t size, const char* path)
{
    constexpr char NT_PREFIX[] = "\\??\\";
    const size_t pathLength = strlen(path);
    for (size_t at = 0; at < size;) {
        const size_t sourceAt = at;
        size_t sourceLength = NextString(pending, size, &at);
        if (sourceLength == 0)
            break;  // the list's closing terminator
        size_t targetLength = NextString(pending, size, &at);
        const char* source = pending + sourceAt;
        if (sourceLength >= sizeof NT_PREFIX - 1 && memcmp(source, NT_PREFIX, sizeof NT_PREFIX - 1) == 0) {
            source += sizeof NT_PREFIX - 1;
            sourceLength -= sizeof NT_PREFIX - 1;
        }
        if (targetLength == 0 && sourceLength == pathLength &&
            SameIgnoringAsciiCase(source, path, pathLength))
            return true;
    }
    return false;
}
