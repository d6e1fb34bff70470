#include "report.h"

// uninstall.exe prints and records nothing: the vendor's installer runs it.
void Report(Subject, const char*, Outcome, unsigned long, const char*)
{
}
