#include "file_names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "text.h"

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

// Judges snprintf's result: the whole path fitted, or it is emptied.
static bool Fitted(char (&path)[PATH_SIZE], int length)
{
    if (length >= 0 && length < PATH_SIZE)
        return true;
    path[0] = '\0';
    return false;
}

bool FormatPath(char (&path)[PATH_SIZE], const char* format, const char* directory,
                const char* name)
{
    return Fitted(path, snprintf(path, PATH_SIZE, format, directory, name));
}

bool FormatOemInfPath(char (&path)[PATH_SIZE], const char* windowsDirectory, int number)
{
    return Fitted(path, snprintf(path, PATH_SIZE, OEM_INF_FORMAT, windowsDirectory, number));
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
