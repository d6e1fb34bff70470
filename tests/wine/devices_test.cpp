// Image-class devices whose first hardware ID contains one of the package
// INF's model IDs are removed through the class installer; nothing else is.
#include <map>

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
};

struct DeviceCase {
    const char* name;
    std::map<int, std::string> infs;
    std::vector<PlantedDevice> devices;
    std::vector<std::string> driverFiles = {};  // planted in system32\drivers
};

class Devices : public CleanMachine {
protected:

    void Check(const DeviceCase& c)
    {
        SCOPED_TRACE(c.name);
        ResetMachine();
        for (const auto& inf : c.infs) {
            ASSERT_TRUE(WriteBytes(InfPath(inf.first), inf.second) && FileExists(InfPath(inf.first)));
        }
        for (const std::string& file : c.driverFiles) {
            std::string path = DriversDir() + "\\" + file;
            ASSERT_TRUE(WriteBytes(path, file) && FileExists(path)) << path;
        }
        std::vector<std::string> instanceIds;
        for (const PlantedDevice& device : c.devices) {
            instanceIds.push_back(PlantDevice(device.className, device.hardwareIds));
            ASSERT_TRUE(DeviceExists(instanceIds.back())) << device.hardwareIds[0];
        }

        EXPECT_EQ(0u, RunUninstaller().exitCode);

        for (size_t i = 0; i < c.devices.size(); i++)
            EXPECT_EQ(!c.devices[i].removed, DeviceExists(instanceIds[i]))
                << c.devices[i].className << " " << c.devices[i].hardwareIds[0];
    }
};

TEST_F(Devices, FirstHardwareIdContainingAModelIdIsRemoved)
{
    const std::string longSecondId(300, 'L');
    Check({"package INF",
           {{7, PACKAGE_INF}},
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
           }});
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
        {"no package INF", {}, {camera}, {"f.sys"}},
        {"INF without a Signature", {{1, noSignature}}, {camera}, {"f.sys"}},
        {"no models section",
         {{1, "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile.ntx86=camlynx.cat\r\n"
              "[SourceDisksFiles]\r\nf.sys=1\r\n"}},
         {camera},
         {"f.sys"}},
    };
    for (const DeviceCase& c : cases) {
        Check(c);
        EXPECT_EQ(c.infs.empty(), FileExists(DriversDir() + "\\f.sys")) << c.name;
        EXPECT_FALSE(FileExists(InfPath(1))) << c.name;
    }
}

TEST_F(Devices, HardwareIdsComeFromTheLowerNumberedCopy)
{
    Check({"two copies",
           {{9, MarkedInf("%A%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n")},
            {10, MarkedInf("%A%=Cam.Install,USB\\VID_1B3F&PID_5555\r\n")}},
           {
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, true},
               {"image", {"USB\\VID_1B3F&PID_5555&REV_0100"}, false},
           }});
}
