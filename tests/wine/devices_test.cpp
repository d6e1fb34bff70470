// Image-class devices that the package installed are removed through the
// class installer: those whose first hardware ID contains one of the model IDs
// of any installed copy of its INF, and those whose driver key names one of
// those copies. Nothing else is.
#include "package_case.h"

static std::string MarkedInf(const std::string& models, const std::string& files = "")
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n"
           "CatalogFile.ntx86=camlynx.cat\r\n\r\n[Norvale.NTamd64]\r\n" +
           models + "\r\n[SourceDisksFiles]\r\n" + files;
}

using Devices = PackageMachine;

TEST_F(Devices, FirstHardwareIdContainingAModelIdOrDriverKeyNamingTheInfIsRemoved)
{
    const std::string longSecondId(300, 'L');
    const std::string unmarked = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\n";
    Check({"package INF",
           {{"OEM7.inf", PACKAGE_INF}, {"OEM3.inf", unmarked}},
           {},
           {"OEM7.inf"},
           {},
           {"OEM7.inf"},
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
           }});
}

TEST_F(Devices, ACameraWhoseRemovalFailsStaysAndSoDoesThePackageInf)
{
    const Calls files = {"drivers\\camlynx.sys", "drivers\\CamLynx.DLL"};
    Check({"DIF_REMOVE fails for the first camera",
           {{"OEM7.inf", PACKAGE_INF}},
           files,
           {},
           {files.begin(), files.end()},
           {"OEM7.inf", "OEM7.inf"},
           {
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, false, "", "remove-fails"},
               {"image", {"USB\\VID_1B3F&PID_2002&REV_0200"}, true},
           },
           {},
           true});
}

TEST_F(Devices, ModelsEdgeLinesRemoveNoUnrelatedDevice)
{
    std::string models = "%A%=Cam.Install\r\n%B%=Cam.Install,\r\n%C%=Cam.Install,USB\\VID_" +
                         std::string(62, '7') + "\r\n";
    for (int i = 0; i < 70; i++)
        models += "%D%=Cam.Install,USB\\VID_1B3F&PID_" + std::to_string(3000 + i) + "\r\n";
    Check({"edge lines",
           {{"OEM1.inf", MarkedInf(models)}},
           {},
           {"OEM1.inf"},
           {},
           {"OEM1.inf"},
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
    const std::string noModels = "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
                                 "CatalogFile.ntx86=camlynx.cat\r\n[SourceDisksFiles]\r\nf.sys=1\r\n";
    const PackageCase cases[] = {
        {"no package INF", {}, {"drivers\\f.sys"}, {}, {}, {}, {camera}},
        {"INF without a Signature", {{"OEM1.inf", noSignature}}, {"drivers\\f.sys"}, {"OEM1.inf"},
         {"drivers\\f.sys"}, {"OEM1.inf"}, {camera}},
        {"no models section", {{"OEM1.inf", noModels}}, {"drivers\\f.sys"}, {"OEM1.inf"},
         {"drivers\\f.sys"}, {"OEM1.inf"}, {camera}},
    };
    for (const PackageCase& c : cases)
        Check(c);
}

// Windows keeps the INF of every version it staged: each names its own model
// and one they share, and lists its own file and one they share.
TEST_F(Devices, EveryVersionsModelsAndFilesGo)
{
    PackageCase c = {"four versions", {}, {"drivers\\shared.sys"}, {}, {"drivers\\shared.sys"}, {}};
    c.devices = {
        {"image", {"USB\\VID_1B3F&PID_2002&REV_0100"}, true},
        {"image", {"USB\\VID_04F2&PID_B5A1&REV_0001"}, false},
    };
    for (int number : {2, 9, 40, 130}) {
        const std::string n = std::to_string(number), inf = "OEM" + n + ".inf",
                          model = "PID_" + std::to_string(5000 + number), file = "drivers\\v" + n + ".sys";
        c.infs[inf] = MarkedInf("%A%=Cam.Install,USB\\VID_1B3F&PID_2002\r\n"
                                "%B%=Cam.Install,USB\\VID_1B3F&" + model + "\r\n",
                                "shared.sys=1\r\nv" + n + ".sys=1\r\n");
        c.infsRemoved.insert(inf);
        c.storeCalls.push_back(inf);
        c.devices.push_back({"image", {"USB\\VID_1B3F&" + model + "&REV_0100"}, true});
        c.files.push_back(file);
        c.filesRemoved.insert(file);
    }
    Check(c);
}
