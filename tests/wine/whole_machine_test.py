#!/usr/bin/env python3
"""Whole-machine proof of a clean-up run.

Plants the complete package, its INF as OEM150.inf behind 100 unmarked OEM
INFs and a second installed copy as OEM1000.inf, and the decoys on a fresh
copy of the test machine, runs the uninstaller with the
companion open, and compares the whole machine before and after: both
registry hives (read after `wineserver -k`, timestamps aside), every file
under drive_c, and the image-class devices. Exactly the package's items may
go; nothing may be added or changed. uninstall-deploy.exe /check, built
beside it, changes nothing before the run and after. Each INF copy is taken out of the
driver store through SetupUninstallOEMInfA, which Wine only traces. A second
run on the cleaned machine changes nothing, exits 0, does not pause and makes
no such call.

usage: whole_machine_test.py BASE_PREFIX TESTBED_EXE UNINSTALL_EXE [RUN_NAME]
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

IMAGE_CLASS = "{6bdd1fc6-810f-11d0-bec7-08002be2092f}"

# What Wine itself rewrites whenever a program starts, with the reason.
WINE_CHURN = [
    # Wine's display driver stamps its class key with the driver's date each
    # time a process brings up the graphics driver (user32).
    (r"^HKLM\\System\\CurrentControlSet\\Control\\Class\\"
     r"\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\[0-9]{4} \"driverdatedata\"$",
     "display driver date"),
]


def read_hive(path, root):
    """{key: {lowercased value name: data}}, timestamps and metadata left out."""
    keys = {}
    current = None
    with open(path, encoding="utf-8", errors="surrogateescape") as hive:
        text = hive.read().replace("\\\n", "")  # join continued values
    for line in text.splitlines():
        if line.startswith("["):
            name = line[1:line.rindex("]")].replace("\\\\", "\\")
            current = keys.setdefault(root + "\\" + name, {})
        elif current is not None and line and not line.startswith(("#", ";")):
            match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
            if match:
                current[match.group(1).lower()] = match.group(2)
    return keys


def snapshot(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=wine_env(prefix))
    registry = read_hive(os.path.join(prefix, "system.reg"), "HKLM")
    registry.update(read_hive(os.path.join(prefix, "user.reg"), "HKCU"))
    files = {}
    drive = os.path.join(prefix, "drive_c")
    for folder, _, names in os.walk(drive):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                continue
            with open(path, "rb") as f:
                digest = hashlib.sha1(f.read()).hexdigest()
            files[os.path.relpath(path, drive).lower()] = (digest, os.stat(path).st_mode)
    return registry, files


def image_devices(registry):
    enum = "HKLM\\System\\CurrentControlSet\\Enum\\"
    return sorted(key[len(enum):] for key, values in registry.items()
                  if key.startswith(enum) and
                  values.get('"classguid"', "").strip('"').lower() == IMAGE_CLASS)


def churn(item):
    return any(re.search(pattern, item, re.IGNORECASE) for pattern, _ in WINE_CHURN)


def items(state):
    """{(kind, what): content} for every registry key and value and every file."""
    registry, files = state
    flat = {("file", path): content for path, content in files.items()}
    for key, values in registry.items():
        flat[("key", key)] = None
        flat.update({("value", key + " " + name): data for name, data in values.items()})
    return flat


def diff(before, after):
    """Lists of (kind, what) for every removal, addition and change; a key
    removed or added counts with its values."""
    old, new = items(before), items(after)
    changed = [item for item in old.keys() & new.keys()
               if old[item] != new[item] and not churn(item[1])]
    return sorted(old.keys() - new.keys()), sorted(new.keys() - old.keys()), sorted(changed)


def wine_env(prefix):
    return dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")


# One line per call, with WINEDEBUG=trace+setupapi: file name, flags, reserved.
UNINSTALL_OEM_INF = re.compile(r'trace:setupapi:SetupUninstallOEMInfA "([^"]*)", (0x[0-9a-f]+),')


def wine(prefix, *command, debug="-all", cwd=None, overrides="", timeout=None):
    """Exit status, seconds taken and what Wine wrote to stderr. A file, not a
    pipe, takes stderr: a program left running (the companion) inherits it.
    A run past the timeout is killed and reports status None."""
    env = dict(wine_env(prefix), WINEDEBUG=debug, WINEDLLOVERRIDES=overrides)
    with tempfile.TemporaryFile() as errors:
        started = time.monotonic()
        try:
            status = subprocess.run(["wine", *command], env=env, cwd=cwd, timeout=timeout,
                                    stdout=subprocess.DEVNULL, stderr=errors).returncode
        except subprocess.TimeoutExpired:
            status = None
        seconds = time.monotonic() - started
        errors.seek(0)
        return status, seconds, errors.read().decode("utf-8", "replace")


class Checks:
    """Each check printed as ok or FAIL; status() sums them up and is 1 after
    any FAIL."""
    def __init__(self):
        self.passed, self.failed = 0, 0

    def __call__(self, condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        self.passed += bool(condition)
        self.failed += not condition

    def status(self):
        print(f"{self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0


def fresh_prefix(base, name):
    """A copy of the base test machine of its own, run-NAME beside it."""
    prefix = os.path.join(os.path.dirname(base), "run-" + name)
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-a", base, prefix], check=True)
    return prefix


def end_prefix(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stderr=subprocess.DEVNULL)
    if not os.environ.get("WINE_KEEP_PREFIX"):
        shutil.rmtree(prefix, ignore_errors=True)


def shortest_run(prefix, *command, debug="-all"):
    """Wine's start-up time varies with the machine's load; the shortest of
    three runs is the one least disturbed by it. Every run must exit 0."""
    runs = [wine(prefix, *command, debug=debug) for _ in range(3)]
    return all(run[0] == 0 for run in runs), min(run[1] for run in runs), runs


def package_removals(before_registry):
    """What a clean-up run of the planted package must remove, and only that."""
    enum = "HKLM\\System\\CurrentControlSet\\Enum\\"
    device = [key for key, values in before_registry.items()
              if key.startswith(enum + "ROOT\\KESTRELTEST\\") and key.count("\\") == 6 and
              "VID_1B3F&PID_2002" in values.get('"hardwareid"', "").upper()]
    assert len(device) == 1, device
    uninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" \
                "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}"
    service = "HKLM\\System\\CurrentControlSet\\Services\\TarnCamSvc"
    keys = [uninstall, service, device[0]]
    gone = [key for key in before_registry
            if any(key.lower() == k.lower() or key.lower().startswith(k.lower() + "\\") for k in keys)]
    expected = [("key", key) for key in gone]
    expected += [("value", key + " " + value) for key in gone for value in before_registry[key]]
    expected.append(("value", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run \"snapdeck\""))
    files = ["windows/inf/oem150.inf", "windows/inf/oem150.pnf",
             "windows/inf/oem1000.inf", "windows/inf/oem1000.pnf",
             "windows/system32/drivers/camlynx.sys", "windows/system32/drivers/camlynx.dll",
             "windows/system32/drivers/camlynx.ax", "windows/system32/drivers/camlynxui.exe",
             "windows/syswow64/camlynx.dll", "windows/syswow64/camlynx.ax",
             "windows/syswow64/camlynxui.exe"]
    expected += [("file", f) for f in files]
    return sorted(expected), device[0]


def main():
    base, testbed, uninstall = (os.path.abspath(arg) for arg in sys.argv[1:4])
    if not os.path.isfile(uninstall):
        print(f"skipped: {uninstall} is not built")
        return 77
    os.environ["TEST_HELPERS_DIR"] = os.path.dirname(testbed)  # where companion.exe is
    run_name = sys.argv[4] if len(sys.argv) > 4 else "whole-machine"
    prefix = fresh_prefix(base, run_name)
    check = Checks()

    try:
        status, _, errors = wine(prefix, testbed, "plant")
        check(status == 0, "package and decoys planted " + errors.strip())
        # Windows numbers OEM INFs upward and keeps old ones: the package's
        # lies past OEM100, behind unmarked ones like the decoy OEM3.inf.
        inf = os.path.join(prefix, "drive_c", "windows", "inf")
        for extension in ("inf", "PNF"):
            shutil.move(os.path.join(inf, "OEM7." + extension),
                        os.path.join(inf, "OEM150." + extension))
            shutil.copyfile(os.path.join(inf, "OEM150." + extension),
                            os.path.join(inf, "OEM1000." + extension))
        for number in set(range(100)) - {3}:
            shutil.copyfile(os.path.join(inf, "OEM3.inf"), os.path.join(inf, f"OEM{number}.inf"))
        before = snapshot(prefix)
        expected, device = package_removals(before[0])
        devices_before = image_devices(before[0])

        deploy = os.path.join(os.path.dirname(uninstall), "uninstall-deploy.exe")
        status = wine(prefix, deploy, "/check")[0]
        check(status == 2, f"/check before the run exits 2, package present: {status}")
        checked = snapshot(prefix)
        check(diff(before, checked) == ([], [], []), "/check changes nothing " + repr(diff(before, checked)))

        check(wine(prefix, testbed, "companion")[0] == 0, "companion started")
        status, seconds, trace = wine(prefix, uninstall, debug="trace+setupapi")
        check(status == 0, "first run exits 0")
        check(seconds >= 1.0, f"first run pauses for the companion ({seconds:.2f} s)")
        calls = UNINSTALL_OEM_INF.findall(trace)
        check(calls == [("OEM150.inf", "0x00000000"), ("OEM1000.inf", "0x00000000")],
              f"both INF copies taken out of the driver store, flags 0: {calls}")
        after = snapshot(prefix)
        # The companion's own record of the WM_CLOSE it received.
        after[1].pop("kestreltest/companion.txt", None)
        log = os.path.join(prefix, "drive_c", "kestreltest", "companion.txt")
        log = open(log).read() if os.path.exists(log) else ""
        check(re.fullmatch(r"WM_CLOSE run-value=absent tick=\d+\n", log) is not None,
              "companion closed once, after the Run value was deleted " + repr(log))
        removed, added, changed = diff(before, after)
        check(removed == expected, "exactly the package's items removed")
        for item in sorted(set(removed) ^ set(expected)):
            print("     ", "unexpectedly removed" if item in removed else "not removed", *item)
        check(not added, "nothing added " + repr(added))
        check(not changed, "nothing changed " + repr(changed))
        devices_after = image_devices(after[0])
        package_device = device.split("\\Enum\\", 1)[1]
        check(devices_after == [d for d in devices_before if d != package_device],
              f"image devices: {devices_before} -> {devices_after}")

        # Started the same way, so Wine's start-up cancels out.
        _, nothing, _ = shortest_run(prefix, os.path.join(os.path.dirname(testbed), "noop.exe"),
                                     debug="trace+setupapi")
        exited, seconds, runs = shortest_run(prefix, uninstall, debug="trace+setupapi")
        check(exited, "second run exits 0")
        check(seconds < nothing + 0.9,
              f"second run does not pause ({seconds:.2f} s, doing nothing {nothing:.2f} s)")
        calls = [call for run in runs for call in UNINSTALL_OEM_INF.findall(run[2])]
        check(not calls, f"no SetupUninstallOEMInfA call without a package INF: {calls}")
        status = wine(prefix, deploy, "/check")[0]
        check(status == 0, f"/check after the runs exits 0, package gone: {status}")
        again_state = snapshot(prefix)
        again_state[1].pop("kestreltest/companion.txt", None)
        again = diff(after, again_state)
        check(again == ([], [], []), "second run and /check change nothing " + repr(again))
    finally:
        end_prefix(prefix)
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
