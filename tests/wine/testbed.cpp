// The demo's hands on the Wine machine:
//   testbed install   plant the package and its decoys, start the companion
//   testbed plant     plant the package and its decoys only
//                     (both fail, naming each item, when planting fails)
//   testbed companion start the companion and wait for its window
//   testbed report    one line per item: expected|label|present (1 or 0),
//                     expected being what a clean-up run does to it
//   testbed demo      install, then what sets a clean-up apart: a second
//                     version numbered above 100 with a composite camera's
//                     function installed from it, a filter a video program
//                     holds, a file another package lists too
//   testbed demo-report
//                     kind|expected|label|present for every item, grouped
//                     by kind; expected: removed, kept or till restart
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "package.h"

static const char* const SECOND_VERSION = "OEM123.inf";
static const char* const COLORIMETER = "OEM45.inf";  // another vendor's libusb-win32 driver
static const char* const COMPOSITE_ID = "USB\\VID_1B3F&PID_2003&REV_0100&MI_00";

static const char* const SECOND_VERSION_INF =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n"
    "CatalogFile.ntx86=camlynx.cat\r\nDriverVer=06/02/2014,2.1.0.3\r\n\r\n"
    "[Norvale.NTamd64]\r\n%Cam.Desc%=Cam.Install,USB\\VID_1B3F&PID_2003&MI_00\r\n\r\n"
    "[SourceDisksFiles]\r\ncamlynx.sys=1\r\ncamlynx2.sys=1\r\nlibusb0.sys=1\r\n\r\n"
    "[DestinationDirs]\r\nDefaultDestDir=12\r\n";
static const char* const COLORIMETER_INF =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=libusb-win32 devices\r\n\r\n"
    "[SourceDisksFiles.amd64]\r\nlibusb0.sys = 1,\\bin\\amd64,\r\n";

static std::string Held() { return DriversDir() + "\\camlynx.ax"; }

static bool DemoPlanted()
{
    return WriteBytes(InfPath(SECOND_VERSION), SECOND_VERSION_INF) &&
           WriteBytes(InfPath(SECOND_VERSION, true), "PNF of the second version") &&
           WriteBytes(InfPath(COLORIMETER), COLORIMETER_INF) &&
           WriteBytes(InfPath(COLORIMETER, true), "PNF of the colorimeter") &&
           WriteBytes(DriversDir() + "\\camlynx2.sys", "camlynx2.sys") &&
           WriteBytes(DriversDir() + "\\libusb0.sys", "libusb0.sys") &&
           !PlantDevice("image", {COMPOSITE_ID, "USB\\VID_1B3F&PID_2003&MI_00"}, "oem123.inf").empty() &&
           CopyInto(HelperPath("canary.dll"), Held()) &&
           StartProgram(HelperPath("companion.exe"), LogDir() + "\\video.txt other-class " + Held()) &&
           WaitUntil([] { return FindWindowA("STATIC", "SnapDeck") != nullptr; }, 10000);
}

struct DemoItem {
    const char* kind;
    const char* expected;
    std::string label;
    std::function<bool()> present;
};

static const char* KindOf(const std::string& label)
{
    const std::pair<const char*, const char*> kinds[] = {
        {"uninstall", "registry"}, {"other uninstall", "registry"}, {"Run value", "registry"},
        {"service", "service"},    {"companion", "window"},         {"image device", "devices"},
    };
    for (const auto& kind : kinds) {
        if (label.rfind(kind.first, 0) == 0)
            return kind.second;
    }
    return "files";
}

static std::vector<DemoItem> DemoItems()
{
    std::vector<DemoItem> items = {
        {"registry", "till restart", "PendingFileRenameOperations (restart pending)",
         [] { return ValueExists(HKEY_LOCAL_MACHINE, SESSION_MANAGER, PENDING); }},
        {"service", "removed", "service TarnCamSvc known to the SCM", [] { return AskScm("TarnCamSvc", 'o') == 0; }},
        {"service", "kept", "service TarnCamSvc2 known to the SCM", [] { return AskScm("TarnCamSvc2", 'o') == 0; }},
        {"devices", "removed", "image device " + std::string(COMPOSITE_ID) + " (composite)",
         [] { return DeviceWithFirstId(COMPOSITE_ID); }},
        {"files", "removed", "inf\\OEM123.inf (second version)", [] { return FileExists(InfPath(SECOND_VERSION)); }},
        {"files", "removed", "inf\\OEM123.PNF", [] { return FileExists(InfPath(SECOND_VERSION, true)); }},
        {"files", "removed", "drivers\\camlynx2.sys (second version's)", [] { return FileExists(DriversDir() + "\\camlynx2.sys"); }},
        {"files", "kept", "drivers\\libusb0.sys (OEM45.inf lists it too)", [] { return FileExists(DriversDir() + "\\libusb0.sys"); }},
        {"files", "kept", "inf\\OEM45.inf (colorimeter, libusb-win32)", [] { return FileExists(InfPath(COLORIMETER)); }},
        {"files", "till restart", "drivers\\del*.tmp (camlynx.ax, a video program holds it)", [] {
             WIN32_FIND_DATAA found;
             HANDLE listing = FindFirstFileA((DriversDir() + "\\del*.tmp").c_str(), &found);
             FindClose(listing);
             return listing != INVALID_HANDLE_VALUE;
         }},
    };
    for (const MachineItem& item : MachineItems())
        items.push_back({KindOf(item.label), item.removedByCleanUp ? "removed" : "kept", item.label, item.present});
    std::stable_sort(items.begin(), items.end(), [](const DemoItem& a, const DemoItem& b) {
        const std::string order = "registry service window devices files";
        return order.find(a.kind) < order.find(b.kind);
    });
    return items;
}

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    bool demo = strcmp(command, "demo") == 0;
    if (strcmp(command, "install") == 0 || strcmp(command, "plant") == 0 || demo) {
        ItemLabels absent = InstallPackage();
        for (const std::string& label : absent)
            fprintf(stderr, "testbed: not planted: %s\n", label.c_str());
        if (!absent.empty())
            return 1;
    }
    // The companion keeps running after testbed exits.
    if (strcmp(command, "install") == 0 || strcmp(command, "companion") == 0 || demo) {
        if (StartCompanion() == nullptr)
            return 1;
        return demo && !DemoPlanted() ? 1 : 0;
    }
    if (strcmp(command, "plant") == 0)
        return 0;
    if (strcmp(command, "report") == 0) {
        for (const MachineItem& item : MachineItems())
            printf("%s|%s|%d\n", item.removedByCleanUp ? "removed" : "kept",
                   item.label.c_str(), item.present() ? 1 : 0);
        return 0;
    }
    if (strcmp(command, "demo-report") == 0) {
        for (const DemoItem& item : DemoItems())
            printf("%s|%s|%s|%d\n", item.kind, item.expected, item.label.c_str(), item.present() ? 1 : 0);
        return 0;
    }
    fprintf(stderr, "usage: testbed install|plant|companion|report|demo|demo-report\n");
    return 2;
}
