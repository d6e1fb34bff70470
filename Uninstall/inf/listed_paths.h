// Where a file an INF lists lives: the paths the clean-up deletes it from
// and uninstall-deploy.exe's check looks for it at.
#pragma once

#include "package_identity.h"

// Calls onPath with name in the drivers folder and, for the names
// GoesToSysWow64 picks, lowercased in SysWOW64; a path that does not fit is
// passed over. name is lowercased in place.
void ForEachListedPath(char (&name)[PIECE_SIZE], void (*onPath)(const char* path));
