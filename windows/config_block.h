// The config block of the running executable: read once at start-up, then looked up by key.
// Lookups never fail: a missing key reads as empty text, 0 or false.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/config_format.h"
#include "windows/base/handles.h"

// Reads the block of file (the executable's own) into the tables, logging the header fields;
// returns the failure (None when the tables are complete). The caller ends the process with
// readFailureText on a failure.
ReadError readConfigBlock(HANDLE file);

// The executable's own file for reading: while lockOwnExecutable's hold lasts, a duplicate of that
// handle (the same file, whatever now stands at its path); before, a plain open by path. Empty
// (after logging "Could not open ...") when neither works: the caller ends the process with
// kOwnFileNotOpened.
unique_file openOwnExecutable();
constexpr const wchar_t* kOwnFileNotOpened = L"Error opening media file.";
// Holds the executable's own file open with read-only sharing until unlockOwnExecutable: meanwhile
// no other process can write, rename, replace or delete it, so the config block, the integrity
// check and the extraction all read the same bytes. Returns the system error (0 when locked),
// for example a sharing violation when another process has the file open for writing.
DWORD lockOwnExecutable();
void unlockOwnExecutable();
// Positions file at the start of the config block (the overlay rule), logging the header fields;
// returns the failure.
ReadError seekToConfigBlock(HANDLE file);
// The fatal text of a failed read ("Internal Error: ..."), after logging the failing field's detail.
std::wstring readFailureText(const ReadError& error);

// Copies at most capacity - 1 bytes and terminates; returns the bytes copied; logs truncation.
size_t configString(int32_t key, char* buffer, size_t capacity);
// The whole value (empty when missing).
std::string configStringDup(int32_t key);
// The value read as a signed decimal number (leading part, as by strtol); 0 when missing.
int32_t configInt(int32_t key);
// configInt(key) != 0.
bool configFlag(int32_t key);
// The value widened byte by byte into buffer (at most capacity - 1 characters); returns the count.
size_t configWString(int32_t key, wchar_t* buffer, size_t capacity);
// The message table's text (empty when missing), at most 5999 characters.
std::wstring messageString(int32_t key);
// messageString, or the config string of the same key widened when that is empty.
std::wstring messageText(int32_t key);

// File offset of the payload (just after the last language set).
uint64_t payloadStart();
// The user's language (two letters) and country (empty when none), chosen while reading.
std::string userLanguage();
std::string userCountry();

// Replaces the tables with block (tests only; the launcher reads them once with readConfigBlock).
void useConfigBlock(const ConfigBlock& block);
