// Names and paths of the files the uninstaller deletes: the names an INF
// lists and the paths built from them. Pure decisions: no Windows call, so
// they build and are tested natively too.
#pragma once

#include "package_identity.h"

// The name an entry lists: its line feed, if any, dropped, then the two
// characters of "=1" (or what stands in their place) dropped.
void CutListedName(const char* piece, char (&name)[PIECE_SIZE]);
// A name that can only denote a file directly inside the target folder.
bool IsSafeListedName(const char* name);
// The entry's listed name; false when it is not safe to delete.
bool SafeListedName(const char* entry, char (&name)[PIECE_SIZE]);
bool GoesToSysWow64(const char* lowercasedName);

// Fills path from a "%s...%s" format; false, leaving no usable path, when
// the result would not fit. A cut path could name another file.
bool FormatPath(char (&path)[PATH_SIZE], const char* format, const char* directory,
                const char* name);
bool FormatOemInfPath(char (&path)[PATH_SIZE], const char* windowsDirectory, int number);
bool FormPnfPath(char (&pnfPath)[PATH_SIZE], const char* infPath);
// The file name part of a path: what follows its last backslash.
const char* InfFileName(const char* infPath);
