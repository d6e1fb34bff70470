#include "inf_text.h"

#include <algorithm>
#include <cstring>
#include <iterator>

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

bool FileMayHoldText(FILE* file, const char* text)
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
        kept = total < textLength - 1 ? total : textLength - 1;
        memmove(window, window + total - kept, kept);
    }
}

bool FindMarker(FILE* file, PieceReader* reader)
{
    if (!FileMayHoldText(file, CATALOG_MARKER) || fseek(file, 0, SEEK_SET) != 0)
        return false;
    StartPieces(reader, file);
    char piece[PIECE_SIZE];
    while (ReadPiece(reader, piece)) {
        if (ContainsText(piece, CATALOG_MARKER))
            return true;
    }
    return false;
}

bool OpenMarkedInf(const char* path, PieceReader* reader)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return false;
    if (FindMarker(file, reader))
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

void CutListedName(const char* piece, char (&name)[PIECE_SIZE])
{
    size_t length = strnlen(piece, PIECE_SIZE - 1);
    if (length > 0 && piece[length - 1] == '\n')
        length--;
    length = length >= 2 ? length - 2 : 0;
    memcpy(name, piece, length);
    name[length] = '\0';
}

bool IsSafeListedName(const char* name)
{
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    return strpbrk(name, "\\/:") == nullptr;
}

bool SafeListedName(const char* entry, char (&name)[PIECE_SIZE])
{
    CutListedName(entry, name);
    return IsSafeListedName(name);
}

bool GoesToSysWow64(const char* lowercasedName)
{
    return std::any_of(std::begin(WOW64_EXTENSIONS), std::end(WOW64_EXTENSIONS),
                       [lowercasedName](const char* extension) {
                           return ContainsText(lowercasedName, extension);
                       });
}

// Judges snprintf's result: the whole path fitted, or it is emptied.
static bool Fitted(char (&path)[PATH_SIZE], int length)
{
    if (length >= 0 && length < PATH_SIZE)
        return true;
    path[0] = '\0';
    return false;
}

bool FormatPath(char (&path)[PATH_SIZE], const char* format, const char* directory,
                const char* name)
{
    return Fitted(path, snprintf(path, PATH_SIZE, format, directory, name));
}

bool FormatOemInfPath(char (&path)[PATH_SIZE], const char* windowsDirectory, int number)
{
    return Fitted(path, snprintf(path, PATH_SIZE, OEM_INF_FORMAT, windowsDirectory, number));
}

bool FormPnfPath(char (&pnfPath)[PATH_SIZE], const char* infPath)
{
    size_t length = strnlen(infPath, PATH_SIZE);
    if (length < 3 || length >= PATH_SIZE)
        return false;
    memcpy(pnfPath, infPath, length - 3);
    memcpy(pnfPath + length - 3, PNF_SUFFIX, 3);
    pnfPath[length] = '\0';
    return true;
}

const char* InfFileName(const char* infPath)
{
    const char* lastSeparator = strrchr(infPath, '\\');
    return lastSeparator != nullptr ? lastSeparator + 1 : infPath;
}
