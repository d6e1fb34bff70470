#include <windows.h>
#include <setupapi.h>

#include "hardware_id_table.h"
#include "package_inf.h"
#include "report.h"
#include "system_dlls.h"

HardwareIdTable hardwareIds;

static void ReadModelIds(const char* infPath)
{
    HINF inf = SetupOpenInfFileA(infPath, nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) {
        static_cast<void>(GetLastError());  // not a valid INF: no IDs, no report
        return;
    }
    INFCONTEXT line;
    // Field 2 is the first hardware ID of "key = install-section, id[, ids]".
    BOOL more = SetupFindFirstLineA(inf, MODELS_SECTION, nullptr, &line);
    while (more && !TableFull(&hardwareIds)) {
        char* slot = hardwareIds.entries[hardwareIds.count];
        if (SetupGetStringFieldA(&line, 2, slot, HARDWARE_ID_SIZE, nullptr))
            KeepReadId(&hardwareIds);
        more = SetupFindNextLine(&line, &line);
    }
    SetupCloseInfFile(inf);
}

void KeepVersionIds(const InfMatch& version, bool setupApi)
{
    KeepPackageInfName(&hardwareIds, version.inf.name);
    if (setupApi)
        ReadModelIds(version.path);
}

// Every installed version of the package, in ascending number: a later
// version may support models an earlier one did not. These searches read
// every other OEM INF too, once, before any file is deleted: they run
// without setupapi as well, for the names the other packages list.
void LoadHardwareIds()
{
    bool setupApi = SystemDllLoaded(SETUPAPI_DLL);
    InfMatch match;
    for (OemInf after = BEFORE_FIRST_OEM_INF; FindPackageInf(&match, after); after = match.inf) {
        (void)fclose(match.reader.file);  // only the path is needed
        Report(Subject::Version, match.path, Outcome::Found);
        KeepVersionIds(match, setupApi);
    }
}
