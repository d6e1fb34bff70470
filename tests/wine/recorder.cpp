// Stand-in for a program the uninstaller may launch: appends its own path,
// the show command it was started with (-1 for none) and its command line
// to C:\kestreltest\launches.txt.
#include <windows.h>

#include <cstdio>

int main()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    CreateDirectoryA("C:\\kestreltest", nullptr);
    FILE* log = fopen("C:\\kestreltest\\launches.txt", "a");
    if (log == nullptr)
        return 1;
    fprintf(log, "%s|show=%d|%s\n", self, show, GetCommandLineA());
    fclose(log);
    return 0;
}
