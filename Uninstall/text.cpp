#include "text.h"

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
