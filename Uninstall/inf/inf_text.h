// How the uninstaller reads INF text and which of its lines name driver files.
// Pure decisions: no Windows call, so they build and are tested natively too.
#pragma once

#include <cstddef>
#include <cstdio>

#include "other_packages.h"
#include "package_identity.h"
#include "text.h"

// The raw pre-check and the piece reader both read a file in blocks of this
// size, so their block edges fall at the same offsets.
inline constexpr size_t INF_READ_BLOCK = 16384;
// The longest text FileMayHoldText looks for.
inline constexpr size_t LONGEST_SOUGHT_TEXT = 64;

// Line pieces of a file opened in binary mode, delivered with the C runtime's
// text-mode rules: CR LF arrives as LF, a lone CR arrives unchanged, and byte
// 0x1A ends the text. A piece ends after its first LF (kept), after 255
// characters, or at the end of the text. Reading in large blocks instead of
// through the runtime's per-character text mode keeps the three searches of
// up to 101 OEM INF files cheap.
struct PieceReader {
    FILE* file;
    size_t next;
    size_t filled;
    bool ended;
    unsigned char block[INF_READ_BLOCK];
};

void StartPieces(PieceReader* reader, FILE* file);
// Fills piece with the next piece; false once the text has ended (a read
// error counts as the end) and on every later call.
bool ReadPiece(PieceReader* reader, char (&piece)[PIECE_SIZE]);
// True when the file's raw bytes, read from where the stream stands to its
// end, contain text. Text without CR, LF or 0x1A that is absent from the raw
// bytes is absent from every piece too: text-mode delivery only drops a CR
// before an LF and cuts the text short, so it never joins separate bytes.
// The blocks read before the one that holds text go to scan, when given.
bool FileMayHoldText(FILE* file, const char* text, SourceFilesScan* scan = nullptr);

// Reads the stream's pieces until one holds CATALOG_MARKER, and leaves the
// reader after that piece; false when no piece does. The stream stays open.
// The names a file without the marker lists go to others, when given.
bool FindMarker(FILE* file, PieceReader* reader, OtherPackageFiles* others = nullptr);
// Opens path and looks for the marker in it. On success the reader's stream
// stays open, positioned after the marker's piece, for the caller to read on
// and close; otherwise the file is closed. *unopened, when given, tells
// whether the file could not be opened at all.
bool OpenMarkedInf(const char* path, PieceReader* reader, OtherPackageFiles* others = nullptr,
                   bool* unopened = nullptr);

// Reads the rest of the package INF and hands each file-list entry to
// onEntry, up to the piece that holds the file-list end.
void ForEachFileEntry(PieceReader* reader, void (*onEntry)(const char* entry));

bool IsFileEntry(const char* piece);
