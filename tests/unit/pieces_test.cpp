// Reading INF text in line pieces with the C runtime's text-mode rules, and
// finding the package's INF by its marker.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "inf_text.h"

// A file named for this process and test, so tests run side by side by
// ctest -j never share one; deleted when it goes out of scope.
struct TempInf {
    explicit TempInf(const std::string& bytes)
    {
        static int serial = 0;
        path = testing::TempDir() + "pieces_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(serial++) + ".inf";
        FILE* file = fopen(path.c_str(), "wb");
        EXPECT_NE(nullptr, file);
        EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file));
        EXPECT_EQ(0, fclose(file));
    }
    ~TempInf() { remove(path.c_str()); }
    const char* c_str() const { return path.c_str(); }
    std::string path;
};

// Lines of 99 characters and a line feed, the last line feed at size - 1.
static std::string Filler(size_t size)
{
    std::string bytes(size, 'a');
    for (size_t back = 1; back <= size; back += 100)
        bytes[size - back] = '\n';
    return bytes;
}

// Where the pre-check's and the reader's blocks meet, in file offsets.
static const size_t BLOCK_EDGES[] = {INF_READ_BLOCK, 2 * INF_READ_BLOCK};

static std::vector<std::string> Pieces(const std::string& bytes)
{
    std::vector<std::string> pieces;
    FILE* file = fopen(TempInf(bytes).c_str(), "rb");
    PieceReader reader;
    StartPieces(&reader, file);
    char piece[PIECE_SIZE];
    while (ReadPiece(&reader, piece))
        pieces.push_back(piece);
    EXPECT_FALSE(ReadPiece(&reader, piece));  // the end stays the end
    fclose(file);
    return pieces;
}

using PieceList = std::vector<std::string>;

TEST(Pieces, TextModeRules)
{
    const std::string x255(255, 'x');
    struct { const char* name; std::string bytes; PieceList pieces; } cases[] = {
        {"CR LF becomes LF", "a=1\r\nb=1\r\n", {"a=1\n", "b=1\n"}},
        {"LF alone", "a\nb", {"a\n", "b"}},
        {"lone CR stays", "a\rb\r\n", {"a\rb\n"}},
        {"CR CR LF", "a\r\r\n", {"a\r\n"}},
        {"CR at end", "a\r", {"a\r"}},
        {"Ctrl-Z ends the text", "a=1\r\nb\x1a" "c=1\r\n", {"a=1\n", "b"}},
        {"CR before Ctrl-Z", "a\r\x1a" "b", {"a\r"}},
        {"empty file", "", {}},
        {"Ctrl-Z first", "\x1a" "a\n", {}},
        {"long line in 255-character pieces", x255 + "yz\r\n", {x255, "yz\n"}},
        {"line of exactly 255 then CR LF", x255 + "\r\n", {x255, "\n"}},
        {"NUL bytes pass through", std::string("a\0b\n", 4), {std::string("a")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.pieces, Pieces(c.bytes)) << c.name;
}

TEST(Pieces, TextModeRulesHoldAcrossBlockEdges)
{
    for (size_t edge : BLOCK_EDGES) {
        const std::string before = Filler(edge - 1), upTo = Filler(edge);
        struct { const char* name; std::string bytes; std::string text; } cases[] = {
            {"CR LF split by the edge", before + "\r\nlast\n", before + "\nlast\n"},
            {"lone CR last before the edge", before + "\rnext\n", before + "\rnext\n"},
            {"Ctrl-Z last before the edge", before + "\x1a" "after\n", before},
            {"Ctrl-Z first after the edge", upTo + "\x1a" "after\n", upTo},
        };
        for (const auto& c : cases) {
            std::string text;
            for (const std::string& piece : Pieces(c.bytes))
                text += piece;
            // The filler is long and plain: a failure shows the text's end.
            EXPECT_TRUE(c.text == text) << c.name << " at " << edge << ", text ends "
                                        << testing::PrintToString(text.substr(edge - 8));
        }
    }
}

static const std::string MARKER = "CatalogFile.ntx86=camlynx.cat";

struct MarkerCase {
    const char* name;
    std::string bytes;
    bool found;
    const char* nextPiece;  // first piece after the marker's, "" for end of file
    PieceList listed = {};    // names another package lists, as the package's INF cuts them
    PieceList unlisted = {};
};

static std::string Utf16WithMark(const std::string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char c : text)
        bytes += {c, '\0'};
    return bytes;
}

TEST(Pieces, MarkerSearch)
{
    const std::string pad(240, ';');
    std::string utf16;
    for (char c : "[Version]\r\n" + MARKER + "\r\n") {
        utf16 += c;
        utf16 += '\0';
    }
    MarkerCase cases[] = {
        {"plain", "[Version]\r\n" + MARKER + "\r\ncamlynx.sys=1\r\n", true, "camlynx.sys=1\n"},
        {"inside a longer line", "x " + MARKER + "   ; comment\r\nnext\r\n", true, "next\n"},
        {"last line", "[Version]\r\n" + MARKER, true, ""},
        {"last line with line feed", MARKER + "\r\n", true, ""},
        {"spaced", "CatalogFile.ntx86 = camlynx.cat\r\n", false, ""},
        {"other case", "catalogfile.ntx86=camlynx.cat\r\n", false, ""},
        {"split at the piece boundary", pad + MARKER + "\r\n", false, ""},
        {"after the split, in the next piece", std::string(255, ';') + MARKER + "\r\nn\r\n",
         true, "n\n"},
        {"UTF-16", utf16, false, ""},
        {"after Ctrl-Z", "a\r\n\x1a" + MARKER + "\r\n", false, ""},
        {"first of two markers", MARKER + "\r\n" + MARKER + "\r\n", true, "CatalogFile.ntx86=camlynx.cat\n"},
        {"across the first block edge", Filler(INF_READ_BLOCK - 10) + MARKER + "\r\nn\r\n", true,
         "n\n"},
        {"across the second block edge", Filler(2 * INF_READ_BLOCK - 1) + MARKER + "\r\nn\r\n",
         true, "n\n"},
        {"names other packages list", "[Version]\r\n[SourceDisksFiles.amd64]\r\n"
         "libusb0.sys = 1,\\bin\\amd64,\r\n \"Wdf Co.dll\" =1\r\n;x.sys=1\r\ny.sys ; =1\r\n"
         "caf\xE9.sys=1\rno.sys=1\ndot.sys. =1\n[ sourcedisksfiles ]\r\nz.sys=2\r\n[Strings]\r\ns.sys=1\r\n"
         "[SourceDisksFilesX]\r\nx2.sys=1\r\n", false, "",
         {"libusb0.sys", "LIBUSB0.SYS", "Wdf Co.dll", "caf\xC3\xA9.sys", "dot.sys", "z.sys"},
         {"x.sys", "y.sys", "s.sys", "x2.sys", "Wdf", "caf.sys", "libusb0", "no.sys"}},
        {"names in UTF-16LE", Utf16WithMark("[SourceDisksFiles]\r\nlibusb0.dll=1\r\n"), false, "",
         {"libusb0.dll"}, {"SourceDisksFiles"}},
        {"names after a UTF-8 mark", "\xEF\xBB\xBF[SourceDisksFiles]\r\nu8.sys=1\r\n", false, "",
         {"u8.sys"}},
        {"a name across the block edge", Filler(INF_READ_BLOCK - 30) + "[SourceDisksFiles]\r\n" +
         std::string(20, 'e') + ".sys=1\r\n", false, "", {std::string(20, 'e') + ".sys"}},
        {"the package's own names", MARKER + "\r\n[SourceDisksFiles]\r\nown.sys=1\r\n", true,
         "[SourceDisksFiles]\n", {}, {"own.sys"}},
        {"marker in no piece: every piece read", pad + MARKER + "\r\n[SourceDisksFiles]\r\n"
         "late.sys=1\r\n", false, "", {"late.sys"}},
    };
    for (const MarkerCase& c : cases) {
        PieceReader reader;
        std::unique_ptr<OtherPackageFiles> others(new OtherPackageFiles());
        bool found = OpenMarkedInf(TempInf(c.bytes).c_str(), &reader, others.get());
        EXPECT_EQ(c.found, found) << c.name;
        others->readAll = true;
        for (const std::string& name : c.listed)
            EXPECT_TRUE(OtherPackageMayList(others.get(), name.c_str())) << c.name << ": " << name;
        for (const std::string& name : c.unlisted)
            EXPECT_FALSE(OtherPackageMayList(others.get(), name.c_str())) << c.name << ": " << name;
        if (!found)
            continue;
        char piece[PIECE_SIZE] = "";
        EXPECT_EQ(c.nextPiece[0] != '\0', ReadPiece(&reader, piece)) << c.name;
        EXPECT_STREQ(c.nextPiece, piece) << c.name;
        fclose(reader.file);
    }
}

TEST(Pieces, MissingFileIsNoMatch)
{
    PieceReader reader;
    std::string absent = testing::TempDir() + "absent_" + std::to_string(getpid()) + ".inf";
    EXPECT_FALSE(OpenMarkedInf(absent.c_str(), &reader));
    std::unique_ptr<OtherPackageFiles> others(new OtherPackageFiles());
    EXPECT_FALSE(OpenMarkedInf(absent.c_str(), &reader, others.get()));
    EXPECT_TRUE(others->unreadable) << "its names are unknown";
}

static bool RawSearchFinds(const std::string& bytes)
{
    FILE* file = fopen(TempInf(bytes).c_str(), "rb");
    bool found = FileMayHoldText(file, MARKER.c_str());
    fclose(file);
    return found;
}

TEST(Pieces, RawSearchSeesTheMarkerAtEveryOffsetAcrossEachBlockEdge)
{
    EXPECT_TRUE(RawSearchFinds(MARKER));
    for (size_t edge : BLOCK_EDGES) {
        for (size_t start = edge - MARKER.size(); start <= edge; start++) {
            std::string bytes = std::string(start, 'a') + MARKER + "b";
            EXPECT_TRUE(RawSearchFinds(bytes)) << start;
            bytes[start + MARKER.size() / 2] = 'X';
            EXPECT_FALSE(RawSearchFinds(bytes)) << start;
        }
    }
}

TEST(Pieces, FileEntryIsAnyPieceHoldingEqualsOne)
{
    struct { const char* piece; bool entry; } cases[] = {
        {"camlynx.sys=1\n", true},  {"readme.txt=2\n", false}, {"camhelp.hlp = 1\n", false},
        {"DefaultDestDir=12\n", true}, {"Key=1abc\n", true},   {"camlynx.sys=1", true},
        {"", false},                {"=\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.entry, IsFileEntry(c.piece)) << c.piece;
}

static std::vector<std::string> entriesSeen;

TEST(Pieces, FileListRunsFromAfterTheMarkerToDestinationDirs)
{
    struct { const char* name; std::string bytes; PieceList entries; } cases[] = {
        {"package list",
         "Driver=1\r\n" + MARKER + "\r\na.sys=1\r\nb.txt=2\r\n[DestinationDirs]\r\nlate.sys=1\r\n",
         {"a.sys=1\n"}},
        {"end header that is an entry too", MARKER + "\r\n[DestinationDirs]=1\r\nx=1\r\n",
         {"[DestinationDirs]=1\n"}},
        {"no end header", MARKER + "\na=1\nb=12", {"a=1\n", "b=12"}},
        {"marker on the last line", "a=1\r\n" + MARKER, {}},
    };
    for (const auto& c : cases) {
        PieceReader reader;
        ASSERT_TRUE(OpenMarkedInf(TempInf(c.bytes).c_str(), &reader)) << c.name;
        entriesSeen.clear();
        ForEachFileEntry(&reader, [](const char* entry) { entriesSeen.push_back(entry); });
        fclose(reader.file);
        EXPECT_EQ(c.entries, entriesSeen) << c.name;
    }
}
