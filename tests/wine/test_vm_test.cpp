// The platform doubles (test VM jvm.dll, jli.dll, splashscreen.dll), loaded as the launcher loads
// them and driven through jni/jni.h. Later launch and natives tests trust these doubles, so
// their recording and their JNI rules are checked here.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "jni/jni.h"
#include "windows/base/handles.h"
#include "windows/base/wide_text.h"

namespace {

std::wstring doublesDirectory()
{
    std::wstring exe = moduleFileName();
    std::wstring dir = exe.substr(0, exe.find_last_of(L'\\'));
    return dir.substr(0, dir.find_last_of(L'\\')) + L"\\doubles\\";
}

std::wstring scratchDirectory()
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"test_vm_" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

void writeFile(const std::wstring& path, const std::string& text)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> readLines(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& wanted)
{
    for (const std::string& line : lines) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> startingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

template <typename Fn>
Fn lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Report and script files in a scratch directory, named through the environment.
class Doubles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = scratchDirectory();
        report_ = dir_ + L"report.txt";
        script_ = dir_ + L"script.txt";
        ::DeleteFileW(report_.c_str());
        writeFile(script_, "");
        ::SetEnvironmentVariableW(L"TEST_VM_REPORT", report_.c_str());
        ::SetEnvironmentVariableW(L"TEST_VM_SCRIPT", script_.c_str());
    }
    std::vector<std::string> report() const { return readLines(report_); }

    std::wstring dir_, report_, script_;
};

// A created test VM; each test gets a fresh one (the test VM may be created again after
// DestroyJavaVM, unlike a real runtime).
class TestVm : public Doubles {
protected:
    void SetUp() override
    {
        Doubles::SetUp();
        module_ = ::LoadLibraryW((doublesDirectory() + L"test_vm\\jvm.dll").c_str());
        ASSERT_NE(module_, nullptr) << "build the jvm target";
        create_ = lookup<JniCreateJavaVMFn>(module_, "JNI_CreateJavaVM");
        ASSERT_NE(create_, nullptr);
    }
    void TearDown() override
    {
        if (vm_) {
            (*vm_)->DestroyJavaVM(vm_);
        }
    }
    jint create(std::vector<JavaVMOption> options = {}, jint version = JNI_VERSION_1_2)
    {
        JavaVMInitArgs args{version, static_cast<jint>(options.size()), options.data(), JNI_TRUE};
        jint result = create_(&vm_, reinterpret_cast<void**>(&env_), &args);
        if (result != JNI_OK) {
            vm_ = nullptr;
        }
        return result;
    }
    void createWithScript(const std::string& script)
    {
        writeFile(script_, script);
        ASSERT_EQ(create(), JNI_OK);
    }
    jclass findClass(const char* name) { return (*env_)->FindClass(env_, name); }
    jstring string(const char* utf8) { return (*env_)->NewStringUTF(env_, utf8); }
    std::string utf8(jstring text)
    {
        if (!text) {
            return "<null>";
        }
        const char* chars = (*env_)->GetStringUTFChars(env_, text, nullptr);
        std::string copy = chars;
        (*env_)->ReleaseStringUTFChars(env_, text, chars);
        return copy;
    }
    // Runs the launcher class's main with the given arguments; true when it threw.
    bool runMain(const std::vector<const char*>& arguments)
    {
        jclass launcher = findClass("com/stowline/runtime/launcher/WinLauncher");
        jmethodID main = (*env_)->GetStaticMethodID(env_, launcher, "main", "([Ljava/lang/String;)V");
        jobjectArray array =
            (*env_)->NewObjectArray(env_, static_cast<jsize>(arguments.size()), findClass("java/lang/String"), nullptr);
        for (size_t i = 0; i < arguments.size(); ++i) {
            (*env_)->SetObjectArrayElement(env_, array, static_cast<jsize>(i), string(arguments[i]));
        }
        (*env_)->CallStaticVoidMethod(env_, launcher, main, array);
        return (*env_)->ExceptionCheck(env_);
    }
    std::string pendingText()
    {
        jthrowable thrown = (*env_)->ExceptionOccurred(env_);
        (*env_)->ExceptionClear(env_);
        jmethodID toString = (*env_)->GetMethodID(env_, findClass("java/lang/Object"), "toString",
                                                  "()Ljava/lang/String;");
        return utf8(static_cast<jstring>((*env_)->CallObjectMethod(env_, thrown, toString)));
    }
    jint registerOne(const char* className, const char* name, const char* signature, void* function)
    {
        JNINativeMethod method{const_cast<char*>(name), const_cast<char*>(signature), function};
        return (*env_)->RegisterNatives(env_, findClass(className), &method, 1);
    }

    HMODULE module_ = nullptr;
    JniCreateJavaVMFn create_ = nullptr;
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
};

void JNICALL exitHook(jint) {}

TEST_F(TestVm, CreationRecordsVersionEveryOptionInOrderAndWhichCarryExtraInfo)
{
    char classPath[] = "-Djava.class.path=C:\\a b\\x.jar";
    char latin[] = "-Dname=caf\xE9";  // the ANSI code page (1252) reaches the report as UTF-8
    char exitName[] = "exit";
    ASSERT_EQ(create({{classPath, nullptr}, {latin, nullptr}, {exitName, reinterpret_cast<void*>(&exitHook)}}),
              JNI_OK);
    std::vector<std::string> lines = report();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "create-vm version=0x00010002 options=3 ignore-unrecognized=true");
    EXPECT_EQ(lines[1], "option 0 \"-Djava.class.path=C:\\\\a b\\\\x.jar\"");
    EXPECT_EQ(lines[2], "option 1 \"-Dname=caf\xC3\xA9\"");
    EXPECT_EQ(lines[3], "option 2 \"exit\" extra");
    EXPECT_EQ(lines[4], "vm-created");

    // -D options are the first system properties.
    jclass system = findClass("java/lang/System");
    jmethodID get = (*env_)->GetStaticMethodID(env_, system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    EXPECT_EQ(utf8(static_cast<jstring>((*env_)->CallStaticObjectMethod(env_, system, get, string("name")))),
              "caf\xC3\xA9");
}

TEST_F(TestVm, OneVmAtATimeAndFailuresAsTheScriptOrTheVersionSays)
{
    ASSERT_EQ(create(), JNI_OK);
    JavaVM* second = nullptr;
    JNIEnv* secondEnv = nullptr;
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    EXPECT_EQ(create_(&second, reinterpret_cast<void**>(&secondEnv), &args), JNI_EEXIST);
    auto created = lookup<JniGetCreatedJavaVMsFn>(module_, "JNI_GetCreatedJavaVMs");
    jsize count = -1;
    ASSERT_EQ(created(nullptr, 0, &count), JNI_OK);
    EXPECT_EQ(count, 1);
    (*vm_)->DestroyJavaVM(vm_);
    vm_ = nullptr;
    created(nullptr, 0, &count);
    EXPECT_EQ(count, 0);

    EXPECT_EQ(create({}, 0x00990000), JNI_EVERSION);
    writeFile(script_, "create-fails -4\n");
    EXPECT_EQ(create(), -4);
    EXPECT_TRUE(contains(report(), "vm-create-failed -4"));
}

TEST_F(TestVm, MissingClassesAndMethodsLeaveTheJavaErrorPending)
{
    createWithScript(
        "missing-class com/tallow/runtime/util/WinDel\n"
        "missing-method com/stowline/runtime/installer/platform/win32/Common initFromLauncher (Z)V\n");
    EXPECT_EQ(findClass("com/tallow/runtime/util/WinDel"), nullptr);
    EXPECT_EQ(pendingText(), "java.lang.NoClassDefFoundError: com/tallow/runtime/util/WinDel");
    EXPECT_EQ(findClass("com/example/Unknown"), nullptr);
    (*env_)->ExceptionClear(env_);

    jclass common = findClass("com/stowline/runtime/installer/platform/win32/Common");
    ASSERT_NE(common, nullptr);
    EXPECT_EQ((*env_)->GetStaticMethodID(env_, common, "initFromLauncher", "(Z)V"), nullptr);
    EXPECT_EQ(pendingText(), "java.lang.NoSuchMethodError: initFromLauncher");
    // A static method is not found as an instance method, nor with another signature.
    jclass controller = findClass("com/tallow/Controller");
    EXPECT_EQ((*env_)->GetMethodID(env_, controller, "startupPerformed", "(Ljava/lang/String;)V"), nullptr);
    (*env_)->ExceptionClear(env_);
    EXPECT_EQ((*env_)->GetStaticMethodID(env_, controller, "startupPerformed", "()V"), nullptr);
    (*env_)->ExceptionClear(env_);

    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "find-class \"com/tallow/runtime/util/WinDel\" missing"));
    EXPECT_TRUE(contains(lines, "get-method \"com/stowline/runtime/installer/platform/win32/Common\" "
                                "\"initFromLauncher\" \"(Z)V\" static missing"));
    EXPECT_TRUE(startingWith(lines, "warning").empty());
}

TEST_F(TestVm, LauncherCallsIntoJavaAreRecorded)
{
    createWithScript("");
    jclass common = findClass("com/stowline/runtime/installer/platform/win32/Common");
    (*env_)->CallStaticVoidMethod(env_, common, (*env_)->GetStaticMethodID(env_, common, "initFromLauncher", "(Z)V"),
                                  JNI_FALSE);
    jclass winDel = findClass("com/tallow/runtime/util/WinDel");
    jfieldID field = (*env_)->GetStaticFieldID(env_, winDel, "externalExecutable", "Ljava/lang/String;");
    (*env_)->SetStaticObjectField(env_, winDel, field, string("C:\\dir\\setup.exe"));
    EXPECT_EQ(utf8(static_cast<jstring>((*env_)->GetStaticObjectField(env_, winDel, field))), "C:\\dir\\setup.exe");
    jclass system = findClass("java/lang/System");
    jmethodID set = (*env_)->GetStaticMethodID(env_, system, "setProperty",
                                               "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    jvalue args[2];
    args[0].l = string("tallow.moduleName");
    args[1].l = (*env_)->NewString(env_, reinterpret_cast<const jchar*>(u"C:\\\u00FCber.exe"), 11);
    (*env_)->CallStaticObjectMethodA(env_, system, set, args);
    jclass splash = findClass("com/tallow/runtime/WinLauncher");
    jmethodID init = (*env_)->GetStaticMethodID(
        env_, splash, "initAwtSplashConfig",
        "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V");
    (*env_)->CallStaticVoidMethod(env_, splash, init, JNI_TRUE, JNI_FALSE, string("Loading"), 10, 20, string("0,0,0"),
                                  12, 1, string("1.0"), 30, 40, string("255,0,0"), 9, 0);
    jclass controller = findClass("com/tallow/Controller");
    (*env_)->CallStaticVoidMethod(env_, controller,
                                  (*env_)->GetStaticMethodID(env_, controller, "startupPerformed",
                                                             "(Ljava/lang/String;)V"),
                                  nullptr);

    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "init-from-launcher false"));
    EXPECT_TRUE(contains(lines, "set-static-field \"com/tallow/runtime/util/WinDel\" \"externalExecutable\" "
                                "\"C:\\\\dir\\\\setup.exe\""));
    EXPECT_TRUE(contains(lines, "set-property \"tallow.moduleName\" \"C:\\\\\xC3\xBC" "ber.exe\""));
    EXPECT_TRUE(contains(lines, "init-awt-splash-config boolean true boolean false \"Loading\" int 10 int 20 "
                                "\"0,0,0\" int 12 int 1 \"1.0\" int 30 int 40 \"255,0,0\" int 9 int 0"));
    EXPECT_TRUE(contains(lines, "startup-performed null"));
    EXPECT_TRUE(startingWith(lines, "warning").empty());
}

TEST_F(TestVm, MainRecordsItsArgumentsAndEndsWithTheScriptedException)
{
    createWithScript("main stdout started\nmain throw java/lang/IllegalStateException \"broken on purpose\"\n"
                     "main exit 3\n");
    EXPECT_TRUE(runMain({"true", "", "gr\xC3\xBC\xC3\x9F \"q\""}));
    EXPECT_EQ(pendingText(), "java.lang.IllegalStateException: broken on purpose");
    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "main \"com/stowline/runtime/launcher/WinLauncher\" 3"));
    EXPECT_TRUE(contains(lines, "main-arg 1 \"\""));
    EXPECT_TRUE(contains(lines, "main-arg 2 \"gr\xC3\xBC\xC3\x9F \\\"q\\\"\""));
    EXPECT_TRUE(contains(lines, "main-threw \"java.lang.IllegalStateException: broken on purpose\""));
    EXPECT_TRUE(startingWith(lines, "exit").empty());  // nothing after the throw runs
}

TEST_F(TestVm, JniRulesBrokenByTheCallerAreWarnedAbout)
{
    createWithScript("main throw java/lang/RuntimeException boom\n");
    ASSERT_TRUE(runMain({}));
    // Calling toString with the exception still pending, through String's method ID, is what a
    // careless exception report does: it works here, but both faults are recorded.
    jthrowable thrown = (*env_)->ExceptionOccurred(env_);
    jmethodID toString = (*env_)->GetMethodID(env_, findClass("java/lang/String"), "toString", "()Ljava/lang/String;");
    jstring text = static_cast<jstring>((*env_)->CallObjectMethod(env_, thrown, toString));
    (*env_)->ExceptionDescribe(env_);
    EXPECT_FALSE((*env_)->ExceptionCheck(env_));  // describing clears
    EXPECT_EQ(utf8(text), "java.lang.RuntimeException: boom");

    jintArray numbers = (*env_)->NewIntArray(env_, 2);
    jint foreign[2] = {0, 0};
    (*env_)->ReleaseIntArrayElements(env_, numbers, foreign, 0);
    jint out[3];
    (*env_)->GetIntArrayRegion(env_, numbers, 1, 2, out);
    EXPECT_EQ(pendingText(), "java.lang.ArrayIndexOutOfBoundsException: region");

    std::vector<std::string> warnings = startingWith(report(), "warning ");
    ASSERT_EQ(warnings.size(), 6u);
    EXPECT_EQ(warnings[0], "warning \"FindClass called with an exception pending\"");
    EXPECT_EQ(warnings[1], "warning \"GetMethodID called with an exception pending\"");
    EXPECT_EQ(warnings[2], "warning \"CallObjectMethod called with an exception pending\"");
    EXPECT_EQ(warnings[3], "warning \"method java/lang/String.toString called on an instance of "
                           "java/lang/RuntimeException\"");
    EXPECT_EQ(warnings[4],
              "warning \"ReleaseIntArrayElements with a pointer the VM did not hand out for this array\"");
    EXPECT_EQ(warnings[5], "warning \"GetIntArrayRegion outside the bounds\"");
    EXPECT_TRUE(contains(report(), "exception-describe \"java.lang.RuntimeException: boom\""));
}

TEST_F(TestVm, StringsKeepEveryUtf16UnitThroughModifiedUtf8)
{
    createWithScript("");
    const char16_t units[] = {u'a', 0, 0x00E9, 0xD83D, 0xDE00};  // NUL and a surrogate pair
    jstring text = (*env_)->NewString(env_, reinterpret_cast<const jchar*>(units), 5);
    EXPECT_EQ((*env_)->GetStringLength(env_, text), 5);
    EXPECT_EQ((*env_)->GetStringUTFLength(env_, text), 1 + 2 + 2 + 3 + 3);
    std::string modified = utf8(text);
    EXPECT_EQ(modified, "a\xC0\x80\xC3\xA9\xED\xA0\xBD\xED\xB8\x80");
    jstring back = string(modified.c_str());
    jchar region[2] = {};
    (*env_)->GetStringRegion(env_, back, 3, 2, region);
    EXPECT_EQ(region[0], 0xD83D);
    EXPECT_EQ(region[1], 0xDE00);
    jboolean isCopy = JNI_FALSE;
    const jchar* chars = (*env_)->GetStringChars(env_, back, &isCopy);
    EXPECT_EQ(chars[5], 0);  // terminated for callers that hand it to Win32
    (*env_)->ReleaseStringChars(env_, back, chars);

    (*env_)->GetStringRegion(env_, back, 4, 2, region);
    EXPECT_EQ(pendingText(), "java.lang.StringIndexOutOfBoundsException: region");
    EXPECT_EQ((*env_)->NewStringUTF(env_, nullptr), nullptr);
}

TEST_F(TestVm, ArraysCommitOrAbortAndRejectElementsOfTheWrongClass)
{
    createWithScript("");
    jintArray numbers = (*env_)->NewIntArray(env_, 3);
    jint* elements = (*env_)->GetIntArrayElements(env_, numbers, nullptr);
    elements[0] = 7;
    (*env_)->ReleaseIntArrayElements(env_, numbers, elements, JNI_ABORT);
    elements = (*env_)->GetIntArrayElements(env_, numbers, nullptr);
    EXPECT_EQ(elements[0], 0);
    elements[2] = 9;
    (*env_)->ReleaseIntArrayElements(env_, numbers, elements, JNI_COMMIT);  // written back, still held
    elements[1] = 8;
    (*env_)->ReleaseIntArrayElements(env_, numbers, elements, 0);
    jint region[3];
    (*env_)->GetIntArrayRegion(env_, numbers, 0, 3, region);
    EXPECT_EQ(region[1], 8);
    EXPECT_EQ(region[2], 9);

    jobjectArray strings = (*env_)->NewObjectArray(env_, 2, findClass("java/lang/String"), string("x"));
    EXPECT_EQ(utf8(static_cast<jstring>((*env_)->GetObjectArrayElement(env_, strings, 1))), "x");
    jclass integer = findClass("java/lang/Integer");
    jobject boxed = (*env_)->CallStaticObjectMethod(
        env_, integer, (*env_)->GetStaticMethodID(env_, integer, "valueOf", "(I)Ljava/lang/Integer;"), 5);
    (*env_)->SetObjectArrayElement(env_, strings, 0, boxed);
    EXPECT_EQ(pendingText(), "java.lang.ArrayStoreException: java/lang/Integer");
    (*env_)->GetObjectArrayElement(env_, strings, 2);
    EXPECT_EQ(pendingText(), "java.lang.ArrayIndexOutOfBoundsException: 2");
    EXPECT_EQ((*env_)->CallIntMethod(env_, boxed, (*env_)->GetMethodID(env_, integer, "intValue", "()I")), 5);
}

// Natives bound by the tests below, shaped like the product's.
jint JNICALL fakeCompare(JNIEnv* env, jclass, jstring a, jstring b)
{
    return (*env)->GetStringLength(env, a) - (b ? (*env)->GetStringLength(env, b) : 100);
}

jint JNICALL fakeIeConfig(JNIEnv* env, jclass, jobjectArray out)
{
    (*env)->SetObjectArrayElement(env, out, 1, (*env)->NewStringUTF(env, "proxy:8080"));
    return (*env)->GetArrayLength(env, out);
}

jobjectArray JNICALL fakeWindows(JNIEnv* env, jclass, jclass infoClass, jint pid)
{
    jmethodID init = (*env)->GetMethodID(env, infoClass, "<init>", "(JILjava/lang/String;Ljava/lang/String;)V");
    jobjectArray result = (*env)->NewObjectArray(env, 1, infoClass, nullptr);
    jobject info = (*env)->NewObject(env, infoClass, init, static_cast<jlong>(pid) << 32, pid, (*env)->NewStringUTF(env, "cls"),
                                     nullptr);
    (*env)->SetObjectArrayElement(env, result, 0, info);
    return result;
}

jlong JNICALL fakeListener(JNIEnv*, jclass, jstring) { return 0x123456789LL; }

jboolean JNICALL fakeWrite(JNIEnv* env, jclass, jlong handle, jbyteArray data)
{
    return handle == 0x123456789LL && (*env)->GetArrayLength(env, data) == 3;
}

jobject JNICALL fakeGetValue(JNIEnv* env, jclass, jint root, jstring, jstring name, jint view)
{
    if (!name) {
        jclass expand = (*env)->FindClass(env, "com/stowline/api/windows/WinRegistry$ExpandString");
        return (*env)->NewObject(env, expand, (*env)->GetMethodID(env, expand, "<init>", "(Ljava/lang/String;)V"),
                                 (*env)->NewStringUTF(env, "%TEMP%"));
    }
    jclass longClass = (*env)->FindClass(env, "java/lang/Long");
    return (*env)->CallStaticObjectMethod(env, longClass,
                                          (*env)->GetStaticMethodID(env, longClass, "valueOf", "(J)Ljava/lang/Long;"),
                                          static_cast<jlong>(root) * 1000 + view);
}

jint JNICALL fakeThreadId(JNIEnv* env, jclass)
{
    JavaVM* vm = nullptr;
    (*env)->GetJavaVM(env, &vm);
    JNIEnv* own = nullptr;
    return (*vm)->GetEnv(vm, reinterpret_cast<void**>(&own), JNI_VERSION_1_2) == JNI_OK && own == env
               ? static_cast<jint>(::GetCurrentThreadId())
               : -1;
}

void JNICALL fakeThrows(JNIEnv* env, jclass) { (*env)->ThrowNew(env, (*env)->FindClass(env, "java/lang/Error"), "x"); }

constexpr char kProxy[] = "com/stowline/runtime/installer/platform/win32/Win32Proxy";
constexpr char kMisc[] = "com/stowline/runtime/installer/platform/win32/Misc";
constexpr char kPipes[] = "com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend";

TEST_F(TestVm, RegisterNativesChecksTheDeclaredMethodsAndRecordsEachEntry)
{
    createWithScript("register-fails com/stowline/runtime/installer/platform/win32/FolderInfo -7\n");
    EXPECT_EQ(registerOne(kProxy, "getIEConfig0", "([Ljava/lang/String;)I", reinterpret_cast<void*>(&fakeIeConfig)),
              JNI_OK);
    // A signature that differs from the Java declaration fails like a real VM.
    EXPECT_EQ(registerOne(kProxy, "getDefaultConfig0", "([Ljava/lang/String;)J", reinterpret_cast<void*>(&fakeIeConfig)),
              JNI_ERR);
    EXPECT_EQ(pendingText(), "java.lang.NoSuchMethodError: getDefaultConfig0");
    EXPECT_EQ(registerOne("com/stowline/runtime/installer/platform/win32/FolderInfo", "getDriveType0",
                          "(Ljava/lang/String;)I", reinterpret_cast<void*>(&fakeCompare)),
              -7);
    EXPECT_EQ(registerOne("com/stowline/runtime/installer/helper/NativeLogger", "cleanup0", "()V", nullptr), JNI_ERR);
    (*env_)->ExceptionClear(env_);

    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, std::string("register-natives \"") + kProxy + "\" 1 result=0"));
    EXPECT_TRUE(contains(lines, std::string("native \"") + kProxy + "\" \"getIEConfig0\" \"([Ljava/lang/String;)I\" bound"));
    EXPECT_TRUE(contains(lines, std::string("native \"") + kProxy + "\" \"getDefaultConfig0\" \"([Ljava/lang/String;)J\" unknown"));
    EXPECT_TRUE(contains(lines, "register-natives \"com/stowline/runtime/installer/platform/win32/FolderInfo\" 1 result=-7"));
    EXPECT_TRUE(contains(lines, "native \"com/stowline/runtime/installer/helper/NativeLogger\" \"cleanup0\" \"()V\" null"));
}

TEST_F(TestVm, ScriptedCallsPassTypedArgumentsAndRenderResultsAndFilledArrays)
{
    createWithScript(std::string("main call ") + kProxy + " getIEConfig0 ([Ljava/lang/String;)I { a null \"\" }\n" +
                     "main call com/stowline/runtime/installer/platform/win32/FileVersion compare0 "
                     "(Ljava/lang/String;Ljava/lang/String;)I \"two words\" null\n" +
                     "main call " + kMisc + " getTopLevelWindows0 (Ljava/lang/Class;I)[Lcom/stowline/api/windows/WindowInfo; "
                     "com/stowline/api/windows/WindowInfo 2\n" +
                     "main call " + kPipes + " createListener0 (Ljava/lang/String;)J pipe => h\n" +
                     "main call-thread " + kPipes + " writeDataBlock0 (J[B)Z $h hex:0a0bff\n" +
                     "main call " + kPipes + " getCurrentProcessId0 ()I\n" +
                     "main call com/stowline/runtime/installer/platform/win32/Registry getValue0 "
                     "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object; 2 k v 256\n" +
                     "main call com/stowline/runtime/installer/platform/win32/Registry getValue0 "
                     "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object; 2 k null 0\n" +
                     "main call " + kMisc + " toFront0 ()V\n" +
                     "main call " + kMisc + " reboot0 ()V\n" +
                     "main call " + kMisc + " getPidFromHandle0 (J)I notanumber\n");
    registerOne(kProxy, "getIEConfig0", "([Ljava/lang/String;)I", reinterpret_cast<void*>(&fakeIeConfig));
    registerOne("com/stowline/runtime/installer/platform/win32/FileVersion", "compare0",
                "(Ljava/lang/String;Ljava/lang/String;)I", reinterpret_cast<void*>(&fakeCompare));
    registerOne(kMisc, "getTopLevelWindows0", "(Ljava/lang/Class;I)[Lcom/stowline/api/windows/WindowInfo;",
                reinterpret_cast<void*>(&fakeWindows));
    registerOne(kMisc, "toFront0", "()V", reinterpret_cast<void*>(&fakeThrows));
    registerOne(kMisc, "getPidFromHandle0", "(J)I", reinterpret_cast<void*>(&fakeListener));
    JNINativeMethod pipes[] = {
        {const_cast<char*>("createListener0"), const_cast<char*>("(Ljava/lang/String;)J"),
         reinterpret_cast<void*>(&fakeListener)},
        {const_cast<char*>("writeDataBlock0"), const_cast<char*>("(J[B)Z"), reinterpret_cast<void*>(&fakeWrite)},
        {const_cast<char*>("getCurrentProcessId0"), const_cast<char*>("()I"), reinterpret_cast<void*>(&fakeThreadId)},
    };
    ASSERT_EQ((*env_)->RegisterNatives(env_, findClass(kPipes), pipes, 3), JNI_OK);
    registerOne("com/stowline/runtime/installer/platform/win32/Registry", "getValue0",
                "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;", reinterpret_cast<void*>(&fakeGetValue));
    EXPECT_FALSE(runMain({}));

    std::vector<std::string> results = startingWith(report(), "result ");
    ASSERT_EQ(results.size(), 9u);
    EXPECT_EQ(results[0], "result int 3");
    EXPECT_EQ(results[1], "result int -91");
    EXPECT_EQ(results[2], "result com/stowline/api/windows/WindowInfo[1] {com/stowline/api/windows/WindowInfo("
                          "long 8589934592, int 2, \"cls\", null)}");
    EXPECT_EQ(results[3], "result long 4886718345");
    EXPECT_EQ(results[4], "result boolean true");  // the kept long arrived whole, on another thread
    EXPECT_EQ(results[5], "result int " + std::to_string(::GetCurrentThreadId()));
    EXPECT_EQ(results[6], "result java/lang/Long(long 2256)");
    EXPECT_EQ(results[7], "result com/stowline/api/windows/WinRegistry$ExpandString(\"%TEMP%\")");
    EXPECT_EQ(results[8], "result void");
    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "out 0 java/lang/String[3] {\"a\", \"proxy:8080\", \"\"}"));
    EXPECT_TRUE(contains(lines, "out 1 byte[3] 0a0bff"));
    EXPECT_TRUE(contains(lines, "pending java/lang/Error(\"x\")"));
    EXPECT_TRUE(contains(lines, std::string("call-failed \"no native registered for ") + kMisc + ".reboot0()V\""));
    EXPECT_TRUE(contains(lines, "call-failed \"not a number: notanumber\""));
    EXPECT_EQ(startingWith(lines, "attach-thread").size(), 1u);
    EXPECT_EQ(startingWith(lines, "detach-thread").size(), 1u);
    EXPECT_TRUE(startingWith(lines, "warning").empty());
}

DWORD WINAPI attachAndCall(void* parameter)
{
    auto* vm = static_cast<JavaVM*>(parameter);
    JNIEnv* env = nullptr;
    if ((*vm)->GetEnv(vm, reinterpret_cast<void**>(&env), JNI_VERSION_1_2) != JNI_EDETACHED) {
        return 1;
    }
    if ((*vm)->AttachCurrentThreadAsDaemon(vm, reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
        return 2;
    }
    jclass controller = (*env)->FindClass(env, "com/tallow/Controller");
    jmethodID performed = (*env)->GetStaticMethodID(env, controller, "startupPerformed", "(Ljava/lang/String;)V");
    (*env)->CallStaticVoidMethod(env, controller, performed, (*env)->NewStringUTF(env, "-x y"));
    return (*vm)->DetachCurrentThread(vm) == JNI_OK ? 0 : 3;
}

TEST_F(TestVm, OtherThreadsAttachWithTheirOwnEnvironmentAndMainCanWaitForThem)
{
    createWithScript("main wait-startup 1 10000\nmain wait-startup 2 50\n");
    unique_handle thread(::CreateThread(nullptr, 0, attachAndCall, vm_, CREATE_SUSPENDED, nullptr));
    ASSERT_TRUE(thread);
    ::ResumeThread(thread.get());
    EXPECT_FALSE(runMain({}));
    ::WaitForSingleObject(thread.get(), 10000);
    DWORD code = 99;
    ::GetExitCodeThread(thread.get(), &code);
    EXPECT_EQ(code, 0u);
    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "attach-thread daemon=true"));
    EXPECT_TRUE(contains(lines, "startup-performed \"-x y\""));
    EXPECT_TRUE(contains(lines, "startup-wait 1 reached"));
    EXPECT_TRUE(contains(lines, "startup-wait 2 timeout"));
}

TEST_F(TestVm, ScriptWindowsAreVisibleTopLevelWindowsOfTheProcess)
{
    createWithScript("main window \"Setup - Test App\"\n");
    EXPECT_FALSE(runMain({}));
    HWND window = ::FindWindowW(nullptr, L"Setup - Test App");
    if (!window && contains(report(), "window \"Setup - Test App\" 0 error 1400")) {
        GTEST_SKIP() << "no display: run under Xvfb to create windows";
    }
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    EXPECT_EQ(pid, ::GetCurrentProcessId());
    EXPECT_TRUE(contains(report(), "window \"Setup - Test App\" " +
                                       std::to_string(reinterpret_cast<uintptr_t>(window))));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
}

TEST_F(TestVm, ScriptWordsQuoteAsAWholeOrInPartsAndBadLinesAreReported)
{
    createWithScript(std::string("main call com/stowline/runtime/installer/platform/win32/FileVersion compare0 "
                                 "(Ljava/lang/String;Ljava/lang/String;)I \"null\" str:\"a b\"\n") +
                     "  # an indented comment\n"
                     "frobnicate everything\n"
                     "main dance\n");
    registerOne("com/stowline/runtime/installer/platform/win32/FileVersion", "compare0",
                "(Ljava/lang/String;Ljava/lang/String;)I", reinterpret_cast<void*>(&fakeCompare));
    runMain({});
    std::vector<std::string> lines = report();
    // "null" quoted is the four-letter string, not the null reference; a String parameter takes
    // str:"a b" whole, prefix included (prefixes are read only for other reference types).
    EXPECT_TRUE(contains(lines, "result int -3"));
    std::vector<std::string> errors = startingWith(lines, "script-error");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "script-error \"frobnicate everything\"");
    EXPECT_EQ(errors[1], "script-error \"main dance\"");
}

// ---- behaviour that ends the process, through the host program ------------------------------

struct HostRun {
    DWORD exitCode = 0;
    std::string standardError;
};

HostRun runHost(const std::wstring& arguments)
{
    std::wstring dir = doublesDirectory() + L"test_vm\\";
    std::wstring command = L"\"" + dir + L"test_vm_host.exe\" \"" + dir + L"jvm.dll\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ::CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    unique_handle reader(readEnd);
    unique_handle writer(writeEnd);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = writer.get();
    startup.hStdOutput = writer.get();
    PROCESS_INFORMATION process{};
    HostRun run;
    run.exitCode = 0xFFFFFFFF;
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return run;
    }
    writer.reset();
    unique_handle processHandle(process.hProcess);
    unique_handle threadHandle(process.hThread);
    char buffer[512];
    DWORD read = 0;
    while (::ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        run.standardError.append(buffer, read);
    }
    ::WaitForSingleObject(processHandle.get(), 30000);
    ::GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

TEST_F(Doubles, SystemExitGoesThroughTheExitHookOrEndsTheProcessWithItsCode)
{
    writeFile(script_, "main exit 7\n");
    EXPECT_EQ(runHost(L"main com/tallow/runtime/WinLauncher").exitCode, 107u);  // the hook adds 100
    EXPECT_EQ(runHost(L"main-nohook com/tallow/runtime/WinLauncher").exitCode, 7u);
    std::vector<std::string> exits = startingWith(report(), "exit ");
    ASSERT_EQ(exits.size(), 2u);
    EXPECT_EQ(exits[0], "exit 7 hook");
    EXPECT_EQ(exits[1], "exit 7 process");
}

TEST_F(Doubles, UnimplementedSlotsAndForeignReferencesEndTheProcessLoudly)
{
    HostRun defineClass = runHost(L"slot 5");
    EXPECT_EQ(defineClass.exitCode, 86u);
    EXPECT_NE(defineClass.standardError.find("unimplemented JNI function 5 DefineClass"), std::string::npos);
    HostRun module = runHost(L"slot 233");
    EXPECT_EQ(module.exitCode, 86u);
    HostRun badReference = runHost(L"bad-reference");
    EXPECT_EQ(badReference.exitCode, 88u);
    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "unimplemented JNI function 5 DefineClass"));
    EXPECT_TRUE(contains(lines, "unimplemented JNI function 233 GetModule"));
    EXPECT_TRUE(contains(lines, "invalid-reference 31 GetObjectClass"));
}

// ---- jli.dll and splashscreen.dll -----------------------------------------------------------

struct JliList {
    char** elements;
    size_t size;
    size_t capacity;
};

class Jli : public Doubles {
protected:
    void SetUp() override
    {
        Doubles::SetUp();
        module_ = ::LoadLibraryW((doublesDirectory() + L"jli\\jli.dll").c_str());
        ASSERT_NE(module_, nullptr) << "build the jli target";
        init_ = lookup<void(JNICALL*)(jboolean, jboolean)>(module_, "JLI_InitArgProcessing");
        preprocess_ = lookup<JliList*(JNICALL*)(const char*, jboolean)>(module_, "JLI_PreprocessArg");
        free_ = lookup<void(JNICALL*)(void*)>(module_, "JLI_MemFree");
        ASSERT_TRUE(init_ && preprocess_ && free_);
        init_(JNI_TRUE, JNI_FALSE);
    }
    // The arguments that one argument expands to, or {"<kept>"} when it stays as it is.
    std::vector<std::string> expand(const std::string& arg)
    {
        JliList* list = preprocess_(arg.c_str(), JNI_TRUE);
        if (!list) {
            return {"<kept>"};
        }
        std::vector<std::string> out(list->elements, list->elements + list->size);
        free_(list->elements);
        free_(list);
        return out;
    }
    std::vector<std::string> expandFile(const std::string& contents)
    {
        std::wstring path = dir_ + L"args.txt";
        writeFile(path, contents);
        return expand("@" + wideToNarrow(path));
    }

    HMODULE module_ = nullptr;
    void(JNICALL* init_)(jboolean, jboolean) = nullptr;
    JliList*(JNICALL* preprocess_)(const char*, jboolean) = nullptr;
    void(JNICALL* free_)(void*) = nullptr;
};

using Args = std::vector<std::string>;

TEST_F(Jli, ArgumentFilesSplitByTheJavaLauncherRules)
{
    struct Case {
        const char* contents;
        Args expected;
    };
    const Case cases[] = {
        {"-Xmx1g  -Da=b\r\n\t-ea\f-esa\n", {"-Xmx1g", "-Da=b", "-ea", "-esa"}},
        {"# comment -Xno\n-Dx=a#b # trailing\n", {"-Dx=a#b"}},
        {"\"C:\\\\Program Files\\\\x.jar\" 'single quoted' c:\\Program\" \"Files", {"C:\\Program Files\\x.jar", "single quoted", "c:\\Program Files"}},
        {"\"tab\\there\\n\" \"\" x", {"tab\there\n", "", "x"}},
        {"\"open quote\nnext", {"open quote", "next"}},
        {"-Dlong=first\\\n     second \"q\\\r\n   rest\"", {"-Dlong=firstsecond", "qrest"}},
        {"\"-Dkeep=a\\\n\\  b\"", {"-Dkeep=a  b"}},
        {"@nested.txt \"#not comment\"", {"@nested.txt", "#not comment"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(expandFile(c.contents), c.expected) << c.contents;
    }
}

TEST_F(Jli, OnlyAtArgumentsExpandAndTheEscapesAndSwitchesAreHonoured)
{
    EXPECT_EQ(expand("-Xmx1g"), Args{"<kept>"});
    EXPECT_EQ(expand("@"), Args{"<kept>"});
    EXPECT_EQ(expand("@@literal"), Args{"@literal"});
    EXPECT_EQ(expand("@" + wideToNarrow(dir_) + "missing.txt"), Args{"<kept>"});
    EXPECT_EQ(expand("--disable-@files"), Args{"<kept>"});
    EXPECT_EQ(expandFile("-Da"), Args{"<kept>"});
    init_(JNI_TRUE, JNI_TRUE);
    EXPECT_EQ(expandFile("-Da"), Args{"<kept>"});
    init_(JNI_FALSE, JNI_FALSE);
    EXPECT_EQ(expandFile("-Da"), Args{"-Da"});

    static int notAllocated = 0;
    free_(&notAllocated);
    std::vector<std::string> lines = report();
    EXPECT_TRUE(contains(lines, "jli-init has-java-args=false disable-arg-file=false"));
    EXPECT_TRUE(contains(lines, "jli-preprocess \"@@literal\" expanded=1"));
    EXPECT_EQ(startingWith(lines, "jli-preprocess \"@" ).size(), 6u);
    EXPECT_EQ(startingWith(lines, "jli-free").size(), 4u);  // two lists, each with its element array
    EXPECT_TRUE(contains(lines, "warning \"JLI_MemFree of an unknown pointer\""));
    bool unreadable = false;
    for (const std::string& line : startingWith(lines, "jli-preprocess")) {
        unreadable = unreadable || line.find("missing.txt\" unreadable") != std::string::npos;
    }
    EXPECT_TRUE(unreadable);
}

TEST_F(Doubles, SplashCallsAreRecordedWithTheImageSizeAndFormat)
{
    HMODULE module = ::LoadLibraryW((doublesDirectory() + L"splash\\splashscreen.dll").c_str());
    ASSERT_NE(module, nullptr) << "build the splashscreen target";
    auto init = lookup<void (*)()>(module, "SplashInit");
    auto load = lookup<int (*)(void*, int)>(module, "SplashLoadMemory");
    auto scale = lookup<void (*)(float)>(module, "SplashSetScaleFactor");
    auto close = lookup<void (*)()>(module, "SplashClose");
    ASSERT_TRUE(init && load && scale && close);
    unsigned char png[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char gif[10] = {'G', 'I', 'F', '8', '9', 'a'};
    init();
    scale(1.25f);
    EXPECT_EQ(load(png, sizeof png), 1);
    EXPECT_EQ(load(gif, sizeof gif), 1);
    EXPECT_EQ(load(nullptr, 5), 0);
    close();
    EXPECT_EQ(report(), (Args{"splash-init", "splash-scale-factor 1.25", "splash-load-memory 16 png",
                              "splash-load-memory 10 gif", "splash-load-memory 5 unknown", "splash-close"}));
}

}  // namespace
