// Holds the files named on its command line open, as a program using them
// would: read access, sharing read access only, so that Windows (and Wine)
// refuse to delete them. Signals the event named first once all are open,
// then waits to be ended.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    for (int i = 2; i < argc; i++) {
        if (CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr) == INVALID_HANDLE_VALUE)
            return 1;
    }
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (held == nullptr || !SetEvent(held))
        return 1;
    Sleep(INFINITE);
}
