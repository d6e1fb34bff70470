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

bool SameTextIgnoringAsciiCase(const char* text, const char* other)
{
    for (; LowercaseAsciiChar(*text) == LowercaseAsciiChar(*other); text++, other++) {
        if (*text == '\0')
            return true;
    }
    return false;
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
