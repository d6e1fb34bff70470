#include "inf_text.h"

#include <cstring>

static constexpr int TEXT_END = 0x1A;  // Ctrl-Z: the runtime's text mode stops here

void StartPieces(PieceReader* reader, FILE* file)
{
    reader->file = file;
    reader->next = 0;
    reader->filled = 0;
    reader->ended = false;
}

static int NextByte(PieceReader* reader)
{
    if (reader->next == reader->filled) {
        reader->filled = fread(reader->block, 1, sizeof reader->block, reader->file);
        reader->next = 0;
        if (reader->filled == 0)
            return EOF;  // end of file or a read error: both end the text
    }
    return reader->block[reader->next++];
}

static int NextTextChar(PieceReader* reader)
{
    if (reader->ended)
        return EOF;
    int c = NextByte(reader);
    if (c == EOF || c == TEXT_END) {
        reader->ended = true;
        return EOF;
    }
    if (c == '\r') {
        int following = NextByte(reader);
        if (following == '\n')
            return '\n';
        if (following != EOF)
            reader->next--;  // a lone CR stays; its successor is read next
    }
    return c;
}

bool ReadPiece(PieceReader* reader, char (&piece)[PIECE_SIZE])
{
    int length = 0;
    while (length < PIECE_SIZE - 1) {
        int c = NextTextChar(reader);
        if (c == EOF)
            break;
        piece[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    piece[length] = '\0';
    return length > 0;
}

static bool BytesContain(const unsigned char* bytes, size_t count, const char* text,
                         size_t textLength)
{
    const unsigned char* end = bytes + count;
    const unsigned char* at = bytes;
    while (static_cast<size_t>(end - at) >= textLength) {
        const void* first = memchr(at, text[0], end - at - textLength + 1);
        if (first == nullptr)
            return false;
        at = static_cast<const unsigned char*>(first);
        if (memcmp(at, text, textLength) == 0)
            return true;
        at++;
    }
    return false;
}

bool FileMayHoldText(FILE* file, const char* text, SourceFilesScan* scan)
{
    // Each block is searched together with the last textLength - 1 bytes of
    // the one before, so a match across a block edge is still seen.
    unsigned char window[LONGEST_SOUGHT_TEXT - 1 + INF_READ_BLOCK];
    size_t textLength = strlen(text);
    if (textLength == 0 || textLength > LONGEST_SOUGHT_TEXT)
        return true;
    size_t kept = 0;
    for (;;) {
        size_t got = fread(window + kept, 1, INF_READ_BLOCK, file);
        if (got == 0)
            return false;
        size_t total = kept + got;
        if (BytesContain(window, total, text, textLength))
            return true;
        if (scan != nullptr)
            ScanSourceFiles(scan, window + kept, got);
        kept = total < textLength - 1 ? total : textLength - 1;
        memmove(window, window + total - kept, kept);
    }
}

bool FindMarker(FILE* file, PieceReader* reader, OtherPackageFiles* others)
{
    SourceFilesScan scan;
    StartSourceFilesScan(&scan, others);
    SourceFilesScan* names = others != nullptr ? &scan : nullptr;
    if (!FileMayHoldText(file, CATALOG_MARKER, names) || fseek(file, 0, SEEK_SET) != 0)
        return false;
    // The bytes hold the marker, but perhaps in no piece: the pieces read up
    // to the marker's are scanned afresh, so such a file is scanned whole.
    if (names != nullptr)
        StartSourceFilesScan(names, others);
    StartPieces(reader, file);
    char piece[PIECE_SIZE];
    while (ReadPiece(reader, piece)) {
        if (ContainsText(piece, CATALOG_MARKER))
            return true;
        if (names != nullptr)
            ScanSourceFiles(names, reinterpret_cast<unsigned char*>(piece), strlen(piece));
    }
    return false;
}

bool OpenMarkedInf(const char* path, PieceReader* reader, OtherPackageFiles* others,
                   bool* unopened)
{
    FILE* file = fopen(path, "rb");
    if (unopened != nullptr)
        *unopened = file == nullptr;
    if (file == nullptr) {
        // Held without read sharing, or denied: its names stay unknown.
        if (others != nullptr)
            NoteUnreadable(others);
        return false;
    }
    if (FindMarker(file, reader, others))
        return true;
    (void)fclose(file);  // closing a read stream loses nothing
    return false;
}

void ForEachFileEntry(PieceReader* reader, void (*onEntry)(const char* entry))
{
    char piece[PIECE_SIZE];
    while (ReadPiece(reader, piece)) {
        if (IsFileEntry(piece))
            onEntry(piece);
        if (ContainsText(piece, FILE_LIST_END))
            return;
    }
}

bool IsFileEntry(const char* piece)
{
    return ContainsText(piece, FILE_ENTRY_MARK);
}
