// What the clean-up stages tell about each thing they act on. uninstall.exe
// links report_silent.cpp, where a report does nothing; uninstall-deploy.exe
// links deploy/deploy_report.cpp, which logs it and keeps what its exit code
// is decided from.
#pragma once

enum class Subject {
    Registry,  // name: the value or key; detail: its parent key under HKLM
    Service,   // name: the service, as the SCM knows it
    Window,    // name: the companion window's title
    Version,   // name: the path of an installed version's OEM INF
    Device,    // name: the device instance ID
    File,      // name: a path, or a listed name that was kept
};

enum class Outcome {
    Found,
    Absent,           // was not there
    Removed,
    Closed,           // a window sent WM_CLOSE
    MovedAside,       // detail: the name it now has, deleted at the restart
    Scheduled,        // deleted at the restart under its own name
    ListedElsewhere,  // kept: another driver package lists it
    NamesIncomplete,  // kept: an OEM INF could not be read for the names it lists
    StoreRefused,     // kept: the driver store refused to let the package go
    Left,             // still there after the run
    Failed,           // error: the Windows error
};

void Report(Subject subject, const char* name, Outcome outcome, unsigned long error = 0,
            const char* detail = nullptr);
