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

from whole_machine_test import wine, wine_env

APP_KEY = "HKLM\\SOFTWARE\\Norvale Logic\\KestrelCam"
SETUP_EXE = ("Program Files/InstallShield Installation Information/"
             "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}/setup.exe")
DOWNLOADS = "users/Public/Downloads"
WORKING_DIR = "users/Public/Documents"
SYSTEM_DIR = "c:\\windows\\system32"

# name, application registered (hand-off), WINEDLLOVERRIDES of the run,
# labels (prefixes) of package items that stay: None for every item.
ROWS = [
    ("hand-off", True, "", None),
    ("clean-up", False, "", ()),
    # Wine's system32 holds placeholders of its builtin DLLs: native-only,
    # these two can come from no folder but one with a planted copy. Without
    # them the device and the service key stay; everything else goes.
    ("clean-up, setupapi and shlwapi not loadable", False, "setupapi,shlwapi=n",
     ("image device ", "service key TarnCamSvc")),
]

LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]*)" at \w+: (\w+)$',
                    re.MULTILINE)
SEARCH = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:module:load_dll looking for L"([^"]*)" in L"([^"]*)"$',
                    re.MULTILINE)


def unescape(text):
    return text.replace("\\\\", "\\")


def process_loads(trace, exe_name):
    """(path, builtin or native) of each DLL the process of exe_name loaded."""
    loads = [(pid, unescape(path), kind) for pid, path, kind in LOADED.findall(trace)]
    pids = {pid for pid, path, _ in loads if path.lower().endswith("\\" + exe_name)}
    assert len(pids) == 1, f"one process of {exe_name} in the trace: {pids}"
    pid = pids.pop()
    return pid, [(path, kind) for p, path, kind in loads
                 if p == pid and not path.lower().endswith("\\" + exe_name)]


def late_searches(trace, pid):
    """(name, folders) of the process's DLL searches from its first load of a
    full path on: the loads the program makes itself, and their imports."""
    searches = [(unescape(name), unescape(path).split(";"))
                for p, name, path in SEARCH.findall(trace) if p == pid]
    first = next((i for i, (name, _) in enumerate(searches) if "\\" in name), len(searches))
    return searches[first:]


def plant(prefix, testbed, registered):
    status, _, errors = wine(prefix, testbed, "plant")
    planted = status == 0
    if registered:
        planted &= wine(prefix, "reg", "add", APP_KEY, "/f", cwd=os.path.dirname(prefix))[0] == 0
        setup = os.path.join(prefix, "drive_c", SETUP_EXE)
        os.makedirs(os.path.dirname(setup), exist_ok=True)
        shutil.copyfile(os.path.join(os.path.dirname(testbed), "recorder.exe"), setup)
    return planted, errors.strip()


def report(prefix, testbed):
    """{label: (removed by a clean-up, present)} from testbed report."""
    output = subprocess.run(["wine", testbed, "report"], env=wine_env(prefix),
                            capture_output=True, text=True).stdout
    items = [line.rstrip("\r").split("|") for line in output.splitlines() if line.count("|") == 2]
    return {label: (expected == "removed", present == "1") for expected, label, present in items}


def fresh_prefix(base, name):
    prefix = os.path.join(os.path.dirname(base), "run-" + name)
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-a", base, prefix], check=True)
    # Kept alive, so Wine's own services start once, with the plain
    # environment, and not again with a run's DLL overrides.
    subprocess.run(["wineserver", "-p"], env=wine_env(prefix), check=True)
    return prefix


def end_prefix(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stderr=subprocess.DEVNULL)
    if not os.environ.get("WINE_KEEP_PREFIX"):
        shutil.rmtree(prefix, ignore_errors=True)


def loaded_names(base, run_name, testbed, uninstall, check):
    """Names of the DLLs the uninstaller's process loads on either path, and
    the seconds each path takes, from plain runs."""
    prefix = fresh_prefix(base, run_name + "-plain")
    names, seconds = set(), {}
    try:
        check(plant(prefix, testbed, True)[0], "plain runs: package planted, application registered")
        for registered in (True, False):
            if not registered:
                wine(prefix, "reg", "delete", APP_KEY, "/f", cwd=os.path.dirname(prefix))
            status, took, trace = wine(prefix, uninstall, debug="+pid,+loaddll", timeout=30)
            check(status == 0, f"plain run exits 0 ({'hand-off' if registered else 'clean-up'})")
            _, loads = process_loads(trace, os.path.basename(uninstall).lower())
            names |= {path.rsplit("\\", 1)[1].lower() for path, _ in loads}
            seconds[registered] = took
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
    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            failures.append(message)

    names, usual = loaded_names(base, run_name, testbed, uninstall, check)
    print("     DLLs loaded: " + " ".join(names))
    for row, registered, overrides, staying in ROWS:
        prefix = fresh_prefix(base, run_name)
        try:
            drive = os.path.join(prefix, "drive_c")
            downloads, working = os.path.join(drive, DOWNLOADS), os.path.join(drive, WORKING_DIR)
            os.makedirs(downloads, exist_ok=True)
            os.makedirs(working, exist_ok=True)
            exe = os.path.join(downloads, "uninstall.exe")
            shutil.copyfile(uninstall, exe)
            for folder in (downloads, working):
                for name in names:
                    shutil.copyfile(canary, os.path.join(folder, name))
            planted, errors = plant(prefix, testbed, registered)
            before = report(prefix, testbed)
            check(planted and all(present for label, (_, present) in before.items()
                                  if "window" not in label) and
                  all(os.path.isfile(os.path.join(f, n)) for f in (downloads, working) for n in names),
                  f"{row}: package, canaries and exe planted {errors}")

            status, seconds, trace = wine(prefix, "C:\\" + DOWNLOADS.replace("/", "\\") + "\\uninstall.exe",
                                          debug="+pid,+loaddll,+module", cwd=working,
                                          overrides=overrides, timeout=30)
            check(status == 0, f"{row}: exits 0 (status {status})")
            check(seconds < usual[registered] + 5,
                  f"{row}: ends in the usual time ({seconds:.1f} s, plain {usual[registered]:.1f} s)")
            log = os.path.join(drive, "kestreltest", "canaries.txt")
            ran = open(log, errors="replace").read().splitlines() if os.path.exists(log) else []
            ran = [line for line in ran if line.lower().startswith(
                "c:\\" + DOWNLOADS.replace("/", "\\").lower() + "\\uninstall.exe|")]
            check(not ran, f"{row}: no canary ran in the uninstaller {ran}")
            pid, loads = process_loads(trace, "uninstall.exe")
            native = [path for path, kind in loads if kind != "builtin"]
            check(not native, f"{row}: every DLL is Wine's own {native}")
            searches = late_searches(trace, pid)
            wide = [(name, folders) for name, folders in searches
                    if any(folder.rstrip("\\").lower() != SYSTEM_DIR for folder in folders)]
            check(not wide, f"{row}: its own loads search the system folder alone {wide[:1]}")
            # The altered search path: what Windows without SetDefaultDllDirectories
            # (5.2 to 7) searches first for the imports of a DLL loaded by path.
            unaltered = sorted({name for name, folders in searches
                                if "\\" in name and folders[0].lower() != name.rsplit("\\", 1)[0].lower()})
            check(not unaltered, f"{row}: a DLL loaded by path has its own folder searched first {unaltered}")

            after = report(prefix, testbed)
            wrong = [label for label, (removed, present) in after.items() if "window" not in label and
                     present != (staying is None or not removed or
                                 any(label.startswith(s) for s in staying))]
            check(not wrong, f"{row}: package items left as expected; wrong: {wrong}")
        finally:
            end_prefix(prefix)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
