// Stand-in for a program the uninstaller may launch: appends its own path
// and command line to C:\kestreltest\launches.txt.
#include <windows.h>

#include <cstdio>

int main()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    CreateDirectoryA("C:\\kestreltest", nullptr);
    FILE* log = fopen("C:\\kestreltest\\launches.txt", "a");
    if (log == nullptr)
        return 1;
    fprintf(log, "%s|%s\n", self, GetCommandLineA());
    fclose(log);
    return 0;
}
