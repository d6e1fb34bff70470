#include "other_packages.h"

#include <cstring>

#include "text.h"

enum ScanState { LINE_START, SECTION_NAME, ENTRY_NAME, REST_OF_LINE };

static constexpr char FILE_SECTION[] = "sourcedisksfiles";
static constexpr int FILE_SECTION_LENGTH = sizeof FILE_SECTION - 1;
static constexpr unsigned char NON_ASCII = 0x80;

static constexpr uint64_t FNV_OFFSET_BASIS = 14695981039346656037ull;
static constexpr uint64_t FNV_PRIME = 1099511628211ull;

static void StartName(FoldedName* name)
{
    name->hash = FNV_OFFSET_BASIS;
    name->kept = FNV_OFFSET_BASIS;
    name->any = false;
    name->inNonAscii = false;
}

// Takes c into the name's FNV-1a hash as names are compared: ASCII letters
// lowercased, a run of non-ASCII characters (one ANSI byte, two or more
// UTF-8 bytes, one UTF-16 unit each) as one NON_ASCII. Windows drops
// trailing spaces and dots from a file name, INF syntax trailing blanks:
// kept is the hash up to the last character that is none of them.
static inline void FoldInto(FoldedName* name, unsigned char c)
{
    if (c >= NON_ASCII) {
        if (name->inNonAscii)
            return;
        name->inNonAscii = true;
        c = NON_ASCII;
    } else {
        name->inNonAscii = false;
    }
    name->hash = (name->hash ^ static_cast<unsigned char>(LowercaseAsciiChar(static_cast<char>(c)))) *
                 FNV_PRIME;
    if (c > '.' || (c != ' ' && c != '\t' && c != '\r' && c != '.')) {
        name->kept = name->hash;
        name->any = true;
    }
}

// SplitMix64's finaliser, so that each 20-bit slice of the hash is one
// well-mixed bit index.
static uint64_t Mixed(uint64_t hash)
{
    hash = (hash ^ (hash >> 30)) * 0xbf58476d1ce4e5b9ull;
    hash = (hash ^ (hash >> 27)) * 0x94d049bb133111ebull;
    return hash ^ (hash >> 31);
}

static constexpr int HASHES_PER_NAME = 3;

// One of a name's bits: its word in the filter and its mask there.
struct NameBit {
    uint32_t word;
    uint64_t mask;
};

static NameBit BitOf(uint64_t mixed, int which)
{
    uint32_t index = static_cast<uint32_t>(mixed >> (20 * which)) & (LISTED_NAME_BITS - 1);
    return {index / 64, uint64_t{1} << (index % 64)};
}

static void AddName(OtherPackageFiles* files, const FoldedName* name)
{
    if (!name->any)
        return;
    uint64_t hash = Mixed(name->kept);
    for (int i = 0; i < HASHES_PER_NAME; i++) {
        NameBit bit = BitOf(hash, i);
        files->bits[bit.word] |= bit.mask;
    }
}

bool OtherPackageMayList(const OtherPackageFiles* files, const char* name)
{
    if (!files->readAll)
        return true;  // a package not read may list it
    FoldedName folded;
    StartName(&folded);
    for (const char* c = name; *c != '\0'; c++)
        FoldInto(&folded, static_cast<unsigned char>(*c));
    uint64_t hash = Mixed(folded.kept);
    for (int i = 0; i < HASHES_PER_NAME; i++) {
        NameBit bit = BitOf(hash, i);
        if ((files->bits[bit.word] & bit.mask) == 0)
            return false;
    }
    return true;
}

void NoteSearchRead(OtherPackageFiles* files, const OemInf& after, const OemInf* stoppedAt)
{
    if (Precedes(files->readThrough, after))
        return;  // a candidate below `after` may not have been read
    if (stoppedAt == nullptr)
        files->readAll = !files->unreadable;
    else if (Precedes(files->readThrough, *stoppedAt))
        files->readThrough = *stoppedAt;
}

void NoteUnreadable(OtherPackageFiles* files)
{
    files->unreadable = true;
}

void StartSourceFilesScan(SourceFilesScan* scan, OtherPackageFiles* files)
{
    scan->files = files;
    scan->begun = false;
    scan->utf16 = false;
    scan->pendingByte = -1;
    scan->state = LINE_START;
    scan->inFileSection = false;
    scan->sectionMatched = 0;
    scan->quoted = false;
    StartName(&scan->name);
}

static inline bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

using Text = const unsigned char*;

// The first `byte` from at on, or end: memchr, eight bytes at a time.
// Wine's msvcrt compares one byte at a time, and this search runs over
// nearly every byte of every OEM INF.
static Text FindByte(Text at, Text end, unsigned char byte)
{
    constexpr uint64_t ONES = 0x0101010101010101ull;
    constexpr uint64_t HIGHS = 0x8080808080808080ull;
    const uint64_t pattern = ONES * byte;
    for (; end - at >= 8; at += 8) {
        uint64_t word;
        memcpy(&word, at, sizeof word);
        word ^= pattern;  // a zero byte where `byte` stands
        if (((word - ONES) & ~word & HIGHS) != 0)
            break;
    }
    while (at < end && *at != byte)
        at++;
    return at;
}

// The scan takes a line's characters a state at a time: each step below
// consumes what belongs to its state and returns where the next begins.
static Text StartSectionName(SourceFilesScan* scan, Text bracket)
{
    scan->state = SECTION_NAME;
    scan->sectionMatched = 0;
    return bracket + 1;
}

static Text TakeLineStart(SourceFilesScan* scan, Text at, Text end)
{
    while (at < end && IsBlank(*at))
        at++;
    if (at == end)
        return at;
    if (*at == '[')
        return StartSectionName(scan, at);
    if (*at == '\n')
        return at + 1;
    if (*at == ';' || !scan->inFileSection) {
        scan->state = REST_OF_LINE;
        return at;
    }
    scan->state = ENTRY_NAME;
    scan->quoted = false;
    StartName(&scan->name);
    return at;
}

// Leaves the header: the section is a file section or not; a "[" starts
// a new section whatever follows it.
static Text EndSectionName(SourceFilesScan* scan, Text at, bool fileSection)
{
    scan->inFileSection = fileSection;
    scan->state = *at == '\n' ? LINE_START : REST_OF_LINE;
    return at + 1;
}

// [SourceDisksFiles] or [SourceDisksFiles.<anything>], in any letter case,
// blanks inside the brackets aside; matched as it is read, so that any other
// header is left at its first differing character.
static Text TakeSectionName(SourceFilesScan* scan, Text at, Text end)
{
    // Its letters at once where they lie in this block: a letter with bit
    // 0x20 set is its lowercase, and no other character is.
    if (scan->sectionMatched == 0 && end - at > FILE_SECTION_LENGTH && !IsBlank(*at)) {
        uint64_t read[2], sought[2];
        memcpy(read, at, sizeof read);
        memcpy(sought, FILE_SECTION, sizeof sought);
        if (((read[0] | 0x2020202020202020ull) != sought[0]) ||
            ((read[1] | 0x2020202020202020ull) != sought[1]))
            return EndSectionName(scan, at, false);
        scan->sectionMatched = FILE_SECTION_LENGTH;
        at += FILE_SECTION_LENGTH;
    }
    for (; at < end; at++) {
        unsigned char c = *at;
        int matched = scan->sectionMatched;
        if (IsBlank(c)) {
            if (matched == FILE_SECTION_LENGTH)
                scan->sectionMatched = FILE_SECTION_LENGTH + 1;  // trailing blanks
            else if (matched > 0 && matched < FILE_SECTION_LENGTH)
                return EndSectionName(scan, at, false);
        } else if (matched < FILE_SECTION_LENGTH &&
                   LowercaseAsciiChar(static_cast<char>(c)) == FILE_SECTION[matched]) {
            scan->sectionMatched++;
        } else {
            return EndSectionName(scan, at, c == ']' ? matched >= FILE_SECTION_LENGTH
                                                     : c == '.' && matched == FILE_SECTION_LENGTH);
        }
    }
    return at;
}

// Every double quote opens or closes a quoted part and is dropped: a file
// name cannot hold one. A ";" before any "=" starts a comment: no entry.
static Text TakeEntryName(SourceFilesScan* scan, Text at, Text end)
{
    FoldedName name = scan->name;  // held in registers through the loop
    bool quoted = scan->quoted;
    for (; at < end; at++) {
        unsigned char c = *at;
        if (c <= '=') {  // every character with a part in INF syntax
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            if (c == '\n' || (!quoted && (c == '=' || c == ';')))
                break;
        }
        FoldInto(&name, c);
    }
    scan->name = name;
    scan->quoted = quoted;
    if (at == end)
        return at;
    if (*at == '=')
        AddName(scan->files, &name);
    scan->state = *at == '\n' ? LINE_START : REST_OF_LINE;
    return at + 1;
}

// Skips a byte-order mark: FF FE marks UTF-16LE, EF BB BF UTF-8.
static size_t ByteOrderMark(SourceFilesScan* scan, const unsigned char* bytes, size_t count)
{
    scan->begun = true;
    if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        scan->utf16 = true;
        return 2;
    }
    return count >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

// Outside a file section only a header matters: a "[" that nothing but
// blanks separates from the line feed before it. The scan stands on a line
// that already holds something else.
static Text SkipToSection(SourceFilesScan* scan, Text at, Text end)
{
    Text lineHeld = at;
    for (;;) {
        Text bracket = FindByte(at, end, '[');
        Text back = bracket;
        while (back > lineHeld && IsBlank(back[-1]))
            back--;
        bool lineStart = back > lineHeld && back[-1] == '\n';
        if (bracket == end) {
            if (lineStart)
                scan->state = LINE_START;
            return end;
        }
        if (lineStart)
            return StartSectionName(scan, bracket);
        at = bracket + 1;
    }
}

// LF ends a line; CR is a blank, as in SetupAPI's reading.
static void ScanText(SourceFilesScan* scan, Text at, size_t count)
{
    Text end = at + count;
    while (at < end) {
        if (scan->state == LINE_START) {
            at = TakeLineStart(scan, at, end);
        } else if (scan->state == SECTION_NAME) {
            at = TakeSectionName(scan, at, end);
        } else if (scan->state == ENTRY_NAME) {
            at = TakeEntryName(scan, at, end);
        } else if (!scan->inFileSection) {
            at = SkipToSection(scan, at, end);
        } else {
            at = FindByte(at, end, '\n');
            if (at == end)
                return;
            at++;
            scan->state = LINE_START;
        }
    }
}

// UTF-16 units as one character each: ASCII as it is, any other as NON_ASCII.
static void ScanUtf16(SourceFilesScan* scan, const unsigned char* bytes, size_t count)
{
    unsigned char text[PIECE_SIZE];
    size_t length = 0;
    for (size_t at = 0; at < count; at++) {
        if (scan->pendingByte < 0) {
            scan->pendingByte = bytes[at];
            continue;
        }
        unsigned unit = static_cast<unsigned>(scan->pendingByte) | bytes[at] << 8;
        scan->pendingByte = -1;
        text[length++] = unit < NON_ASCII ? static_cast<unsigned char>(unit) : NON_ASCII;
        if (length == sizeof text) {
            ScanText(scan, text, length);
            length = 0;
        }
    }
    if (length > 0)
        ScanText(scan, text, length);
}

void ScanSourceFiles(SourceFilesScan* scan, const unsigned char* bytes, size_t count)
{
    size_t at = scan->begun ? 0 : ByteOrderMark(scan, bytes, count);
    if (scan->utf16)
        ScanUtf16(scan, bytes + at, count - at);
    else
        ScanText(scan, bytes + at, count - at);
}
