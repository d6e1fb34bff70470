// Names by which the uninstaller recognises the camera driver package.
// Every value is compared and passed exactly as written here.
#pragma once

// Registry paths, all relative to HKEY_LOCAL_MACHINE.
inline constexpr char PRODUCT_KEY[] = "SOFTWARE\\Norvale Logic\\KestrelCam";
inline constexpr char UNINSTALL_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char RUN_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services";
// Where Windows records its Program Files folder.
inline constexpr char CURRENT_VERSION_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char PROGRAM_FILES_VALUE[] = "ProgramFilesDir";

inline constexpr char SETUP_PROGRAM[] =
    "C:\\Program Files\\InstallShield Installation Information\\"
    "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}\\setup.exe";
inline constexpr char PRODUCT_CODE[] = "{6D2A90C4-5E17-4B83-9F4C-2A71D0E58B36}";

// How uninstall-deploy.exe names the package in its summary.
inline constexpr char PACKAGE_NAME[] = "KestrelCam driver package";

// Window title of the companion application and name of its Run value.
inline constexpr char COMPANION_NAME[] = "SnapDeck";
inline constexpr char DIALOG_CLASS[] = "#32770";
inline constexpr char SERVICE_NAME[] = "TarnCamSvc";

// The Windows directory, then a file name in its inf folder.
inline constexpr char OEM_INF_FORMAT[] = "%s\\inf\\%s";
// Windows publishes each third-party INF as oem<n>.inf, counting upward and
// keeping the INF of every driver version it has staged.
inline constexpr char OEM_INF_PATTERN[] = "oem*.inf";
inline constexpr char CATALOG_MARKER[] = "CatalogFile.ntx86=camlynx.cat";
inline constexpr char FILE_ENTRY_MARK[] = "=1";
inline constexpr char FILE_LIST_END[] = "[DestinationDirs]";
inline constexpr char DRIVERS_PATH_FORMAT[] = "%s\\drivers\\%s";
inline constexpr char WOW64_PATH_FORMAT[] = "%s\\SysWOW64\\%s";
inline constexpr const char* WOW64_EXTENSIONS[] = {".ax", ".exe", ".dll"};
inline constexpr char PNF_SUFFIX[] = "PNF";
inline constexpr char MODELS_SECTION[] = "Norvale.NTamd64";
inline constexpr char DEVICE_CLASS_NAME[] = "image";

// Limits fixed by the design.
inline constexpr int PATH_SIZE = 256;       // every path buffer, terminator included
inline constexpr int PIECE_SIZE = 256;      // one INF line piece, terminator included
inline constexpr int HARDWARE_ID_SLOTS = 64;
inline constexpr int HARDWARE_ID_SIZE = 64;
inline constexpr int HARDWARE_ID_PROPERTY_SIZE = 256;
inline constexpr int PACKAGE_INF_SLOTS = 64;
inline constexpr unsigned COMPANION_CLOSE_TIMEOUT_MS = 5000;
inline constexpr unsigned COMPANION_CLOSE_PAUSE_MS = 1000;
