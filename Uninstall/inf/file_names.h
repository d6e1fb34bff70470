// Names and paths of the files the uninstaller reads and deletes: which
// files of the inf folder are OEM INF candidates and in what order, the names
// an INF lists, and the paths built from them. Pure decisions: no Windows
// call, so they build and are tested natively too.
#pragma once

#include <cstdint>

#include "package_identity.h"

// "oem4294967295.inf" and its terminator: the longest candidate name.
inline constexpr int OEM_INF_NAME_SIZE = 18;
// Candidates taken from one listing of the inf folder. A folder with more
// is listed again for the next ones, so memory stays fixed however many
// driver packages the machine has collected.
inline constexpr int OEM_INF_BATCH = 256;

struct OemInf {
    uint32_t number;
    char name[OEM_INF_NAME_SIZE];
};

// Ascending numbers; the name breaks a tie, which only a case-sensitive
// folder can hold (oem7.inf beside OEM7.inf). An empty name, which no
// candidate has, comes first.
bool Precedes(const OemInf& a, const OemInf& b);
// Comes before every candidate: a search after it starts with the lowest.
inline constexpr OemInf BEFORE_FIRST_OEM_INF = {0, ""};

// The lowest candidates of one listing that come after `last`, ascending.
struct OemInfBatch {
    OemInf candidates[OEM_INF_BATCH];
    int count;
    bool overflowed;  // a candidate was left out: another listing is needed
    OemInf last;
};

// The number in an OEM INF name as Windows writes it: "oem", the number in
// decimal without sign or leading zero (at most 4294967295), ".inf", in any
// letter case. False for any other name: OEM007.inf, OEM7.inf.bak, OEM4.infx.
bool OemInfNumber(const char* fileName, uint32_t* number);
void StartOemInfBatch(OemInfBatch* batch, const OemInf& after);
// Takes fileName into the batch when it is a candidate that belongs there.
void KeepOemInf(OemInfBatch* batch, const char* fileName);
// Readies the batch for the listing after it; false when it already held
// every remaining candidate.
bool NextOemInfBatch(OemInfBatch* batch);

// The name an entry lists: its line feed, if any, dropped, then the two
// characters of "=1" (or what stands in their place) dropped.
void CutListedName(const char* piece, char (&name)[PIECE_SIZE]);
// A name that can only denote a file directly inside the target folder.
bool IsSafeListedName(const char* name);
// The entry's listed name; false when it is not safe to delete.
bool SafeListedName(const char* entry, char (&name)[PIECE_SIZE]);
bool GoesToSysWow64(const char* lowercasedName);

// GetFileAttributesA's bits the deletion looks at, as winnt.h defines them.
inline constexpr uint32_t ATTRIBUTE_READONLY = 0x1;
inline constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t ATTRIBUTES_UNKNOWN = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES
// The attributes to give a path before DeleteFileA: a file's, without
// read-only. False for a folder, whose attributes are never changed (a
// listed name may name one), and for a name without attributes.
bool AttributesForDeletion(uint32_t attributes, uint32_t* forDeletion);

bool FormPnfPath(char (&pnfPath)[PATH_SIZE], const char* infPath);
// The file name part of a path: what follows its last backslash.
const char* InfFileName(const char* infPath);
