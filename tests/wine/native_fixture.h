// The one fixture every test of natives shares: a test VM created in this process (its JNIEnv),
// a scratch registry key HKCU\Software\launcher-tests\<test name> and a scratch directory, both
// removed after each test, and the VM's report checked for broken JNI rules.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jni/jni.h"

class NativeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A Java string (null for nullptr) and the text of a Java string (L"<null>" for null).
    jstring str(const wchar_t* text);
    std::wstring text(jobject string);
    // The elements of a Java String[] ("<null>" for null elements).
    std::vector<std::wstring> texts(jobject array);
    // The lines of the test VM's report so far.
    std::vector<std::string> reportLines() const;
    // Runs this test again in a new process of the test executable, where no native has bound
    // anything yet, and expects it to pass there: true in that process (run the body), false here.
    static bool inFreshProcess();
    // Runs call on threads threads released at the same moment, and waits for them.
    static void atOnce(int threads, const std::function<void(int)>& call);
    // The directory of the test executable (…\tests\wine), of the build's tests folder (…\tests).
    static std::wstring testDirectory();
    // A file path inside the scratch directory.
    std::wstring scratchFile(const wchar_t* name) const { return scratchDirectory + L"\\" + name; }
    // A key path below the scratch key (HKCU-relative).
    std::wstring scratchPath(const wchar_t* sub) const { return scratchKey + L"\\" + sub; }

    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    std::wstring scratchKey;        // HKCU-relative, e.g. Software\launcher-tests\Registry.RoundTrip
    std::wstring scratchDirectory;  // a new empty directory in the temp directory
    std::wstring report;
    // Set by a test that breaks a JNI rule on purpose.
    bool allowWarnings = false;

private:
    HMODULE vmModule_ = nullptr;
};

// The DACL of a kernel object as "<SID text>=<access mask in hex>" per entry, in order; none when
// the system cannot read it back.
std::optional<std::vector<std::wstring>> daclEntries(HANDLE object);
// "<SID text>" of the process token's user, of SYSTEM and of Administrators.
std::wstring processUserSidText();
