// The package's hardware IDs, as read from the models section of every
// installed copy of its INF, and the names of those copies.
#pragma once

#include <cstddef>

#include "file_names.h"

struct HardwareIdTable {
    // Distinct, lowercased, zero-terminated; slots 0 to count - 1 are valid.
    char entries[HARDWARE_ID_SLOTS][HARDWARE_ID_SIZE];
    int count;
    // File names of the copies (oem12.inf); 0 to infCount - 1 are valid.
    char infNames[PACKAGE_INF_SLOTS][OEM_INF_NAME_SIZE];
    int infCount;
};

// The one table of the process, written by LoadHardwareIds.
extern HardwareIdTable hardwareIds;

inline bool TableFull(const HardwareIdTable* table)
{
    return table->count >= HARDWARE_ID_SLOTS;
}

// Takes the ID just read into the next free slot: lowercased and counted,
// unless it is empty or already in the table. An empty ID would be contained
// in every device's ID.
void KeepReadId(HardwareIdTable* table);
// Records a copy's file name while there is room; past that, devices are
// matched by their IDs alone.
void KeepPackageInfName(HardwareIdTable* table, const char* name);

// True when the first string of a hardware-ID property (REG_MULTI_SZ, size
// bytes, perhaps without its terminator), lowercased, contains an entry.
bool MatchesPackageDevice(const HardwareIdTable* table, const char* property, size_t size);
// True when a driver key's InfPath value (size bytes, terminated within
// them) names a recorded copy, without regard to ASCII case.
bool NamesPackageInf(const HardwareIdTable* table, const char* infPath, size_t size);

void LoadHardwareIds();
