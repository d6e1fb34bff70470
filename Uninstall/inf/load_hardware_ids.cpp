#include <windows.h>
#include <setupapi.h>

#include "hardware_id_table.h"
#include "package_inf.h"
#include "system_dlls.h"

HardwareIdTable hardwareIds;

void LoadHardwareIds()
{
    InfMatch match;
    if (!SystemDllLoaded(SETUPAPI_DLL) || !FindPackageInf(&match))
        return;
    (void)fclose(match.reader.file);  // only the path is needed
    HINF inf = SetupOpenInfFileA(match.path, nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) {
        static_cast<void>(GetLastError());  // not a valid INF: no IDs, no report
        return;
    }
    hardwareIds.count = 0;
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
