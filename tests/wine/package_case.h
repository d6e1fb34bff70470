// One clean-up run on a machine holding OEM INFs, driver files and devices,
// and what it must leave: the rows of the driver file and device tests.
#pragma once

#include <map>
#include <set>

#include "clean_machine.h"

using Calls = std::vector<std::string>;

// "drivers\x", "syswow64\x", "system32\x", "windows\x" or a full path.
inline std::string Resolve(const std::string& place)
{
    const std::pair<const char*, std::string> folders[] = {
        {"drivers\\", DriversDir()}, {"syswow64\\", SysWow64Dir()},
        {"system32\\", SystemDir()}, {"windows\\", WindowsDir()},
    };
    for (const auto& folder : folders) {
        if (place.rfind(folder.first, 0) == 0)
            return folder.second + "\\" + place.substr(strlen(folder.first));
    }
    return place;
}

// An INF's path in the inf folder, and that of its PNF beside it.
inline std::string InfFile(const std::string& name, bool pnf = false)
{
    return WindowsDir() + "\\inf\\" + (pnf ? name.substr(0, name.rfind('.')) + ".PNF" : name);
}

struct PlantedDevice {
    const char* className;
    std::vector<std::string> hardwareIds;
    bool removed;
    std::string infPath = "";  // in its driver key: the INF Windows installed it from
    const char* fault = "";    // the fault layer's: "absent" (not attached), "remove-fails"
};

struct PackageCase {
    const char* name;
    std::map<std::string, std::string> infs;  // file name -> content; each gets a PNF
    std::vector<std::string> files;           // planted; the read-only ones start with '!'
    std::set<std::string> infsRemoved;
    std::set<std::string> filesRemoved;
    Calls storeCalls;  // INFs taken out of the driver store, in call order
    std::vector<PlantedDevice> devices = {};
    std::set<std::string> held = {};  // INFs held open with their PNFs through the run
    bool storeRefuses = false;        // as for a package a device still uses
};

class PackageMachine : public CleanMachine {
protected:
    void Check(const PackageCase& c)
    {
        SCOPED_TRACE(c.name);
        ResetMachine();
        for (const auto& inf : c.infs) {
            bool readOnly = inf.first == "OEM7.inf";  // the package INF as most rows plant it
            const std::string infPath = InfFile(inf.first), pnfPath = InfFile(inf.first, true);
            ASSERT_TRUE(WriteBytes(infPath, inf.second, readOnly) && FileExists(infPath)) << infPath;
            ASSERT_TRUE(WriteBytes(pnfPath, "PNF", readOnly) && FileExists(pnfPath)) << pnfPath;
        }
        for (std::string file : c.files) {
            bool readOnly = file[0] == '!';
            if (readOnly)
                file.erase(0, 1);
            ASSERT_TRUE(WriteBytes(Resolve(file), file, readOnly) && FileExists(Resolve(file))) << file;
        }
        Calls instanceIds, faults;
        for (const PlantedDevice& device : c.devices) {
            instanceIds.push_back(PlantDevice(device.className, device.hardwareIds, device.infPath));
            ASSERT_TRUE(DeviceExists(instanceIds.back())) << device.hardwareIds[0];
            if (*device.fault != '\0')
                faults.push_back(device.fault + (" " + instanceIds.back()));
        }
        if (c.storeRefuses)
            faults.push_back("refuse");
        Calls heldFiles;
        for (const std::string& inf : c.held)
            heldFiles.insert(heldFiles.end(), {InfFile(inf), InfFile(inf, true)});
        HANDLE holder = heldFiles.empty() ? nullptr : HoldFiles(heldFiles);
        ASSERT_EQ(heldFiles.empty(), holder == nullptr);
        for (const std::string& path : heldFiles)
            EXPECT_FALSE(DeleteFileA(path.c_str())) << path << " is not held";

        EXPECT_EQ(0u, RunUninstaller("", faults).exitCode);

        if (holder != nullptr) {
            TerminateProcess(holder, 1);
            WaitForSingleObject(holder, 5000);
            CloseHandle(holder);
        }
        // Through the fault layer: every device of the class, attached or not,
        // each removed at most once.
        EXPECT_EQ(Calls{"flags 0x0|set"}, UninstallerCalls("SetupDiGetClassDevsA"));
        std::set<std::string> removals;
        for (const std::string& call : UninstallerCalls("SetupDiCallClassInstaller"))
            EXPECT_TRUE(removals.insert(call).second) << "removed twice: " << call;
        Calls expectedCalls;
        for (const std::string& inf : c.storeCalls)
            expectedCalls.push_back(inf + " 0x0|" + (c.storeRefuses ? "refused" : "done"));
        EXPECT_EQ(expectedCalls, UninstallerCalls("SetupUninstallOEMInfA"));
        for (size_t i = 0; i < c.devices.size(); i++)
            EXPECT_EQ(!c.devices[i].removed, DeviceExists(instanceIds[i]))
                << c.devices[i].className << " " << c.devices[i].hardwareIds[0];
        for (const auto& inf : c.infs) {
            bool removed = c.infsRemoved.count(inf.first) != 0;
            EXPECT_EQ(!removed, FileExists(InfFile(inf.first))) << inf.first;
            EXPECT_EQ(!removed, FileExists(InfFile(inf.first, true))) << inf.first << " PNF";
        }
        for (std::string file : c.files) {
            if (file[0] == '!')
                file.erase(0, 1);
            EXPECT_EQ(c.filesRemoved.count(file) == 0, FileExists(Resolve(file))) << file;
        }
    }
};
