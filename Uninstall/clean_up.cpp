// The clean-up path, stage by stage, for both programs.
#include <windows.h>

#include "registry/key_opens.h"
#include "package_identity.h"
#include "report.h"
#include "stages.h"

bool ApplicationRegistered()
{
    // Read access is enough to learn that the key exists; asking for full
    // access would fail for a non-administrator and wrongly mean "absent".
    return KeyOpens(PRODUCT_KEY, KEY_READ);
}

void CloseCompanionWindow()
{
    HWND window = FindWindowA(DIALOG_CLASS, COMPANION_NAME);
    if (window == nullptr)
        return;
    // A companion that hangs, or asks "Exit?" with nobody at the screen, must
    // not hold the uninstall up: SendMessageA would wait for it for ever.
    // 0: it did not answer in time, or hangs; it may still run.
    bool answered = SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG,
                                        COMPANION_CLOSE_TIMEOUT_MS, nullptr) != 0;
    Report(Subject::Window, COMPANION_NAME, answered ? Outcome::Closed : Outcome::NoAnswer);
    // Give the companion time to exit and release the driver files it holds.
    Sleep(COMPANION_CLOSE_PAUSE_MS);
}

void CleanUp()
{
    CleanRegistry();
    CloseCompanionWindow();
    RemoveMatchingDevices();  // ends with the first file pass
    RemoveRemainingCopies();
}
