// The natives' shared JNI helpers against the test VM: strings, string arrays and boxes survive the
// round trip, nulls and wrong classes are answered without exceptions, and no JNI rule is broken.
#include "natives/jni_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "native_fixture.h"

#include <string>
#include <vector>

#include "windows/base/wide_text.h"

namespace {

class JniSupport : public NativeTest {};

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

namespace {

TEST_F(JniSupport, TextsForWin32KeepNullAndStopAtTheFirstNul)
{
    EXPECT_EQ(JavaText(env, nullptr).get(), nullptr);
    EXPECT_TRUE(JavaText(env, nullptr).isNull());
    const jchar withNul[] = {u'a', u'b', 0, u'c'};
    JavaText cut(env, (*env)->NewString(env, withNul, 4));
    ASSERT_NE(cut.get(), nullptr);
    EXPECT_STREQ(cut.get(), L"ab");
    EXPECT_STREQ(JavaText(env, wideToJava(env, L"")).get(), L"");
}

TEST_F(JniSupport, ByteAndIntArraysRoundTripAtTheirBoundaries)
{
    for (size_t size : {size_t{0}, size_t{1}, size_t{65537}}) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
        jbyteArray array = bytesToJava(env, bytes.data(), bytes.size());
        ASSERT_NE(array, nullptr) << size;
        EXPECT_EQ(javaToBytes(env, array), bytes) << size;
        (*env)->DeleteLocalRef(env, array);
    }
    bool isNull = false;
    EXPECT_TRUE(javaToBytes(env, nullptr, &isNull).empty());
    EXPECT_TRUE(isNull);
    const std::vector<jint> ints{0, -1, 0x7FFFFFFF, static_cast<jint>(0x80000000u)};
    EXPECT_EQ(javaToInts(env, intsToJava(env, ints)), ints);
    EXPECT_TRUE(javaToInts(env, nullptr, &isNull).empty());
    EXPECT_TRUE(isNull);
}

TEST_F(JniSupport, StringArraysFromJavaMarkNullElements)
{
    jobjectArray array = wideArrayToJava(env, {L"a", L"b"});
    ASSERT_NE(array, nullptr);
    (*env)->SetObjectArrayElement(env, array, 1, nullptr);
    bool failed = true;
    std::vector<bool> nulls;
    EXPECT_EQ(javaArrayToWide(env, array, &failed, nullptr, &nulls), (std::vector<std::wstring>{L"a", L""}));
    EXPECT_FALSE(failed);
    EXPECT_EQ(nulls, (std::vector<bool>{false, true}));
}

TEST_F(JniSupport, HandlesAndResultObjectsCrossUnchanged)
{
    EXPECT_EQ(handleToJava(INVALID_HANDLE_VALUE), -1);
    EXPECT_EQ(javaToHandle(-1), INVALID_HANDLE_VALUE);
    EXPECT_EQ(javaToHandle<HWND>(handleToJava(reinterpret_cast<HWND>(0x10010))), reinterpret_cast<HWND>(0x10010));
    jvalue argument;
    argument.l = wideToJava(env, L"%PATH%");
    jobject made = newObject(env, "com/stowline/api/windows/WinRegistry$ExpandString", "(Ljava/lang/String;)V", &argument);
    EXPECT_NE(made, nullptr);
    EXPECT_EQ(newObject(env, "com/stowline/api/windows/WinRegistry$ExpandString", "(I)V", &argument), nullptr);
    EXPECT_EQ(newObject(env, "no/such/Class", "()V", nullptr), nullptr);
    EXPECT_FALSE((*env)->ExceptionCheck(env));
}

}  // namespace
