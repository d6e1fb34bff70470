// Image-class devices that the package installed are removed through the
// class installer: those whose first hardware ID contains one of the model IDs
// of any installed copy of its INF, and those whose driver key names one of
// those copies. Nothing else is.
#include <map>
#include <set>

#include "clean_machine.h"

static std::string MarkedInf(const std::string& models, const std::string& files = "")
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n"
           "CatalogFile.ntx86=camlynx.cat\r\n\r\n[Norvale.NTamd64]\r\n" +
           models + "\r\n[SourceDisksFiles]\r\n" + files;
}

struct PlantedDevice {
    const char* className;
    std::vector<std::string> hardwareIds;
    bool removed;
    std::string infPath = "";  // in its driver key: the INF Windows installed it from
    const char* fault = "";    // the fault layer's: "absent" (not attached), "remove-fails"
};

struct DeviceCase {
    const char* name;
    std::map<int, std::string> infs;  // each with a PNF; all go but infsKept
    std::vector<PlantedDevice> devices;
    std::vector<std::string> driverFiles = {};  // in system32\drivers: go
    std::vector<std::string> driverFilesKept = {};
    std::set<int> infsKept = {};
    bool storeRefuses = false;  // SetupUninstallOEMInfA, as for a package a device still uses
};

class Devices : public CleanMachine {
protected:

    void Check(const DeviceCase& c)
    {
        SCOPED_TRACE(c.name);
        ResetMachine();
        for (const auto& inf : c.infs) {
            ASSERT_TRUE(WriteBytes(InfPath(inf.first), inf.second) && FileExists(InfPath(inf.first)));
            ASSERT_TRUE(WriteBytes(InfPath(inf.first, "PNF"), "PNF") &&
                        FileExists(InfPath(inf.first, "PNF")));
        }
        for (const std::vector<std::string>* files : {&c.driverFiles, &c.driverFilesKept}) {
            for (const std::string& file : *files) {
                std::string path = DriversDir() + "\\" + file;
                ASSERT_TRUE(WriteBytes(path, file) && FileExists(path)) << path;
            }
        }
        std::vector<std::string> instanceIds, faults;
        for (const PlantedDevice& device : c.devices) {
            instanceIds.push_back(PlantDevice(device.className, device.hardwareIds, device.infPath));
            ASSERT_TRUE(DeviceExists(instanceIds.back())) << device.hardwareIds[0];
            if (*device.fault != '\0')
                faults.push_back(device.fault + (" " + instanceIds.back()));
        }
        if (c.storeRefuses)
            faults.push_back("refuse");

        EXPECT_EQ(0u, RunUninstaller("", faults).exitCode);

        // Through the fault layer, every device of the class, attached or not.
        EXPECT_EQ(std::vector<std::string>{"flags 0x0|set"}, UninstallerCalls("SetupDiGetClassDevsA"));
        std::set<std::string> removals;
        for (const std::string& call : UninstallerCalls("SetupDiCallClassInstaller"))
            EXPECT_TRUE(removals.insert(call).second) << "removed twice: " << call;
        for (size_t i = 0; i < c.devices.size(); i++)
            EXPECT_EQ(!c.devices[i].removed, DeviceExists(instanceIds[i]))
                << c.devices[i].className << " " << c.devices[i].hardwareIds[0];
        for (const auto& inf : c.infs) {
            bool kept = c.infsKept.count(inf.first) != 0;
            EXPECT_EQ(kept, FileExists(InfPath(inf.first))) << "OEM" << inf.first;
            EXPECT_EQ(kept, FileExists(InfPath(inf.first, "PNF"))) << "OEM" << inf.first;
        }
        for (const std::string& file : c.driverFiles)
            EXPECT_FALSE(FileExists(DriversDir() + "\\" + file)) << file;
        for (const std::string& file : c.driverFilesKept)
            EXPECT_TRUE(FileExists(DriversDir() + "\\" + file)) << file;
    }
};

TEST_F(Devices, FirstHardwareIdContainingAModelIdOrDriverKeyNamingTheInfIsRemoved)
{
    const std::string longSecondId(300, 'L');
    const std::string unmarked = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n";
    Check({"package INF",
           {{7, PACKAGE_INF}, {3, unmarked}},
           {
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0100", "USB\\VID_1B3F&PID_2002"}, true},
               {"image", {"usb\\vid_1b3f&pid_2003&mi_00&rev_0001"}, true},
               {"image", {"USB\\VID_1B3F&PID_2002"}, true},
               {"image", {"USB\\VID_1B3F&PID_2002&USB\\VID_1B3F&PID_2003&MI_00"}, true},
               {"image", {"USB\\VID_04F2&PID_B5A1", "USB\\VID_1B3F&PID_2002"}, false},
               {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false},
               {"image", {"USB\\VID_1B3F&PID_20FF"}, false},
               {"HIDClass", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false},
               // Over 256 bytes the property cannot be read: passed over.
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0200", longSecondId}, false},
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0300"}, true},
               // A composite camera's function: the INF's ...&MI_00 is not in
               // its first ID, its driver key names the package INF.
               {"image", {"USB\\VID_1B3F&PID_2003&REV_0100&MI_00", "USB\\VID_1B3F&PID_2003&MI_00"},
                true, "oem7.INF"},
               {"image", {"USB\\VID_1B3F&PID_2003&REV_0100&MI_02", "USB\\VID_1B3F&PID_2003&MI_02"},
                false, "oem3.inf"},
               {"HIDClass", {"USB\\VID_1B3F&PID_2003&REV_0100&MI_01"}, false, "OEM7.inf"},
               // Registered, not attached: a DIGCF_PRESENT set would leave it out.
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0400"}, true, "", "absent"},
           },
           {},
           {},
           {3}});
}

TEST_F(Devices, ACameraWhoseRemovalFailsStaysAndSoDoesThePackageInf)
{
    Check({"DIF_REMOVE fails for the first camera",
           {{7, PACKAGE_INF}},
           {
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false, "", "remove-fails"},
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0200"}, true},
           },
           {"camlynx.sys", "CamLynx.DLL"},
           {},
           {7},
           true});
}

TEST_F(Devices, ModelsEdgeLinesRemoveNoUnrelatedDevice)
{
    std::string models = "%A%=Cam.Install\r\n%B%=Cam.Install,\r\n%C%=Cam.Install,USB\\VID_" +
                         std::string(62, '7') + "\r\n";
    for (int i = 0; i < 70; i++)
        models += "%D%=Cam.Install,USB\\VID_1B3F&PID_" + std::to_string(3000 + i) + "\r\n";
    Check({"edge lines",
           {{1, MarkedInf(models)}},
           {
               {"image", {"USB\\VID_1B3F&PID_3000&REV_0001"}, true},
               {"image", {"USB\\VID_1B3F&PID_3063&REV_0001"}, true},   // 64th readable line
               {"image", {"USB\\VID_1B3F&PID_3064&REV_0001"}, false},  // the table is full
               {"image", {"USB\\VID_" + std::string(62, '7')}, false},
               {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false},
               {"image", {"PCI\\VEN_8086&DEV_1234"}, false},
           }});
}

TEST_F(Devices, WithoutReadableModelsNoDeviceGoesButTheFilePassRuns)
{
    const PlantedDevice camera = {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false};
    const std::string noSignature =
        "[Version]\r\nCatalogFile.ntx86=camlynx.cat\r\n[Norvale.NTamd64]\r\n"
        "%A%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n[SourceDisksFiles]\r\nf.sys=1\r\n";
    const DeviceCase cases[] = {
        {"no package INF", {}, {camera}, {}, {"f.sys"}},
        {"INF without a Signature", {{1, noSignature}}, {camera}, {"f.sys"}},
        {"no models section",
         {{1, "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile.ntx86=camlynx.cat\r\n"
              "[SourceDisksFiles]\r\nf.sys=1\r\n"}},
         {camera},
         {"f.sys"}},
    };
    for (const DeviceCase& c : cases)
        Check(c);
}

// Windows keeps the INF of every version it staged: each names its own model
// and one they share, and lists its own file and one they share.
TEST_F(Devices, EveryVersionsModelsAndFilesGo)
{
    std::map<int, std::string> versions;
    std::vector<PlantedDevice> devices = {
        {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, true},
        {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false},
    };
    std::vector<std::string> files = {"shared.sys"};
    for (int number : {2, 9, 40, 130}) {
        const std::string n = std::to_string(number), model = "PID_" + std::to_string(5000 + number);
        versions[number] = MarkedInf("%A%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n"
                                     "%B%=Cam.Install,USB\\VID_1B3F&" + model + "\r\n",
                                     "shared.sys=1\r\nv" + n + ".sys=1\r\n");
        devices.push_back({"image", {"USB\\VID_1B3F&" + model + "&REV_0100"}, true});
        files.push_back("v" + n + ".sys");
    }
    Check({"four versions", versions, devices, files});
}
