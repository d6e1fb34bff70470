// Stands in for a DLL planted beside the uninstaller or in its working
// directory. Its DllMain appends "<process exe>|<this DLL>" to
// C:\kestreltest\canaries.txt, then returns; it exports nothing. Built
// without the C runtime, so it imports kernel32 alone and loads under any
// name.
#include <windows.h>

static void Append(char* line, DWORD* length, DWORD size, const char* text)
{
    while (*text != '\0' && *length < size)
        line[(*length)++] = *text++;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char process[MAX_PATH] = "";
    char dll[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, process, MAX_PATH - 1);
    GetModuleFileNameA(self, dll, MAX_PATH - 1);
    char line[2 * MAX_PATH + 4];
    DWORD length = 0;
    const char* parts[] = {process, "|", dll, "\r\n"};
    for (const char* text : parts)
        Append(line, &length, sizeof line, text);
    CreateDirectoryA("C:\\kestreltest", nullptr);
    HANDLE log = CreateFileA("C:\\kestreltest\\canaries.txt", FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(log, line, length, &written, nullptr);
        CloseHandle(log);
    }
    return TRUE;
}
