#include "hardware_id_table.h"

#include <cstdio>
#include <cstring>

#include "text.h"

void KeepReadId(HardwareIdTable* table)
{
    char* slot = table->entries[table->count];
    slot[HARDWARE_ID_SIZE - 1] = '\0';
    if (slot[0] == '\0')
        return;
    LowercaseAscii(slot, HARDWARE_ID_SIZE);
    for (int i = 0; i < table->count; i++) {
        if (strcmp(table->entries[i], slot) == 0)
            return;  // every version names the models it shares with the others
    }
    table->count++;
}

void KeepPackageInfName(HardwareIdTable* table, const char* name)
{
    if (name[0] != '\0' && table->infCount < PACKAGE_INF_SLOTS &&
        snprintf(table->infNames[table->infCount], OEM_INF_NAME_SIZE, "%s", name) <
            OEM_INF_NAME_SIZE)
        table->infCount++;
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

bool NamesPackageInf(const HardwareIdTable* table, const char* infPath, size_t size)
{
    if (memchr(infPath, '\0', size) == nullptr)
        return false;
    for (int i = 0; i < table->infCount && i < PACKAGE_INF_SLOTS; i++) {
        if (SameIgnoringAsciiCase(infPath, table->infNames[i], strlen(table->infNames[i]) + 1))
            return true;
    }
    return false;
}
