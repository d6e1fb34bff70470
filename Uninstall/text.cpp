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

bool FormatPath(char (&path)[PATH_SIZE], const char* format, const char* directory,
                const char* name)
{
    int length = snprintf(path, PATH_SIZE, format, directory, name);
    if (length >= 0 && length < PATH_SIZE)
        return true;
    path[0] = '\0';
    return false;
}
