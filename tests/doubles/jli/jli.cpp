// jli.dll double: the Java launcher's argument-file expansion, recorded to the report.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "arg_file.h"
#include "jni/jni.h"
#include "report.h"

namespace {

// The list layout the launcher reads: element array, element count, capacity.
struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};

CRITICAL_SECTION* lock()
{
    static CRITICAL_SECTION* section = [] {
        auto* created = new CRITICAL_SECTION;
        ::InitializeCriticalSection(created);
        return created;
    }();
    return section;
}

struct Guard {
    Guard() { ::EnterCriticalSection(lock()); }
    ~Guard() { ::LeaveCriticalSection(lock()); }
};

std::set<void*>& allocations()
{
    static auto* blocks = new std::set<void*>;
    return *blocks;
}

bool expansionDisabled = false;

void* allocate(size_t bytes)
{
    void* block = std::malloc(bytes ? bytes : 1);
    allocations().insert(block);
    return block;
}

std::string quoteAnsi(const char* text)
{
    int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string wide(static_cast<size_t>(length > 0 ? length - 1 : 0), u'\0');
    if (length > 1) {
        ::MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(&wide[0]), length);
    }
    return report::quote(wide);
}

bool readFile(const char* path, std::string& text)
{
    HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &read, nullptr) != 0) && read > 0) {
        text.append(buffer, read);
    }
    ::CloseHandle(file);
    return ok;
}

JliList* makeList(const std::vector<std::string>& arguments)
{
    auto* list = static_cast<JliList*>(allocate(sizeof(JliList)));
    list->size = arguments.size();
    list->capacity = arguments.size();
    list->elements = static_cast<char**>(allocate(sizeof(char*) * (arguments.size() ? arguments.size() : 1)));
    for (size_t i = 0; i < arguments.size(); ++i) {
        list->elements[i] = static_cast<char*>(allocate(arguments[i].size() + 1));
        std::memcpy(list->elements[i], arguments[i].c_str(), arguments[i].size() + 1);
    }
    return list;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL JLI_InitArgProcessing(jboolean hasJavaArgs, jboolean disableArgFile)
{
    Guard guard;
    expansionDisabled = disableArgFile != 0;
    report::line(std::string("jli-init has-java-args=") + (hasJavaArgs ? "true" : "false") +
                 " disable-arg-file=" + (disableArgFile ? "true" : "false"));
}

JNIEXPORT JliList* JNICALL JLI_PreprocessArg(const char* arg, jboolean)
{
    Guard guard;
    if (!arg) {
        return nullptr;
    }
    std::string text = arg;
    if (text == "--disable-@files" || text == "-Xdisable-@files") {
        expansionDisabled = true;
    }
    if (expansionDisabled || text.size() < 2 || text[0] != '@') {
        report::line("jli-preprocess " + quoteAnsi(arg) + " kept");
        return nullptr;
    }
    std::vector<std::string> arguments;
    if (text[1] == '@') {
        arguments.push_back(text.substr(1));
    } else {
        std::string contents;
        if (!readFile(arg + 1, contents)) {
            report::line("jli-preprocess " + quoteAnsi(arg) + " unreadable");
            return nullptr;
        }
        arguments = splitArgumentFile(contents);
    }
    report::line("jli-preprocess " + quoteAnsi(arg) + " expanded=" + std::to_string(arguments.size()));
    return makeList(arguments);
}

JNIEXPORT void JNICALL JLI_MemFree(void* block)
{
    Guard guard;
    if (!block) {
        return;
    }
    if (!allocations().erase(block)) {
        report::line("warning " + report::quote(std::string("JLI_MemFree of an unknown pointer")));
        return;
    }
    report::line("jli-free");
    std::free(block);
}

}  // extern "C"
