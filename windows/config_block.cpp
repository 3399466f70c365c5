#include "windows/config_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/config_format.h"
#include "core/config_keys.h"
#include "core/language_table.h"
#include "core/text.h"
#include "windows/language.h"
#include "windows/launcher_state.h"
#include "windows/base/wide_text.h"
#include "windows/native_log.h"
#include "windows/temp_dirs.h"

namespace {

constexpr size_t kTextCapacity = 6000;  // the launcher's path and message buffers

struct Tables {
    ConfigBlock block;
    std::string language = "en";
    std::string country;
};

Tables& tables()
{
    static Tables* instance = new Tables();
    return *instance;
}

ByteSource fileByteSource(HANDLE file)
{
    ByteSource source;
    source.read = [file](void* buffer, size_t size, uint32_t* systemError) -> size_t {
        size_t total = 0;
        while (total < size) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
            DWORD got = 0;
            if (!::ReadFile(file, static_cast<char*>(buffer) + total, chunk, &got, nullptr)) {
                *systemError = ::GetLastError();
                break;
            }
            if (got == 0) break;
            total += got;
        }
        return total;
    };
    source.seek = [file](uint64_t offset, uint32_t* systemError) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (::SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return true;
        *systemError = ::GetLastError();
        return false;
    };
    source.tell = [file]() -> uint64_t {
        LARGE_INTEGER zero{}, position{};
        ::SetFilePointerEx(file, zero, &position, FILE_CURRENT);
        return static_cast<uint64_t>(position.QuadPart);
    };
    return source;
}

void logOverlay(const OverlayLocation& location)
{
    logInfo(L"number of sections: %d", location.sectionCount);
    logInfo(L"size of optional headers: %d", location.optionalHeaderSize);
    logInfo(L"resSectionTableStart: %d", static_cast<int>(location.lastSectionEntry));
    logInfo(L"rawDataSize: %d, rawDataOffset: %d", static_cast<int>(location.rawDataSize),
            static_cast<int>(location.rawDataOffset));
}

// Read access always, so the integrity check and the extraction can open the file while it is locked.
unique_file openOwnFile(DWORD sharing)
{
    return unique_file(::CreateFileW(executablePathWide().c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

unique_file& ownExecutableLock()
{
    static unique_file lock;
    return lock;
}

}  // namespace

unique_file openOwnExecutable()
{
    // While the lock is held every reader goes through it: a file renamed away and replaced at the
    // path after the start is never read. A duplicate shares the lock's file position, so each
    // reader seeks before it reads.
    unique_file file;
    if (const unique_file& lock = ownExecutableLock()) {
        if (!::DuplicateHandle(::GetCurrentProcess(), lock.get(), ::GetCurrentProcess(), file.put(), 0, FALSE,
                               DUPLICATE_SAME_ACCESS))
            file.reset();
    } else {
        file = openOwnFile(FILE_SHARE_READ | FILE_SHARE_WRITE);
    }
    if (!file) {
        DWORD error = ::GetLastError();
        logError(L"Could not open %p %d %s", file.get(), static_cast<int>(error), executablePathWide().c_str());
    }
    return file;
}

DWORD lockOwnExecutable()
{
    unique_file& lock = ownExecutableLock();
    if (lock) return 0;
    lock = openOwnFile(FILE_SHARE_READ);
    return lock ? 0 : ::GetLastError();
}

void unlockOwnExecutable() { ownExecutableLock().reset(); }

ReadError seekToConfigBlock(HANDLE file)
{
    ByteSource source = fileByteSource(file);
    OverlayLocation location;
    ReadError error = locateOverlay(source, location);
    logOverlay(location);
    return error;
}

std::wstring readFailureText(const ReadError& error)
{
    switch (error.failure) {
    case ReadFailure::Magic:
        return L"Internal Error: magic";
    case ReadFailure::ReadLong:
        logInfo(L"error %d\n", static_cast<int>(error.systemError));
        return L"Internal Error: readLong";
    case ReadFailure::ReadShort:
        logInfo(L"error %d\n", static_cast<int>(error.systemError));
        return L"Internal Error: readShort";
    case ReadFailure::ReadString:
        return L"Internal Error: readString";
    case ReadFailure::ReadWString:
        return L"Internal Error: readWString";
    case ReadFailure::ReadInt:
    case ReadFailure::Seek:
    case ReadFailure::None:
        break;
    }
    logInfo(L"error %d %d\n", static_cast<int>(error.systemError), static_cast<int>(error.bytesRead));
    return L"Internal Error: readInt";
}

ReadError readConfigBlock(HANDLE file)
{
    ReadError error = seekToConfigBlock(file);
    if (error.failure != ReadFailure::None) return error;
    ByteSource source = fileByteSource(file);
    Tables& state = tables();
    auto chooseLanguage = [&state]() {
        std::string code = selectLanguage(&launcherState().arguments);
        state.language = localeLanguage(code);
        state.country = localeCountry(code);
        return code;
    };
    error = parseConfigBlock(source, chooseLanguage, false, state.block);
    if (error.failure == ReadFailure::None) launcherState().longTempPaths = configFlag(keys::kLongTempPaths);
    return error;
}

void useConfigBlock(const ConfigBlock& block)
{
    tables().block = block;
    launcherState().longTempPaths = configFlag(keys::kLongTempPaths);
}

size_t configString(int32_t key, char* buffer, size_t capacity)
{
    if (capacity == 0) return 0;
    const auto& strings = tables().block.strings;
    auto found = strings.find(key);
    if (found == strings.end()) {
        buffer[0] = '\0';
        return 0;
    }
    const std::string& value = found->second;
    size_t count = std::min(value.size(), capacity - 1);
    std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    if (count < value.size()) {
        logInfo(L"ERROR: config string %d truncated (%d %d)", static_cast<int>(key), static_cast<int>(capacity),
                static_cast<int>(value.size()));
    }
    return count;
}

std::string configStringDup(int32_t key)
{
    const auto& strings = tables().block.strings;
    auto found = strings.find(key);
    return found == strings.end() ? std::string() : found->second;
}

int32_t configInt(int32_t key)
{
    char copy[kTextCapacity];
    configString(key, copy, sizeof copy);
    return static_cast<int32_t>(std::strtol(copy, nullptr, 10));
}

bool configFlag(int32_t key) { return configInt(key) != 0; }

size_t configWString(int32_t key, wchar_t* buffer, size_t capacity)
{
    if (capacity == 0) return 0;
    std::u16string wide = widenBytes(configStringDup(key));
    size_t count = std::min(wide.size(), capacity - 1);
    std::copy(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(count), buffer);
    buffer[count] = L'\0';
    return count;
}

std::wstring messageString(int32_t key)
{
    const auto& messageTable = tables().block.messages;
    auto found = messageTable.find(key);
    if (found == messageTable.end()) return {};
    std::wstring text = toWide(found->second);
    if (text.size() >= kTextCapacity) text.resize(kTextCapacity - 1);
    return text;
}

std::wstring messageText(int32_t key)
{
    std::wstring text = messageString(key);
    if (!text.empty()) return text;
    std::wstring buffer(kTextCapacity, L'\0');
    buffer.resize(configWString(key, buffer.data(), buffer.size()));
    return buffer;
}

uint64_t payloadStart() { return tables().block.payloadStart; }
std::string userLanguage() { return tables().language; }
std::string userCountry() { return tables().country; }
