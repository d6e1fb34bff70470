// Compiled with the program's definitions, this must fail: GetTickCount64
// came with Windows 6.0.
#include <windows.h>

ULONGLONG Probe()
{
    return GetTickCount64();
}
