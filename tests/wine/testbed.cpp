// The demo's hands on the Wine machine:
//   testbed install   plant the package and its decoys, start the companion
//   testbed plant     plant the package and its decoys only
//                     (both fail, naming each item, when planting fails)
//   testbed companion start the companion and wait for its window
//   testbed report    one line per item: expected|label|present (1 or 0),
//                     expected being what a clean-up run does to it
#include <cstdio>
#include <cstring>

#include "package.h"

int main(int argc, char** argv)
{
    const char* command = argc > 1 ? argv[1] : "";
    if (strcmp(command, "install") == 0 || strcmp(command, "plant") == 0) {
        ItemLabels absent = InstallPackage();
        for (const std::string& label : absent)
            fprintf(stderr, "testbed: not planted: %s\n", label.c_str());
        if (!absent.empty())
            return 1;
    }
    // The companion keeps running after testbed exits.
    if (strcmp(command, "install") == 0 || strcmp(command, "companion") == 0)
        return StartCompanion() != nullptr ? 0 : 1;
    if (strcmp(command, "plant") == 0)
        return 0;
    if (strcmp(command, "report") == 0) {
        for (const MachineItem& item : MachineItems())
            printf("%s|%s|%d\n", item.removedByCleanUp ? "removed" : "kept",
                   item.label.c_str(), item.present() ? 1 : 0);
        return 0;
    }
    fprintf(stderr, "usage: testbed install|plant|companion|report\n");
    return 2;
}
