#!/usr/bin/env python3
"""No DLL planted beside the uninstaller or in its working directory runs in it.

A canary DLL (canary.dll) is copied under every name the uninstaller's process
loads, as a +loaddll run of the same exe on both paths lists them, beside a
copy of the exe in a Downloads folder and into the folder it is started in.
Each row runs that copy and checks that no canary ran in its process, that it
exits 0 in the usual time, what it leaves of the package, and that every DLL
search from its first load from the system folder on looks there alone: Wine
takes most system DLLs as builtin wherever a copy lies, so its +module trace,
not a canary, shows the search that Windows would make.

usage: planted_dll_test.py BASE_PREFIX TESTBED_EXE CANARY_DLL UNINSTALL_EXE [RUN_NAME]
"""
import os
import re
import shutil
import subprocess
import sys

from whole_machine_test import Checks, end_prefix, fresh_prefix, wine, wine_env

APP_KEY = "HKLM\\SOFTWARE\\Norvale Logic\\KestrelCam"
SETUP_EXE = ("Program Files/InstallShield Installation Information/"
             "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}/setup.exe")
DOWNLOADS, WORKING_DIR = "users/Public/Downloads", "users/Public/Documents"
EXE_COPY = "c:\\users\\public\\downloads\\uninstall.exe"
SYSTEM_DIR = "c:\\windows\\system32"
DELAY_LOADED = ("setupapi.dll", "shlwapi.dll")  # by the program itself, from SYSTEM_DIR

# name, application registered (hand-off), WINEDLLOVERRIDES of the run,
# labels (prefixes) of package items that stay: None for every item.
ROWS = [
    ("hand-off", True, "", None),
    ("clean-up", False, "", ()),
    # Wine's system32 holds placeholders of its builtin DLLs: native-only,
    # these two can come from no folder but one with a planted copy. Without
    # them the device stays; the SCM deletes the service key; all else goes.
    ("clean-up, setupapi and shlwapi not loadable", False, "setupapi,shlwapi=n",
     ("image device ",)),
]

LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]*)"', re.MULTILINE)
SEARCH = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:module:load_dll looking for L"([^"]*)" in L"([^"]*)"$',
                    re.MULTILINE)


def unescape(text):
    return text.replace("\\\\", "\\").lower()


def process_loads(trace):
    """The uninstaller's process id and the paths of the DLLs it loaded."""
    loads = [(pid, unescape(path)) for pid, path in LOADED.findall(trace)]
    pids = {pid for pid, path in loads if path.endswith("\\uninstall.exe")}
    assert len(pids) == 1, f"one uninstall.exe process in the trace: {pids}"
    pid = pids.pop()
    return pid, [path for p, path in loads if p == pid and not path.endswith(".exe")]


def searches_from(trace, pid):
    """(name, folders) of the process's DLL searches, and the index of its
    first load of a full path: the loads the program makes itself, and their
    imports, from there on."""
    searches = [(unescape(name), unescape(path).split(";"))
                for p, name, path in SEARCH.findall(trace) if p == pid]
    return searches, next((i for i, (name, _) in enumerate(searches) if "\\" in name), len(searches))


def planted_machine(base, name, testbed, registered):
    """A fresh machine with the package (and the application key) planted,
    and whether planting succeeded."""
    prefix = fresh_prefix(base, name)
    # Kept alive, so Wine's own services start once, with the plain
    # environment, and not again with a run's DLL overrides.
    subprocess.run(["wineserver", "-p"], env=wine_env(prefix), check=True)
    planted = wine(prefix, testbed, "plant")[0] == 0
    if registered:
        planted &= wine(prefix, "reg", "add", APP_KEY, "/f", cwd=os.path.dirname(prefix))[0] == 0
        setup = os.path.join(prefix, "drive_c", SETUP_EXE)
        os.makedirs(os.path.dirname(setup), exist_ok=True)
        shutil.copyfile(os.path.join(os.path.dirname(testbed), "recorder.exe"), setup)
    return prefix, planted


def report(prefix, testbed):
    """{label: (removed by a clean-up, present)} from testbed report."""
    output = subprocess.run(["wine", testbed, "report"], env=wine_env(prefix),
                            capture_output=True, text=True).stdout
    items = [line.rstrip("\r").split("|") for line in output.splitlines() if line.count("|") == 2]
    return {label: (expected == "removed", present == "1") for expected, label, present in items}


def plain_runs(base, run_name, testbed, uninstall, check):
    """Names of the DLLs the uninstaller's process loads on either path, and
    the seconds each path takes, from runs with nothing planted."""
    names, seconds = set(), {}
    prefix, planted = planted_machine(base, run_name + "-plain", testbed, True)
    try:
        check(planted, "plain runs: package planted, application registered")
        for registered in (True, False):
            if not registered:
                wine(prefix, "reg", "delete", APP_KEY, "/f", cwd=os.path.dirname(prefix))
            status, seconds[registered], trace = wine(prefix, uninstall, debug="+pid,+loaddll",
                                                      timeout=30)
            check(status == 0, f"plain run exits 0 ({'hand-off' if registered else 'clean-up'})")
            names |= {path.rsplit("\\", 1)[1] for path in process_loads(trace)[1]}
    finally:
        end_prefix(prefix)
    return sorted(names), seconds


def main():
    base, testbed, canary, uninstall = (os.path.abspath(arg) for arg in sys.argv[1:5])
    if not os.path.isfile(uninstall):
        print(f"skipped: {uninstall} is not built")
        return 77
    os.environ["TEST_HELPERS_DIR"] = os.path.dirname(testbed)
    run_name = sys.argv[5] if len(sys.argv) > 5 else "planted-dll"
    check = Checks()

    names, usual = plain_runs(base, run_name, testbed, uninstall, check)
    print("     DLLs loaded: " + " ".join(names))
    for row, registered, overrides, staying in ROWS:
        prefix, planted = planted_machine(base, run_name, testbed, registered)
        try:
            drive = os.path.join(prefix, "drive_c")
            for folder in (DOWNLOADS, WORKING_DIR):
                os.makedirs(os.path.join(drive, folder), exist_ok=True)
                for name in names:
                    shutil.copyfile(canary, os.path.join(drive, folder, name))
            shutil.copyfile(uninstall, os.path.join(drive, DOWNLOADS, "uninstall.exe"))
            check(planted, f"{row}: package planted")

            status, seconds, trace = wine(prefix, EXE_COPY, debug="+pid,+loaddll,+module",
                                          cwd=os.path.join(drive, WORKING_DIR),
                                          overrides=overrides, timeout=30)
            check(status == 0, f"{row}: exits 0 (status {status})")
            check(seconds < usual[registered] + 5,
                  f"{row}: ends in the usual time ({seconds:.1f} s, plain {usual[registered]:.1f} s)")
            log = os.path.join(drive, "kestreltest", "canaries.txt")
            ran = open(log, errors="replace").read().lower().splitlines() if os.path.exists(log) else []
            ran = [line for line in ran if line.startswith(EXE_COPY + "|")]
            check(not ran, f"{row}: no canary ran in the uninstaller {ran}")
            searches, first = searches_from(trace, process_loads(trace)[0])
            # Wine 8 has SetDefaultDllDirectories, which 5.2 to 7 may lack: there a
            # load by bare name would search the program's folder first.
            asked = sorted({name for name, _ in searches if name.rsplit("\\", 1)[-1] in DELAY_LOADED})
            check(asked == ([] if registered else [SYSTEM_DIR + "\\" + dll for dll in DELAY_LOADED]),
                  f"{row}: setupapi and shlwapi asked for by their system-folder path {asked}")
            searches = searches[first:]
            wide = [(name, folders) for name, folders in searches
                    if any(folder.rstrip("\\") != SYSTEM_DIR for folder in folders)]
            check(not wide, f"{row}: its own loads search the system folder alone {wide[:1]}")
            # The altered search path: what Windows without SetDefaultDllDirectories
            # (5.2 to 7) searches first for the imports of a DLL loaded by path.
            unaltered = sorted({name for name, folders in searches
                                if "\\" in name and folders[0] != name.rsplit("\\", 1)[0]})
            check(not unaltered, f"{row}: a DLL loaded by path has its own folder searched first {unaltered}")

            wrong = [label for label, (removed, present) in report(prefix, testbed).items()
                     if "window" not in label and
                     present != (staying is None or not removed or
                                 any(label.startswith(s) for s in staying))]
            check(not wrong, f"{row}: package items left as expected; wrong: {wrong}")
        finally:
            end_prefix(prefix)
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
