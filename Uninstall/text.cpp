#include "text.h"

#include <cstdio>
#include <cstring>

bool ContainsText(const char* text, const char* sought)
{
    return strstr(text, sought) != nullptr;
}

void LowercaseAscii(char* text, size_t size)
{
    for (size_t i = 0; i < size && text[i] != '\0'; i++)
        text[i] = LowercaseAsciiChar(text[i]);
}

bool SameIgnoringAsciiCase(const char* text, const char* other, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        if (LowercaseAsciiChar(text[i]) != LowercaseAsciiChar(other[i]))
            return false;
    }
    return true;
}

bool FormatPath(char (&path)[PATH_SIZE], const char* format, const char* directory,
                const char* name)
{
    int length = snprintf(path, PATH_SIZE, format, directory, name);
    if (length >= 0 && length < PATH_SIZE)
        return true;
    path[0] = '\0';
    return false;
}

bool IsProgramFilesOf(const char* recorded, size_t size, const char* path)
{
    const char* drive = strchr(path, '\\');
    const char* folderEnd = drive != nullptr ? strchr(drive + 1, '\\') : nullptr;
    const char* terminator = static_cast<const char*>(memchr(recorded, '\0', size));
    if (folderEnd == nullptr || terminator == nullptr)
        return false;
    size_t length = static_cast<size_t>(terminator - recorded);
    if (length > 0 && recorded[length - 1] == '\\')
        length--;
    return length == static_cast<size_t>(folderEnd - path) &&
           SameIgnoringAsciiCase(recorded, path, length);
}
