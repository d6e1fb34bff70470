// Stand-in for the companion application: a dialog-class window titled
// SnapDeck. On WM_CLOSE it appends one line to the log named on its command
// line, saying whether the HKLM Run value was still there and at what tick
// count the message came, and exits. Given
// "hang" after the log, it never returns from WM_CLOSE instead; given
// "other-class", its window is of the static-text class, like another
// program's window that merely shares the title. A DLL named after the mode
// stays loaded while it runs, as a video program holds a camera's filter.
#include <windows.h>

#include <cstdio>
#include <cstring>

static WNDPROC dialogProc;
static const char* logPath;
static bool hangsOnClose;

static void LogClose()
{
    HKEY run;
    bool present = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_READ, &run) == ERROR_SUCCESS) {
        present = RegQueryValueExA(run, "SnapDeck", nullptr, nullptr, nullptr, nullptr) ==
                  ERROR_SUCCESS;
        RegCloseKey(run);
    }
    CreateDirectoryA("C:\\kestreltest", nullptr);
    FILE* log = fopen(logPath, "a");
    if (log != nullptr) {
        fprintf(log, "WM_CLOSE run-value=%s tick=%llu\n", present ? "present" : "absent",
                static_cast<unsigned long long>(GetTickCount64()));
        fclose(log);
    }
}

static LRESULT CALLBACK CompanionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        LogClose();
        while (hangsOnClose)
            Sleep(INFINITE);
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    return CallWindowProcA(dialogProc, window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    logPath = argc > 1 ? argv[1] : "C:\\kestreltest\\companion.txt";
    const char* mode = argc > 2 ? argv[2] : "";
    hangsOnClose = strcmp(mode, "hang") == 0;
    const char* windowClass = strcmp(mode, "other-class") == 0 ? "STATIC" : "#32770";
    if (argc > 3 && LoadLibraryExA(argv[3], nullptr, DONT_RESOLVE_DLL_REFERENCES) == nullptr)
        return 1;
    HWND window = CreateWindowExA(0, windowClass, "SnapDeck", WS_OVERLAPPED, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr)
        return 1;
    dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CompanionProc)));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
