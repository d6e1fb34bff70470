// What the clean-up stages, and uninstall-deploy.exe's check of the machine,
// tell about each thing they act on or find. uninstall.exe links
// report_silent.cpp, where a report does nothing; uninstall-deploy.exe links
// deploy/deploy_report.cpp, which logs it.
#pragma once

enum class Subject {
    Registry,  // name: the value or key; detail: its parent key under HKLM
    Service,   // name: the service, as the SCM knows it
    Window,    // name: the companion window's title
    Version,   // name: the path of an installed version's OEM INF
    Device,    // name: the device instance ID
    File,      // name: a path, or a listed name that was kept
    Search,    // name: what could not be looked at (the inf folder, a DLL)
};

enum class Outcome {
    Found,
    Absent,           // was not there
    Removed,
    Closed,           // a window answered WM_CLOSE
    NoAnswer,         // a window did not answer WM_CLOSE in time
    Folder,           // a folder stands at a listed file's name: left alone
    MovedAside,       // detail: the name it now has, deleted at the restart
    Scheduled,        // deleted at the restart under its own name
    RestartRemoves,   // Windows finishes removing it at the restart
    ListedElsewhere,  // kept: another driver package lists it
    NamesIncomplete,  // kept: an OEM INF could not be read for the names it lists
    StoreRefused,     // kept: the driver store refused to let the package go
    KeptOnPurpose,    // kept: an uninstall entry with subkeys of its own
    Left,             // still there after the run
    Failed,           // error: the Windows error
    CannotTell,       // error: the Windows error of the look that failed
};

void Report(Subject subject, const char* name, Outcome outcome, unsigned long error = 0,
            const char* detail = nullptr);
