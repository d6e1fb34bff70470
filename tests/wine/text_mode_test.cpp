// The line-piece reader against the C runtime's own text mode on Windows:
// for each input, the pieces read from the file opened "rb" must equal what
// fgets(piece, 256, file) delivers from the same file opened "r".
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "inf_text.h"

static const char* const SAMPLE_PATH = "C:\\windows\\temp\\pieces.inf";

static void Write(const std::string& bytes)
{
    FILE* file = fopen(SAMPLE_PATH, "wb");
    ASSERT_NE(nullptr, file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

// Pieces compared with their length, so embedded NUL bytes count as fgets
// leaves them: up to the first NUL.
static std::vector<std::string> RuntimeTextPieces()
{
    std::vector<std::string> pieces;
    FILE* file = fopen(SAMPLE_PATH, "r");
    char piece[PIECE_SIZE];
    while (fgets(piece, sizeof piece, file) != nullptr)
        pieces.push_back(piece);
    fclose(file);
    return pieces;
}

static std::vector<std::string> ReaderPieces()
{
    std::vector<std::string> pieces;
    FILE* file = fopen(SAMPLE_PATH, "rb");
    PieceReader reader;
    StartPieces(&reader, file);
    char piece[PIECE_SIZE];
    while (ReadPiece(&reader, piece))
        pieces.push_back(piece);
    fclose(file);
    return pieces;
}

TEST(TextMode, ReaderMatchesTheRuntimeOnCraftedInputs)
{
    const std::string x255(255, 'x');
    std::string block(INF_READ_BLOCK - 1, 'b');  // the reader's block edge next
    const std::string inputs[] = {
        "a=1\r\nb=1\r\n", "a\rb\r\n", "a\r\r\n", "a\r", "\r", "\r\n", "\n\n",
        "a\x1a" "b\r\n", "\x1a", "a\r\x1a" "b", x255 + "\r\n", x255 + "yz\r\n",
        x255 + "\r" + "\n", std::string(1000, 'q'), block + "\r\nz\r\n", block + "\r", block + "\x1a",
        std::string(2 * INF_READ_BLOCK - 1, 'c') + "\r\nend\r\n", "",
    };
    for (const std::string& input : inputs) {
        Write(input);
        EXPECT_EQ(RuntimeTextPieces(), ReaderPieces()) << input.size() << " bytes";
    }
}

TEST(TextMode, ReaderMatchesTheRuntimeOnRandomInputs)
{
    // Bytes drawn mostly from the ones text mode treats specially.
    const char alphabet[] = {'a', '=', '1', '\r', '\n', '\x1a', 'C'};
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; round++) {
        std::string input(random() % 1200, ' ');
        for (char& c : input)
            c = alphabet[random() % sizeof alphabet];
        if (round % 3 == 0)  // Ctrl-Z rarely, so longer texts get through
            for (char& c : input)
                c = c == '\x1a' ? 'z' : c;
        Write(input);
        ASSERT_EQ(RuntimeTextPieces(), ReaderPieces()) << "round " << round;
    }
}
