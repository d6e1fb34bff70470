#include "machine_check.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "devices/package_devices.h"
#include "hardware_id_table.h"
#include "inf/listed_paths.h"
#include "package_inf.h"
#include "registry/key_opens.h"
#include "stages.h"
#include "system_dlls.h"
#include "system_paths.h"

constexpr char SESSION_MANAGER_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char PENDING_VALUE[] = "PendingFileRenameOperations";

constexpr int CHECKED_FILES = 256;

// The one check of the process; ForEachFileEntry's callback reads it.
struct MachineCheck {
    const RunRecord* run;
    CheckTally tally;
    char* pending;  // PendingFileRenameOperations; null when there is none
    DWORD pendingSize;
    char versions[PACKAGE_INF_SLOTS][PATH_SIZE];
    int versionCount;
    // Files already reported: versions share names (camlynx.sys in each).
    char files[CHECKED_FILES][PATH_SIZE];
    int fileCount;
};
static MachineCheck check;

static void CannotTell(const char* what, unsigned long error)
{
    check.tally.unknown++;
    Report(Subject::Search, what, Outcome::CannotTell, error);
}

// Counted where it stays, or among what the restart removes.
static void Tally(int* counted, bool waits)
{
    ++*(waits ? &check.tally.waiting : counted);
}

static LSTATUS QueryPending(HKEY key)
{
    // It may grow between the size's query and the read: ERROR_MORE_DATA.
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 3 && status == ERROR_MORE_DATA; attempt++) {
        DWORD size = 0;
        status = RegQueryValueExA(key, PENDING_VALUE, nullptr, nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        free(check.pending);
        check.pending = static_cast<char*>(malloc(size + 2));
        if (check.pending == nullptr)
            return ERROR_NOT_ENOUGH_MEMORY;
        check.pendingSize = size;
        status = RegQueryValueExA(key, PENDING_VALUE, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(check.pending), &check.pendingSize);
    }
    return status;
}

// What Windows deletes at the restart. Held on the heap: the value runs to
// megabytes while updates wait for the restart.
static void ReadPending()
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER_KEY, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = QueryPending(key);
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        free(check.pending);
        check.pending = nullptr;
        check.pendingSize = 0;
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        CannotTell(PENDING_VALUE, status);
}

static bool WaitsForRestart(const char* path)
{
    return check.pending != nullptr && PendingDeletion(check.pending, check.pendingSize, path);
}

// Every OEM INF holding the catalog line, by the clean-up's own search.
static void CheckVersions()
{
    const bool setupApi = check.run == nullptr && SystemDllLoaded(SETUPAPI_DLL);
    int unopened = 0;
    unsigned long openError = ERROR_SUCCESS;
    InfMatch match;
    for (OemInf after = BEFORE_FIRST_OEM_INF;; after = match.inf) {
        bool found = FindPackageInf(&match, after);
        unopened += match.unopened;
        openError = match.unopened > 0 ? match.openError : openError;
        if (!found)
            break;
        (void)fclose(match.reader.file);  // read again for its files
        bool waits = WaitsForRestart(match.path);
        Report(Subject::Version, match.path, waits ? Outcome::Scheduled : Outcome::Left);
        Tally(&check.tally.versions, waits);
        if (check.run == nullptr)
            KeepVersionIds(match, setupApi);
        if (check.versionCount < PACKAGE_INF_SLOTS)
            (void)snprintf(check.versions[check.versionCount++], PATH_SIZE, "%s", match.path);
    }
    if (match.listingError != ERROR_SUCCESS)
        CannotTell("the inf folder's oem*.inf files", match.listingError);
    if (unopened > 0) {
        char what[96];
        (void)snprintf(what, sizeof what, "%d oem*.inf file(s) that could not be opened", unopened);
        CannotTell(what, openError);
    }
}

static void CheckListedPath(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    for (int i = 0; i < check.fileCount; i++) {
        if (lstrcmpiA(check.files[i], path) == 0)
            return;
    }
    if (check.fileCount < CHECKED_FILES)
        (void)snprintf(check.files[check.fileCount++], PATH_SIZE, "%s", path);
    bool waits = WaitsForRestart(path);
    if (waits && check.run != nullptr)
        return;  // the run tried it, and its record tells
    Report(Subject::File, path, waits ? Outcome::Scheduled : Outcome::Left);
    Tally(&check.tally.files, waits);
}

// A listed file of a version still installed, unless another package may
// list it too.
static void CheckListedFile(const char* entry)
{
    char name[PIECE_SIZE];
    if (!SafeListedName(entry, name) || OtherPackageMayList(&otherPackageFiles, name))
        return;
    ForEachListedPath(name, CheckListedPath);
}

// After the search: only then are the names every other package lists known.
static void CheckFiles()
{
    for (int i = 0; i < check.versionCount; i++) {
        PieceReader reader;
        if (!OpenMarkedInf(check.versions[i], &reader))
            continue;
        ForEachFileEntry(&reader, CheckListedFile);
        (void)fclose(reader.file);  // read only
    }
}

static bool RemovedAtRestart(const char* instanceId)
{
    for (int i = 0; check.run != nullptr && i < check.run->count; i++) {
        const RecordedItem& item = check.run->items[i];
        if (item.subject == Subject::Device && lstrcmpiA(item.name, instanceId) == 0)
            return true;
    }
    return false;
}

static void CheckDevices()
{
    HDEVINFO devices = OpenClassDevices();
    if (devices == INVALID_HANDLE_VALUE) {
        CannotTell("the Image class's devices", GetLastError());
        return;
    }
    SP_DEVINFO_DATA device;
    DWORD error = ERROR_SUCCESS;
    for (DWORD index = 0; error == ERROR_SUCCESS; index++) {
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(devices, index, &device)) {
            error = GetLastError();
            break;
        }
        char instanceId[200] = "";  // MAX_DEVICE_ID_LEN
        if (IsPackageDevice(devices, &device) &&
            SetupDiGetDeviceInstanceIdA(devices, &device, instanceId, sizeof instanceId, nullptr) &&
            !RemovedAtRestart(instanceId)) {
            Report(Subject::Device, instanceId, Outcome::Left);
            check.tally.devices++;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    if (error != ERROR_NO_MORE_ITEMS)
        CannotTell("the Image class's devices", error);
}

// 0 while the SCM knows the service, ERROR_SERVICE_DOES_NOT_EXIST, or the
// error of a look that failed.
static DWORD ServiceRecordStatus()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return GetLastError();
    SC_HANDLE service = OpenServiceA(manager, SERVICE_NAME, SERVICE_QUERY_STATUS);
    DWORD status = service != nullptr ? ERROR_SUCCESS : GetLastError();
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return status == ERROR_SERVICE_MARKED_FOR_DELETE ? ERROR_SUCCESS : status;
}

// Its key, and the SCM's record. The SCM builds its list from the services
// key at boot: a record whose key is gone goes at the restart, and so does
// one this run's DeleteService marked. Only write calls answer
// ERROR_SERVICE_MARKED_FOR_DELETE: a read-only look cannot ask for the mark.
static void CheckService()
{
    char keyPath[PATH_SIZE];
    LSTATUS key = FormatPath(keyPath, "%s\\%s", SERVICES_KEY, SERVICE_NAME)
                      ? KeyOpenStatus(keyPath, KEY_READ) : ERROR_BUFFER_OVERFLOW;
    DWORD record = ServiceRecordStatus();
    if (key != ERROR_SUCCESS && key != ERROR_FILE_NOT_FOUND)
        return CannotTell("the service's key", static_cast<unsigned long>(key));
    if (record != ERROR_SUCCESS && record != ERROR_SERVICE_DOES_NOT_EXIST)
        return CannotTell("the Service Control Manager's record of the service", record);
    const bool keyThere = key == ERROR_SUCCESS, known = record == ERROR_SUCCESS;
    if (!keyThere && !known)
        return Report(Subject::Service, SERVICE_NAME, Outcome::Absent);
    const bool waits = known && (!keyThere || (check.run != nullptr && check.run->serviceDeleted));
    Report(Subject::Service, SERVICE_NAME, waits ? Outcome::RestartRemoves : Outcome::Left);
    Tally(&check.tally.registry, waits);
}

static void ReportRegistryItem(const char* parent, const char* item, LSTATUS status,
                               bool subkeys)
{
    if (status == ERROR_FILE_NOT_FOUND) {
        Report(Subject::Registry, item, Outcome::Absent, 0, parent);
    } else if (status != ERROR_SUCCESS) {
        check.tally.unknown++;
        Report(Subject::Registry, item, Outcome::CannotTell, static_cast<unsigned long>(status), parent);
    } else if (subkeys) {
        // The plain delete keeps it on purpose: its subkeys may be another
        // product's. Listed, not counted.
        Report(Subject::Registry, item, Outcome::KeptOnPurpose, 0, parent);
    } else {
        check.tally.registry++;
        Report(Subject::Registry, item, Outcome::Left, 0, parent);
    }
}

static void CheckRegistry()
{
    char entry[PATH_SIZE];
    HKEY key = nullptr;
    DWORD subkeys = 0;
    LSTATUS status = FormatPath(entry, "%s\\%s", UNINSTALL_KEY, PRODUCT_CODE)
                         ? RegOpenKeyExA(HKEY_LOCAL_MACHINE, entry, 0, KEY_READ, &key)
                         : ERROR_BUFFER_OVERFLOW;
    if (status == ERROR_SUCCESS) {
        status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    ReportRegistryItem(UNINSTALL_KEY, PRODUCT_CODE, status, subkeys > 0);
    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExA(key, COMPANION_NAME, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    ReportRegistryItem(RUN_KEY, COMPANION_NAME, status, false);
}

// What the run left or scheduled that the machine no longer shows by name.
static void JoinRunRecord()
{
    const RunRecord* run = check.run;
    for (int i = 0; run != nullptr && i < run->count; i++) {
        const RecordedItem& item = run->items[i];
        char line[LOG_LINE_SIZE];
        FormatReport(line, item.subject, item.name, item.outcome, 0, item.detail);
        LogLine(TypeOf(item.outcome), line);
        Tally(&check.tally.files, item.knowledge == RunKnowledge::Waits);
    }
    if (run != nullptr && run->waitingUnnamed + run->leftUnnamed > 0) {
        char line[LOG_LINE_SIZE];
        (void)snprintf(line, sizeof line, "and %d more this run scheduled, %d more it left",
                       run->waitingUnnamed, run->leftUnnamed);
        LogLine(run->leftUnnamed > 0 ? LOG_ERROR : LOG_WARNING, line);
        check.tally.waiting += run->waitingUnnamed;
        check.tally.files += run->leftUnnamed;
    }
}

CheckTally CheckMachine(const RunRecord* run)
{
    check.run = run;
    LogLine(LOG_INFORMATION, "what of the package is on this machine:");
    check.tally.application = run == nullptr && ApplicationRegistered();
    ReadPending();
    CheckRegistry();
    CheckService();
    CheckVersions();
    CheckFiles();
    CheckDevices();
    JoinRunRecord();
    free(check.pending);
    check.pending = nullptr;
    return check.tally;
}
