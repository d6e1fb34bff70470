// The package's installed INF: found among the numbered OEM INF files by its
// catalog marker line.
#pragma once

#include "file_names.h"
#include "inf_text.h"

struct InfMatch {
    OemInf inf;  // which copy: a later search can start after it
    char path[PATH_SIZE];
    // Open stream, positioned after the marker's piece; the receiver closes
    // reader.file.
    PieceReader reader;
    // What the search could not look at: the Windows error of a listing of
    // the inf folder that failed, and the OEM INFs it could not open
    // (held without read sharing, or denied). Set whether found or not.
    unsigned long listingError;
    int unopened;
    unsigned long openError;  // the last one's Windows error
};

// Lowest-numbered OEM INF after `after` that carries the marker; false when
// none does. Windows keeps a copy for every version of the package it staged.
bool FindPackageInf(InfMatch* match, const OemInf& after);

// One version's INF name and, where setupapi is loaded, its model IDs, into
// the hardware-ID table.
void KeepVersionIds(const InfMatch& version, bool setupApi);
