// Byte-wise text helpers shared by the INF and device code. No locale is
// consulted anywhere: INF and hardware-ID text is compared as raw bytes.
#pragma once

#include <cstddef>

// Case-sensitive: true when sought occurs anywhere in text.
bool ContainsText(const char* text, const char* sought);
inline char LowercaseAsciiChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// A to Z become a to z, within the first size bytes or up to the terminator.
void LowercaseAscii(char* text, size_t size);
