#include "hardware_id_table.h"

#include <cstring>

#include "text.h"

void KeepReadId(HardwareIdTable* table)
{
    char* slot = table->entries[table->count];
    slot[HARDWARE_ID_SIZE - 1] = '\0';
    if (slot[0] == '\0')
        return;
    LowercaseAscii(slot, HARDWARE_ID_SIZE);
    table->count++;
}

bool MatchesPackageDevice(const HardwareIdTable* table, const char* property, size_t size)
{
    if (size > HARDWARE_ID_PROPERTY_SIZE)
        size = HARDWARE_ID_PROPERTY_SIZE;
    char firstId[HARDWARE_ID_PROPERTY_SIZE + 1];
    size_t length = strnlen(property, size);
    memcpy(firstId, property, length);
    firstId[length] = '\0';
    LowercaseAscii(firstId, length);
    for (int i = 0; i < table->count && i < HARDWARE_ID_SLOTS; i++) {
        if (table->entries[i][0] != '\0' && ContainsText(firstId, table->entries[i]))
            return true;
    }
    return false;
}
