// Byte-wise text helpers shared by the INF, device and DLL code. No locale is
// consulted anywhere: INF and hardware-ID text is compared as raw bytes.
#pragma once

#include <cstddef>

#include "package_identity.h"

// Case-sensitive: true when sought occurs anywhere in text.
bool ContainsText(const char* text, const char* sought);
inline char LowercaseAsciiChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// A to Z become a to z, within the first size bytes or up to the terminator.
void LowercaseAscii(char* text, size_t size);
// Equal in their first length characters but for the letter case of A to Z;
// stops at the first difference, so a shorter text's terminator ends it.
bool SameIgnoringAsciiCase(const char* text, const char* other, size_t length);

// Fills path from a "%s...%s" format; false, leaving no usable path, when
// the result would not fit. A cut path could name another file.
bool FormatPath(char (&path)[PATH_SIZE], const char* format, const char* directory,
                const char* name);

// True when the bytes Windows returned for its Program Files folder (size
// bytes, terminated within them), less one trailing backslash, are the drive
// and first folder of path (C:\Program Files of C:\Program Files\...),
// without regard to ASCII case.
bool IsProgramFilesOf(const char* recorded, size_t size, const char* path);
