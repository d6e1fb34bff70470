// uninstall-deploy.exe's check of the machine: what of the package is on
// it, read only. Its exit code comes from this alone.
#pragma once

#include "deploy_report.h"

// Reports each item, and tallies them. run: what the clean-up this process
// ran recorded, joined with what the machine shows; null for /check, which
// sees the machine alone and takes its device rules from the versions found.
CheckTally CheckMachine(const RunRecord* run);
