// Which devices belong to the package, and what enters the hardware-ID table.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "hardware_id_table.h"

static HardwareIdTable TableOf(std::initializer_list<const char*> ids)
{
    HardwareIdTable table = {};
    for (const char* id : ids) {
        snprintf(table.entries[table.count], HARDWARE_ID_SIZE, "%s", id);
        KeepReadId(&table);
    }
    return table;
}

// The property call's buffer: exactly its bytes, so a read past them is
// caught; what it wrote, then stale bytes it did not write.
static bool Matches(const HardwareIdTable& table, const std::string& multiSz,
                    const std::string& stale = "")
{
    std::unique_ptr<char[]> property(new char[HARDWARE_ID_PROPERTY_SIZE]);
    memset(property.get(), 0, HARDWARE_ID_PROPERTY_SIZE);
    size_t written = std::min<size_t>(multiSz.size(), HARDWARE_ID_PROPERTY_SIZE);
    memcpy(property.get(), multiSz.data(), written);
    memcpy(property.get() + written, stale.data(),
           std::min(stale.size(), HARDWARE_ID_PROPERTY_SIZE - written));
    return MatchesPackageDevice(&table, property.get(), written);
}

static std::string MultiSz(std::initializer_list<const char*> strings)
{
    std::string bytes;
    for (const char* s : strings)
        bytes += std::string(s) + '\0';
    return bytes + '\0';
}

TEST(HardwareIds, FirstIdLowercasedContainsAnEntry)
{
    HardwareIdTable package = TableOf({"USB\\VID_1B3F&PID_2002", "USB\\VID_1B3F&PID_2003&MI_00"});
    struct { const char* name; std::string property; bool matches; } cases[] = {
        {"REV suffix", MultiSz({"USB\\VID_1B3F&PID_2002&REV_0100", "USB\\VID_1B3F&PID_2002"}), true},
        {"lower case", MultiSz({"usb\\vid_1b3f&pid_2003&mi_00"}), true},
        {"mixed case", MultiSz({"Usb\\Vid_1b3f&Pid_2002"}), true},
        {"second entry", MultiSz({"USB\\VID_1B3F&PID_2003&MI_00&REV_0001"}), true},
        {"only the second string", MultiSz({"USB\\VID_04F2&PID_B5A1", "USB\\VID_1B3F&PID_2002"}), false},
        {"other vendor", MultiSz({"USB\\VID_04F2&PID_B5A1&REV_0001"}), false},
        {"compatible ID", MultiSz({"USB\\VID_1B3F&PID_20FF"}), false},
        {"prefix only", MultiSz({"USB\\VID_1B3F&PID_200"}), false},
        {"empty property", MultiSz({""}), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.matches, Matches(package, c.property)) << c.name;
}

TEST(HardwareIds, EmptyTableMatchesNothing)
{
    HardwareIdTable empty = TableOf({});
    EXPECT_EQ(0, empty.count);
    EXPECT_FALSE(Matches(empty, MultiSz({"USB\\VID_1B3F&PID_2002"})));
    EXPECT_FALSE(Matches(empty, MultiSz({""})));
}

TEST(HardwareIds, EmptyAndRepeatedIdsNeverEnterTheTable)
{
    HardwareIdTable table =
        TableOf({"", "USB\\VID_1B3F&PID_2002", "", "usb\\vid_1b3f&pid_2002", "USB\\VID_1B3F&PID_2002"});
    ASSERT_EQ(1, table.count);
    EXPECT_STREQ("usb\\vid_1b3f&pid_2002", table.entries[0]);
    EXPECT_FALSE(Matches(table, MultiSz({"PCI\\VEN_8086&DEV_1234"})));
}

TEST(HardwareIds, TableHoldsSixtyFourDistinctEntries)
{
    HardwareIdTable table = {};
    for (int i = 0; !TableFull(&table); i++) {  // each ID twice, in two letter cases
        snprintf(table.entries[table.count], HARDWARE_ID_SIZE,
                 i % 2 != 0 ? "usb\\vid_1b3f&pid_%04d" : "USB\\VID_1B3F&PID_%04d", i / 2);
        KeepReadId(&table);
    }
    EXPECT_EQ(HARDWARE_ID_SLOTS, table.count);
    EXPECT_STREQ("usb\\vid_1b3f&pid_0063", table.entries[63]);
    EXPECT_TRUE(Matches(table, MultiSz({"USB\\VID_1B3F&PID_0063&REV_0001"})));
}

TEST(HardwareIds, UnterminatedPropertyIsReadWithinItsBytes)
{
    HardwareIdTable table = TableOf({"USB\\VID_1B3F&PID_2002"});
    std::string id = "USB\\VID_1B3F&PID_2002";
    std::string full(HARDWARE_ID_PROPERTY_SIZE - id.size(), 'X');
    EXPECT_TRUE(Matches(table, full + id));  // no zero byte anywhere
    EXPECT_FALSE(Matches(table, full + id.substr(0, id.size() - 1) + "3"));
    EXPECT_FALSE(Matches(table, std::string(HARDWARE_ID_PROPERTY_SIZE, 'X')));
    EXPECT_FALSE(Matches(table, "USB\\VID_1B3F", "&PID_2002"));  // stale bytes after it
}

TEST(HardwareIds, DriverKeyInfPathNamesARecordedCopy)
{
    // Empty names never count; past 64 names, a device is matched by its IDs alone.
    HardwareIdTable table = {};
    for (const char* name : {"oem12.inf", "", "OEM130.inf"})
        KeepPackageInfName(&table, name);
    for (int i = 0; i < PACKAGE_INF_SLOTS; i++)
        KeepPackageInfName(&table, ("oem" + std::to_string(200 + i) + ".inf").c_str());
    EXPECT_EQ(PACKAGE_INF_SLOTS, table.infCount);
    struct { std::string value; bool names; } cases[] = {
        {std::string("oem12.inf", 10), true},   {std::string("OEM12.INF", 10), true},
        {std::string("oem130.inf", 11), true},  {std::string("oem12.inf\0x", 12), true},
        {std::string("oem12.inf", 9), false},   // not terminated within its bytes
        {std::string("oem1.inf", 9), false},    {std::string("oem12.inf.bak", 14), false},
        {std::string("oem12.in", 9), false},    {std::string("C:\\windows\\inf\\oem12.inf", 25), false},
        {std::string("", 1), false},            {std::string(), false},
        {std::string("oem261.inf", 11), true},  {std::string("oem262.inf", 11), false},
    };
    for (const auto& c : cases) {
        std::unique_ptr<char[]> bytes(new char[c.value.size() + 1]);  // exactly its bytes, and one
        memcpy(bytes.get(), c.value.data(), c.value.size());
        bytes[c.value.size()] = 'X';
        EXPECT_EQ(c.names, NamesPackageInf(&table, bytes.get(), c.value.size())) << c.value;
    }
}
