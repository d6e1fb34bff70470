// The programs' version, for their version resources and the deploy log.
#pragma once

#define PROGRAM_VERSION_NUMBERS 1,0,0,0
#define PROGRAM_VERSION_TEXT "1.0.0.0"
