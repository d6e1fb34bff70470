// The package's installed INF: found among the numbered OEM INF files by its
// catalog marker line.
#pragma once

#include "file_names.h"
#include "inf_text.h"

struct InfMatch {
    char path[PATH_SIZE];
    // Open stream, positioned after the marker's piece; the receiver closes
    // reader.file.
    PieceReader reader;
};

// Lowest-numbered OEM INF that carries the marker; false when none does.
bool FindPackageInf(InfMatch* match);
