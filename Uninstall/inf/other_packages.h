// The file names other installed driver packages list: a name the package
// lists stays where another package needs the same file (libusb0.sys, a
// KMDF or WinUSB co-installer). Gathered from the bytes the OEM INF searches
// read anyway. Pure decisions: no Windows call, so they build and are tested
// natively too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "file_names.h"

// The names as a Bloom filter of 128 KiB, fixed however many packages the
// machine holds: it never misses a name it was given, and takes a name it
// was not given for one with a chance that grows with their number (about 1
// in 40,000 a name at 10,000 names). Such a mistake keeps a file; none
// deletes one.
inline constexpr uint32_t LISTED_NAME_BITS = 1u << 20;

struct OtherPackageFiles {
    uint64_t bits[LISTED_NAME_BITS / 64];
    // Every candidate up to readThrough has been read for its names;
    // readAll once every candidate has.
    OemInf readThrough;
    bool readAll;
    bool unreadable;  // a candidate could not be opened: readAll never comes
};

// The one set of the process, filled by the searches until readAll.
extern OtherPackageFiles otherPackageFiles;

// True unless every other OEM INF was read and none lists the name (the
// text before its "=1"). Names compare as Windows compares file names:
// without regard to ASCII case or to trailing blanks and dots; any run of
// non-ASCII characters equals any other, whatever its encoding.
bool OtherPackageMayList(const OtherPackageFiles* files, const char* name);

// A search that started after `after` and read every candidate above it up
// to stoppedAt, or to the last one when stoppedAt is null.
void NoteSearchRead(OtherPackageFiles* files, const OemInf& after, const OemInf* stoppedAt);

// A candidate the search could not open for its names.
void NoteUnreadable(OtherPackageFiles* files);

// A name as it is read: its hash, and that hash up to the last character
// a comparison keeps.
struct FoldedName {
    uint64_t hash;
    uint64_t kept;
    bool any;         // a character was kept
    bool inNonAscii;  // the last character taken was not ASCII
};

// One INF's bytes read for the names in its [SourceDisksFiles] sections,
// platform-decorated ones too ([SourceDisksFiles.amd64]): the text before
// "=", without surrounding blanks and double quotes; ";" outside quotes
// starts a comment. ANSI or UTF-8, or UTF-16LE after FF FE.
struct SourceFilesScan {
    OtherPackageFiles* files;
    bool begun;         // the byte-order mark, if any, is past
    bool utf16;
    int pendingByte;    // UTF-16: the low byte of a unit, or -1
    int state;
    bool inFileSection;
    int sectionMatched;  // characters of "sourcedisksfiles" read, 17 once blanks follow
    bool quoted;
    FoldedName name;
};

void StartSourceFilesScan(SourceFilesScan* scan, OtherPackageFiles* files);
// The file's bytes in order; the first call holds its first three bytes,
// or all of a shorter file, as a first block or a first line does.
void ScanSourceFiles(SourceFilesScan* scan, const unsigned char* bytes, size_t count);
