// Arbitrary bytes as models-section hardware IDs and a device's 256-byte
// hardware-ID property (perhaps without a terminating zero), through the
// table and the matching decisions: by first ID, and by the INF a driver key
// names.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "hardware_id_table.h"

static std::string Lowercase(std::string text)
{
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// Input: IDs separated by '\n', then a 0xFF byte, then the property bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* split = static_cast<const uint8_t*>(memchr(data, 0xFF, size));
    size_t idsSize = split != nullptr ? static_cast<size_t>(split - data) : size;
    std::string ids(reinterpret_cast<const char*>(data), idsSize);

    // As the models loop fills it: each ID that fits 64 characters lands in
    // the next free slot, until the table is full.
    HardwareIdTable table = {};
    size_t start = 0;
    while (start <= ids.size() && !TableFull(&table)) {
        size_t end = ids.find('\n', start);
        std::string id = ids.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? ids.size() + 1 : end + 1;
        if (id.size() + 1 > HARDWARE_ID_SIZE || id.find('\0') != std::string::npos)
            continue;  // SetupGetStringFieldA refuses a field that does not fit
        memcpy(table.entries[table.count], id.c_str(), id.size() + 1);
        KeepReadId(&table);
    }
    CHECK(table.count >= 0 && table.count <= HARDWARE_ID_SLOTS);
    for (int i = 0; i < table.count; i++) {
        CHECK(table.entries[i][0] != '\0');
        CHECK(Lowercase(table.entries[i]) == table.entries[i]);
        for (int j = 0; j < i; j++)
            CHECK(strcmp(table.entries[i], table.entries[j]) != 0);
        // The IDs, as far as they fit, stand for the names of package INFs.
        std::string name(table.entries[i], strnlen(table.entries[i], OEM_INF_NAME_SIZE - 1));
        KeepPackageInfName(&table, name.c_str());
    }

    // The property buffer holds exactly 256 bytes; past the input it is
    // filled with a letter, so it may lack any zero.
    std::unique_ptr<char[]> property(new char[HARDWARE_ID_PROPERTY_SIZE]);
    memset(property.get(), 'Q', HARDWARE_ID_PROPERTY_SIZE);
    if (split != nullptr) {
        size_t rest = std::min<size_t>(size - idsSize - 1, HARDWARE_ID_PROPERTY_SIZE);
        memcpy(property.get(), split + 1, rest);
    }
    bool matches = MatchesPackageDevice(&table, property.get(), HARDWARE_ID_PROPERTY_SIZE);

    std::string firstId = Lowercase(std::string(property.get(),
                                                strnlen(property.get(), HARDWARE_ID_PROPERTY_SIZE)));
    bool expected = false;
    for (int i = 0; i < table.count; i++)
        expected = expected || firstId.find(table.entries[i]) != std::string::npos;
    CHECK(matches == expected);
    CHECK(table.count > 0 || !matches);

    // The same bytes as a driver key's InfPath value.
    bool terminated = memchr(property.get(), 0, HARDWARE_ID_PROPERTY_SIZE) != nullptr;
    bool named = false;
    for (int i = 0; i < table.infCount; i++)
        named = named || (terminated && Lowercase(property.get()) == table.infNames[i]);
    CHECK(NamesPackageInf(&table, property.get(), HARDWARE_ID_PROPERTY_SIZE) == named);
    return 0;
}
