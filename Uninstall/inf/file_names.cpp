#include "file_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "text.h"

// True when text begins with word (lowercase), compared without regard to
// ASCII case. Stops at text's terminator, which no letter of word matches.
static bool StartsWithWord(const char* text, const char* word)
{
    for (; *word != '\0'; text++, word++) {
        if (LowercaseAsciiChar(*text) != *word)
            return false;
    }
    return true;
}

bool OemInfNumber(const char* fileName, uint32_t* number)
{
    if (!StartsWithWord(fileName, "oem"))
        return false;
    const char* digits = fileName + 3;
    const char* at = digits;
    uint64_t value = 0;
    for (; *at >= '0' && *at <= '9'; at++) {
        value = value * 10 + static_cast<unsigned>(*at - '0');
        if (value > UINT32_MAX)
            return false;
    }
    if (at == digits || (digits[0] == '0' && at - digits > 1))
        return false;
    if (!StartsWithWord(at, ".inf") || at[4] != '\0')
        return false;
    *number = static_cast<uint32_t>(value);
    return true;
}

bool Precedes(const OemInf& a, const OemInf& b)
{
    if (a.number != b.number)
        return a.number < b.number;
    return strcmp(a.name, b.name) < 0;
}

void StartOemInfBatch(OemInfBatch* batch, const OemInf& after)
{
    batch->count = 0;
    batch->overflowed = false;
    batch->last = after;
}

void KeepOemInf(OemInfBatch* batch, const char* fileName)
{
    OemInf candidate;
    if (!OemInfNumber(fileName, &candidate.number) ||
        snprintf(candidate.name, sizeof candidate.name, "%s", fileName) >= OEM_INF_NAME_SIZE)
        return;  // no candidate; every candidate's name fits
    if (!Precedes(batch->last, candidate))
        return;  // an earlier batch or search had it
    int at = batch->count;
    while (at > 0 && Precedes(candidate, batch->candidates[at - 1]))
        at--;
    if (batch->count == OEM_INF_BATCH) {
        batch->overflowed = true;
        if (at == OEM_INF_BATCH)
            return;
        batch->count--;  // the highest gives way
    }
    memmove(&batch->candidates[at + 1], &batch->candidates[at],
            static_cast<size_t>(batch->count - at) * sizeof(OemInf));
    batch->candidates[at] = candidate;
    batch->count++;
}

bool NextOemInfBatch(OemInfBatch* batch)
{
    if (!batch->overflowed)
        return false;
    batch->last = batch->candidates[batch->count - 1];
    batch->count = 0;
    batch->overflowed = false;
    return true;
}

void CutListedName(const char* piece, char (&name)[PIECE_SIZE])
{
    size_t length = strnlen(piece, PIECE_SIZE - 1);
    if (length > 0 && piece[length - 1] == '\n')
        length--;
    length = length >= 2 ? length - 2 : 0;
    memcpy(name, piece, length);
    name[length] = '\0';
}

bool IsSafeListedName(const char* name)
{
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    return strpbrk(name, "\\/:") == nullptr;
}

bool SafeListedName(const char* entry, char (&name)[PIECE_SIZE])
{
    CutListedName(entry, name);
    return IsSafeListedName(name);
}

bool GoesToSysWow64(const char* lowercasedName)
{
    return std::any_of(std::begin(WOW64_EXTENSIONS), std::end(WOW64_EXTENSIONS),
                       [lowercasedName](const char* extension) {
                           return ContainsText(lowercasedName, extension);
                       });
}

bool FormPnfPath(char (&pnfPath)[PATH_SIZE], const char* infPath)
{
    size_t length = strnlen(infPath, PATH_SIZE);
    if (length < 3 || length >= PATH_SIZE)
        return false;
    memcpy(pnfPath, infPath, length - 3);
    memcpy(pnfPath + length - 3, PNF_SUFFIX, 3);
    pnfPath[length] = '\0';
    return true;
}

const char* InfFileName(const char* infPath)
{
    const char* lastSeparator = strrchr(infPath, '\\');
    return lastSeparator != nullptr ? lastSeparator + 1 : infPath;
}

bool AttributesForDeletion(uint32_t attributes, uint32_t* forDeletion)
{
    if (attributes == ATTRIBUTES_UNKNOWN || (attributes & ATTRIBUTE_DIRECTORY) != 0)
        return false;
    *forDeletion = attributes & ~ATTRIBUTE_READONLY;
    return true;
}
