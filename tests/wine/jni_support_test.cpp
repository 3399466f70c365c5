// The natives' shared JNI helpers against the test VM: strings, string arrays and boxes survive the
// round trip, nulls and wrong classes are answered without exceptions, and no JNI rule is broken.
#include "natives/jni_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "windows/wide_text.h"

namespace {

class JniSupport : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        report = std::wstring(temp) + L"jni_support_" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
        ::DeleteFileW(report.c_str());
        ::SetEnvironmentVariableW(L"TEST_VM_REPORT", report.c_str());
        ::SetEnvironmentVariableW(L"TEST_VM_SCRIPT", nullptr);
        std::wstring exe = moduleFileName();
        std::wstring tests = exe.substr(0, exe.find_last_of(L'\\'));
        module = ::LoadLibraryW((tests.substr(0, tests.find_last_of(L'\\')) + L"\\doubles\\test_vm\\jvm.dll").c_str());
        ASSERT_NE(module, nullptr) << "build the jvm target";
        auto create = reinterpret_cast<JniCreateJavaVMFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "JNI_CreateJavaVM")));
        ASSERT_NE(create, nullptr);
        JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
        ASSERT_EQ(create(&vm, reinterpret_cast<void**>(&env), &args), JNI_OK);
    }
    void TearDown() override
    {
        if (vm) (*vm)->DestroyJavaVM(vm);
        std::ifstream in(report.c_str());
        std::string line;
        while (std::getline(in, line)) EXPECT_NE(line.rfind("warning", 0), 0u) << line;
        in.close();
        ::DeleteFileW(report.c_str());
    }
    std::wstring report;
    HMODULE module = nullptr;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
};

TEST_F(JniSupport, StringsRoundTripWithTheirExactCharacters)
{
    const std::wstring text = L"C:\\Programme\\M\u00FCller \u20AC \U0001F600";
    jstring java = wideToJava(env, text);
    ASSERT_NE(java, nullptr);
    EXPECT_EQ((*env)->GetStringLength(env, java), static_cast<jsize>(text.size()));
    EXPECT_EQ(javaToWide(env, java), text);
    EXPECT_EQ(javaToNarrow(env, java).substr(0, 21), "C:\\Programme\\M\xFCller \x80");

    jstring empty = wideToJava(env, L"");
    bool isNull = true;
    EXPECT_EQ(javaToWide(env, empty, &isNull), L"");
    EXPECT_FALSE(isNull);
    EXPECT_EQ(javaToWide(env, nullptr, &isNull), L"");
    EXPECT_TRUE(isNull);
    EXPECT_EQ(javaToWide(env, narrowToJava(env, "caf\xE9")), L"caf\u00E9");
}

TEST_F(JniSupport, StringArraysKeepOrderAndEmptyElements)
{
    const std::vector<std::wstring> texts{L"first", L"", L"d\u00E9j\u00E0 vu"};
    jobjectArray array = wideArrayToJava(env, texts);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ((*env)->GetArrayLength(env, array), 3);
    EXPECT_EQ(javaArrayToWide(env, array), texts);
    EXPECT_TRUE(javaArrayToWide(env, nullptr).empty());
    jobjectArray none = wideArrayToJava(env, {});
    ASSERT_NE(none, nullptr);
    EXPECT_EQ((*env)->GetArrayLength(env, none), 0);
}

TEST_F(JniSupport, BoxesOpenOnlyAsTheirOwnClass)
{
    jint number = 0;
    EXPECT_TRUE(unboxInteger(env, boxInteger(env, -42), number));
    EXPECT_EQ(number, -42);
    jlong wide = 0;
    EXPECT_TRUE(unboxLong(env, boxLong(env, 1LL << 40), wide));
    EXPECT_EQ(wide, 1LL << 40);

    number = 7;
    EXPECT_FALSE(unboxInteger(env, boxLong(env, 5), number));
    EXPECT_FALSE(unboxInteger(env, wideToJava(env, L"5"), number));
    EXPECT_FALSE(unboxInteger(env, nullptr, number));
    EXPECT_EQ(number, 7);
    EXPECT_NE(boxBoolean(env, true), nullptr);
    EXPECT_FALSE((*env)->ExceptionCheck(env));
}

}  // namespace
