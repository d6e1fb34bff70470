// The package's hardware IDs, as read from its INF's models section.
#pragma once

#include <cstddef>

#include "package_identity.h"

struct HardwareIdTable {
    // Lowercased, zero-terminated; slots 0 to count - 1 are valid.
    char entries[HARDWARE_ID_SLOTS][HARDWARE_ID_SIZE];
    int count;
};

// The one table of the process, written by LoadHardwareIds.
extern HardwareIdTable hardwareIds;

inline bool TableFull(const HardwareIdTable* table)
{
    return table->count >= HARDWARE_ID_SLOTS;
}

// Takes the ID just read into the next free slot: lowercased and counted,
// unless it is empty. An empty ID would be contained in every device's ID.
void KeepReadId(HardwareIdTable* table);

// True when the first string of a hardware-ID property (REG_MULTI_SZ, size
// bytes, perhaps without its terminator), lowercased, contains an entry.
bool MatchesPackageDevice(const HardwareIdTable* table, const char* property, size_t size);

void LoadHardwareIds();
