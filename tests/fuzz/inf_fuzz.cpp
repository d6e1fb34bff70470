// Arbitrary bytes as an OEM INF file, through the INF decisions in the order
// the uninstaller makes them: line pieces, the marker search, then for every
// file-list entry the name cut and safety test, the drivers path, the
// SysWOW64 test and path. The same bytes, one line a name, as the inf
// folder's listing: which names are candidates and the order they are tried
// in. Properties are checked on every input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "file_names.h"
#include "inf_text.h"
#include "other_packages.h"

// The text as the C runtime's text mode delivers it, written plainly.
static std::string TextModeText(const uint8_t* data, size_t size)
{
    std::string text;
    for (size_t i = 0; i < size && data[i] != 0x1A; i++) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n')
            continue;
        text += static_cast<char>(data[i]);
    }
    return text;
}

static FILE* OpenBytes(const uint8_t* data, size_t size)
{
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

static void CheckPieces(const uint8_t* data, size_t size, bool mayHoldMarker)
{
    // A NUL byte ends a piece's C string early, so only texts without one
    // show each piece whole.
    bool whole = memchr(data, 0, size) == nullptr;
    FILE* file = OpenBytes(data, size);
    PieceReader reader;
    StartPieces(&reader, file);
    std::string joined;
    bool markerSeen = false;
    bool previousWasShort = false;
    char piece[PIECE_SIZE];
    while (ReadPiece(&reader, piece)) {
        size_t length = strlen(piece);
        CHECK(length < PIECE_SIZE);
        CHECK(!whole || !previousWasShort);  // only the last piece may end early
        previousWasShort = length < PIECE_SIZE - 1 && (length == 0 || piece[length - 1] != '\n');
        joined += piece;
        markerSeen = markerSeen || ContainsText(piece, CATALOG_MARKER);
    }
    CHECK(!ReadPiece(&reader, piece));
    fclose(file);
    // The raw-byte shortcut never hides a marker that a piece holds.
    CHECK(mayHoldMarker || !markerSeen);
    if (whole)
        CHECK(joined == TextModeText(data, size));
}

static const char* directory;

static void CheckEntry(const char* entry)
{
    CHECK(IsFileEntry(entry));
    char name[PIECE_SIZE];
    if (!SafeListedName(entry, name))
        return;
    CHECK(name[0] != '\0' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0);
    CHECK(strpbrk(name, "\\/:") == nullptr);
    char path[PATH_SIZE];
    if (FormatPath(path, DRIVERS_PATH_FORMAT, directory, name)) {
        CHECK(strlen(path) < PATH_SIZE);
        CHECK(std::string(path) == std::string(directory) + "\\drivers\\" + name);
    } else {
        CHECK(strlen(directory) + strlen("\\drivers\\") + strlen(name) >= PATH_SIZE);
    }
    LowercaseAscii(name, sizeof name);
    for (const char* c = name; *c != '\0'; c++)
        CHECK(*c < 'A' || *c > 'Z');
    if (GoesToSysWow64(name) && FormatPath(path, WOW64_PATH_FORMAT, directory, name))
        CHECK(strlen(path) < PATH_SIZE);
}

// Written plainly: "oem", decimal digits without a leading zero up to
// 4294967295, ".inf", in any ASCII letter case.
static bool IsOemInfName(std::string name, uint32_t* number)
{
    LowercaseAscii(&name[0], name.size());
    if (name.size() < 8 || name.compare(0, 3, "oem") != 0 ||
        name.compare(name.size() - 4, 4, ".inf") != 0)
        return false;
    std::string digits = name.substr(3, name.size() - 7);
    if (digits.empty() || digits.size() > 10 || (digits[0] == '0' && digits.size() > 1) ||
        digits.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(digits) > UINT32_MAX)
        return false;
    *number = static_cast<uint32_t>(std::stoull(digits));
    return true;
}

using Candidates = std::vector<std::pair<uint32_t, std::string>>;

// The candidates after `after`, in the order the batches try them.
static Candidates TriedAfter(const std::set<std::string>& folder, OemInf after, size_t most)
{
    Candidates tried;
    std::unique_ptr<OemInfBatch> batch(new OemInfBatch);
    StartOemInfBatch(batch.get(), after);
    do {
        for (auto name = folder.rbegin(); name != folder.rend(); ++name)
            KeepOemInf(batch.get(), name->c_str());
        for (int i = 0; i < batch->count; i++)
            tried.push_back({batch->candidates[i].number, batch->candidates[i].name});
        CHECK(tried.size() <= most);
    } while (NextOemInfBatch(batch.get()));
    return tried;
}

static void CheckOemNames(const uint8_t* data, size_t size)
{
    std::set<std::string> folder;  // a folder lists each name once
    std::string text(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start <= text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string name = text.substr(start, end - start);
        if (name.find('\0') == std::string::npos)
            folder.insert(name);
        start = end + 1;
    }
    Candidates expected;
    for (const std::string& name : folder) {
        uint32_t number = 0, plain = 0;
        bool candidate = OemInfNumber(name.c_str(), &number);
        CHECK(candidate == IsOemInfName(name, &plain));
        CHECK(!candidate || number == plain);
        if (candidate)
            expected.push_back({number, name});
    }
    std::sort(expected.begin(), expected.end());
    // Every candidate tried once, in ascending number, however the folder is
    // listed; from the start, and after the middle one.
    CHECK(TriedAfter(folder, BEFORE_FIRST_OEM_INF, expected.size()) == expected);
    size_t skipped = (expected.size() + 1) / 2;
    OemInf middle = BEFORE_FIRST_OEM_INF;
    if (skipped > 0) {
        middle.number = expected[skipped - 1].first;
        snprintf(middle.name, sizeof middle.name, "%s", expected[skipped - 1].second.c_str());
    }
    CHECK(TriedAfter(folder, middle, expected.size()) ==
          Candidates(expected.begin() + static_cast<ptrdiff_t>(skipped), expected.end()));
}

// The names gathered do not depend on where the block edges fall.
static void CheckSourceFiles(const uint8_t* data, size_t size)
{
    static OtherPackageFiles whole, split;
    memset(&whole, 0, sizeof whole);
    memset(&split, 0, sizeof split);
    SourceFilesScan scan;
    StartSourceFilesScan(&scan, &whole);
    ScanSourceFiles(&scan, data, size);
    StartSourceFilesScan(&scan, &split);
    const size_t block = size > 0 ? 1 + data[size - 1] % 17 : 1;
    for (size_t at = 0, count = std::min<size_t>(size, 3); at < size; at += count, count = block)
        ScanSourceFiles(&scan, data + at, std::min(count, size - at));
    CHECK(memcmp(whole.bits, split.bits, sizeof whole.bits) == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckOemNames(data, size);
    CheckSourceFiles(data, size);
    if (size == 0)
        return 0;  // fmemopen refuses an empty buffer
    FILE* file = OpenBytes(data, size);
    bool mayHoldMarker = FileMayHoldText(file, CATALOG_MARKER);
    fclose(file);
    CheckPieces(data, size, mayHoldMarker);

    // A short and a long system directory: the long one makes paths overflow.
    static const std::string longDirectory = "C:\\" + std::string(200, 'd');
    for (const char* dir : {"C:\\Windows\\system32", longDirectory.c_str()}) {
        directory = dir;
        file = OpenBytes(data, size);
        PieceReader reader;
        if (FindMarker(file, &reader))
            ForEachFileEntry(&reader, CheckEntry);
        fclose(file);
    }
    return 0;
}
