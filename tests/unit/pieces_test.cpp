// Reading INF text in line pieces with the C runtime's text-mode rules, and
// finding the package's INF by its marker.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "inf_text.h"

static std::string WriteTemp(const std::string& bytes)
{
    static int serial = 0;
    std::string path = testing::TempDir() + "pieces_" + std::to_string(serial++) + ".inf";
    FILE* file = fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    return path;
}

static std::vector<std::string> Pieces(const std::string& bytes)
{
    std::vector<std::string> pieces;
    FILE* file = fopen(WriteTemp(bytes).c_str(), "rb");
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

TEST(Pieces, CrLfSplitAcrossReadBlocksStillJoins)
{
    // The reader fills 16 KiB at a time; put CR and LF on either side.
    std::string bytes;
    while (bytes.size() < sizeof(PieceReader::block) - 1)
        bytes += std::string(99, 'a') + "\n";
    bytes.resize(sizeof(PieceReader::block) - 1);
    bytes += "\r\nlast\n";
    std::string text;
    for (const std::string& piece : Pieces(bytes))
        text += piece;
    std::string expected = bytes.substr(0, bytes.size() - 7) + "\nlast\n";
    EXPECT_EQ(expected, text);
}

static const std::string MARKER = "CatalogFile.ntx86=camlynx.cat";

struct MarkerCase {
    const char* name;
    std::string bytes;
    bool found;
    const char* nextPiece;  // first piece after the marker's, "" for end of file
};

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
    };
    for (const MarkerCase& c : cases) {
        PieceReader reader;
        bool found = OpenMarkedInf(WriteTemp(c.bytes).c_str(), &reader);
        EXPECT_EQ(c.found, found) << c.name;
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
    EXPECT_FALSE(OpenMarkedInf((testing::TempDir() + "absent.inf").c_str(), &reader));
}

TEST(Pieces, RawSearchSeesTextAcrossBlockBoundaries)
{
    for (size_t before : {size_t(0), size_t(16384 - 10), size_t(16384), size_t(40000)}) {
        std::string bytes = std::string(before, 'a') + MARKER + "b";
        FILE* file = fopen(WriteTemp(bytes).c_str(), "rb");
        EXPECT_TRUE(FileMayHoldText(file, MARKER.c_str())) << before;
        fclose(file);
        bytes[before + 3] = 'X';
        file = fopen(WriteTemp(bytes).c_str(), "rb");
        EXPECT_FALSE(FileMayHoldText(file, MARKER.c_str())) << before;
        fclose(file);
    }
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
        ASSERT_TRUE(OpenMarkedInf(WriteTemp(c.bytes).c_str(), &reader)) << c.name;
        entriesSeen.clear();
        ForEachFileEntry(&reader, [](const char* entry) { entriesSeen.push_back(entry); });
        fclose(reader.file);
        EXPECT_EQ(c.entries, entriesSeen) << c.name;
    }
}
