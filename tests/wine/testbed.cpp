// The demo's hands on the Wine machine:
//   testbed install   plant the package and its decoys, start the companion
//   testbed report    one line per item: expected|label|present (1 or 0),
//                     expected being what a clean-up run does to it
#include <cstdio>
#include <cstring>

#include "package.h"

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "install") == 0) {
        InstallPackage();
        // The companion keeps running after testbed exits.
        return StartCompanion() != nullptr ? 0 : 1;
    }
    if (argc > 1 && strcmp(argv[1], "report") == 0) {
        for (const MachineItem& item : MachineItems())
            printf("%s|%s|%d\n", item.removedByCleanUp ? "removed" : "kept",
                   item.label.c_str(), item.present() ? 1 : 0);
        return 0;
    }
    fprintf(stderr, "usage: testbed install|report\n");
    return 2;
}
