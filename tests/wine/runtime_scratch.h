// What a test of runtime checks needs around it: HKCU redirected to a scratch key below the real
// one (the version cache and located runtimes land there) and a fresh temp directory for runtime
// layouts; both removed again at the end, with the config block and version bounds reset.
#pragma once

#include <windows.h>

#include <string>

#include "core/config_format.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/java_version.h"
#include "windows/temp_dirs.h"

class RuntimeScratch {
public:
    // name tells the scratch key and directory apart from other tests'.
    explicit RuntimeScratch(const std::string& name)
    {
        static int counter = 0;
        const std::string id = name + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(counter++);
        keyName_ = "Software\\launcher-tests\\" + id;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, keyName_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(),
                              nullptr) != ERROR_SUCCESS ||
            ::RegOverridePredefKey(HKEY_CURRENT_USER, key_.get()) != ERROR_SUCCESS)
            return;
        char temp[MAX_PATH + 1];
        if (::GetTempPathA(sizeof temp, temp) == 0) return;
        root_ = std::string(temp) + id;
        ready_ = ::CreateDirectoryA(root_.c_str(), nullptr) != FALSE;
        useConfigBlock(ConfigBlock());
        setVersionBounds("", "");
    }
    ~RuntimeScratch()
    {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        key_.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, keyName_.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\launcher-tests");  // only when no other test's key is left
        if (!root_.empty()) deleteTree(root_, true);
        useConfigBlock(ConfigBlock());
        setVersionBounds("", "");
    }
    RuntimeScratch(const RuntimeScratch&) = delete;
    RuntimeScratch& operator=(const RuntimeScratch&) = delete;

    bool ready() const { return ready_; }
    const std::string& root() const { return root_; }

    // The test doubles' directory of this build.
    static std::string doublesDirectory()
    {
        std::string path = wideToNarrow(moduleFileName());
        return path.substr(0, path.find_last_of('\\')) + "\\..\\doubles\\";
    }

private:
    std::string keyName_;
    unique_hkey key_;
    std::string root_;
    bool ready_ = false;
};
