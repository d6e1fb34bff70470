// A Win32 service that runs until the SCM stops it: stands in for a driver
// Windows has loaded, whose service DeleteService can only mark for deletion.
#include <windows.h>

static SERVICE_STATUS_HANDLE status;
static HANDLE stop;

static void Tell(DWORD state)
{
    SERVICE_STATUS now = {SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
    SetServiceStatus(status, &now);
}

static DWORD WINAPI Control(DWORD control, DWORD, void*, void*)
{
    if (control == SERVICE_CONTROL_STOP)
        SetEvent(stop);
    return NO_ERROR;
}

static void WINAPI Run(DWORD, char**)
{
    stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    status = RegisterServiceCtrlHandlerExA("", Control, nullptr);
    Tell(SERVICE_RUNNING);
    WaitForSingleObject(stop, INFINITE);
    Tell(SERVICE_STOPPED);
}

int main()
{
    char name[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{name, Run}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
