#include "windows/jvm_launch.h"

#include "core/command_line.h"
#include "core/config_keys.h"
#include "core/vm_options_rules.h"
#include "jni/jni_helpers.h"
#include "jni/native_entry.h"
#include "windows/base/handles.h"
#include "windows/base/system_functions.h"
#include "windows/base/wide_text.h"
#include "windows/config_block.h"
#include "windows/error_exit.h"
#include "windows/java_exception.h"
#include "windows/native_log.h"
#include "windows/process_environment.h"
#include "windows/single_instance.h"
#include "windows/splash.h"
#include "windows/temp_dirs.h"
#include "windows/variables.h"

namespace {

// Codes shown with the internal-error message when main's argument array cannot be built.
constexpr const wchar_t* kNoArgumentArray = L"60";
constexpr const wchar_t* kNoArgumentString = L"61";

constexpr size_t kConfiguredArgumentsLimit = 2000;

struct VmState {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    volatile LONG running = 0;
};

VmState& vmState()
{
    static VmState* state = new VmState();
    return *state;
}

bool isInstaller() { return configStringDup(keys::kProductKind).rfind('i', 0) == 0; }

const char* launcherClassName()
{
    return isInstaller() ? "com/stowline/runtime/launcher/WinLauncher" : "com/tallow/runtime/WinLauncher";
}

std::wstring configWide(int32_t key, size_t limit)
{
    std::wstring text(limit + 1, L'\0');
    text.resize(configWString(key, text.data(), text.size()));
    return text;
}

// A redirection file of main's arguments: expanded, then made absolute unless it names a
// variable for the Java side ("$...").
std::wstring redirectionFile(int32_t flagKey, int32_t fileKey)
{
    if (!configFlag(flagKey)) return {};
    std::wstring file = expandVariables(configWide(fileKey, 6000), false);
    if (!file.empty() && file[0] == L'$') return file;
    return resolvePath(file);
}

// The splash text lines configured for the Java side.
void initAwtSplashConfig(JNIEnv* env)
{
    LocalRef<jclass> launcher(env, findClassQuietly(env, "com/tallow/runtime/WinLauncher"));
    if (!launcher) {
        logError(L"could not find main class for splash properties");
        return;
    }
    jmethodID method = staticMethodQuietly(env, launcher.get(), "initAwtSplashConfig",
                                           "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/"
                                           "lang/String;II)V");
    if (method == nullptr) {
        logError(L"could not find method for splash properties");
        return;
    }
    auto text = [&](int32_t key) { return LocalRef<jstring>(env, wideToJava(env, narrowToWide(configStringDup(key)))); };
    // Two lines, each: text, x, y, colour "r,g,b", font size, and one further setting.
    LocalRef<jstring> firstText = text(keys::kSplashFirstLineText);
    LocalRef<jstring> firstColour = text(keys::kSplashFirstLineColor);
    LocalRef<jstring> secondText = text(keys::kSplashSecondLineText);
    LocalRef<jstring> secondColour = text(keys::kSplashSecondLineColor);
    jvalue values[14];
    values[0].z = JNI_TRUE;
    values[1].z = configInt(keys::kSplashSetting) != 0 ? JNI_TRUE : JNI_FALSE;
    values[2].l = firstText.get();
    values[3].i = configInt(keys::kSplashFirstLineX);
    values[4].i = configInt(keys::kSplashFirstLineY);
    values[5].l = firstColour.get();
    values[6].i = configInt(keys::kSplashFirstLineFontSize);
    values[7].i = configInt(keys::kSplashFirstLineSetting);
    values[8].l = secondText.get();
    values[9].i = configInt(keys::kSplashSecondLineX);
    values[10].i = configInt(keys::kSplashSecondLineY);
    values[11].l = secondColour.get();
    values[12].i = configInt(keys::kSplashSecondLineFontSize);
    values[13].i = configInt(keys::kSplashSecondLineSetting);
    (*env)->CallStaticVoidMethodA(env, launcher.get(), method, values);
    reportJavaException(env, false);
}

// The launcher's own export "registerNatives", looked up by name like any library's entry point:
// JNIEnv, the module that holds the natives, and the error writer (the native log's logError).
void registerInstallerNatives(JNIEnv* env)
{
    logInfo(L"load helper dll");
    HMODULE self = ::GetModuleHandleA(nullptr);
    logInfo(L"helper dll (in-module) %p", self);
    auto registerAll = boundFunction<RegisterNativesFn>(self, "registerNatives");
    if (registerAll == nullptr) {
        logError(L"did not find register natives in helper dll");
        return;
    }
    if (!initFromLauncher(env, true)) return;
    if (!registerAll(env, self, &logError)) {
        logError(L"registering helper dll failed");
        initFromLauncher(env, false);
    }
}

// Tells the Java side which executable to delete after the installer has ended.
void handOverSelfDeletion(JNIEnv* env)
{
    LocalRef<jclass> winDel(env, findClassQuietly(env, "com/tallow/runtime/util/WinDel"));
    if (!winDel) {
        logError(L"did not find WinDel class");
        return;
    }
    jfieldID field = (*env)->GetStaticFieldID(env, winDel.get(), "externalExecutable", "Ljava/lang/String;");
    if (field == nullptr) {
        clearPendingException(env);
        logError(L"did not find WinDel field");
        return;
    }
    std::wstring path = moduleFileName();
    if (path.empty()) {
        logError(L"could not get module name for WinDel");
        return;
    }
    LocalRef<jstring> value(env, wideToJava(env, path));
    if (!value) {
        logError(L"could not create string for WinDel");
        return;
    }
    (*env)->SetStaticObjectField(env, winDel.get(), field, value.get());
}

// The "-D" property may carry a short or lossy narrow path; this one is the exact Unicode path.
void setModuleNameProperty(JNIEnv* env)
{
    LocalRef<jclass> system(env, findClassQuietly(env, "java/lang/System"));
    if (!system) {
        logError(L"could not get system class");
        return;
    }
    jmethodID setProperty = staticMethodQuietly(env, system.get(), "setProperty",
                                                "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (setProperty == nullptr) {
        logError(L"could not get method for module name init");
        return;
    }
    const std::wstring& path = executablePathWide();
    LocalRef<jstring> key(env, wideToJava(env, L"tallow.moduleName"));
    LocalRef<jstring> value(env, key ? wideToJava(env, path) : nullptr);
    if (!key || !value) {
        logError(L"could not create string for init module name");
        return;
    }
    logInfo(L"setting tallow.moduleName to %s", path.c_str());
    jvalue arguments[2];
    arguments[0].l = key.get();
    arguments[1].l = value.get();
    LocalRef<jobject> previous(env, (*env)->CallStaticObjectMethodA(env, system.get(), setProperty, arguments));
    reportJavaException(env, false);
}

bool runVmBody(void* context) { return runVm(*static_cast<LaunchRecord*>(context)); }

struct ThreadStart {
    bool (*body)(void*);
    void* context;
};

DWORD WINAPI vmThreadProc(LPVOID parameter)
{
    const ThreadStart* start = static_cast<const ThreadStart*>(parameter);
    return start->body(start->context) ? 1 : 0;
}

}  // namespace

bool vmRunning() { return ::InterlockedCompareExchange(&vmState().running, 0, 0) != 0; }
JavaVM* runningJavaVm() { return vmRunning() ? vmState().vm : nullptr; }

bool initFromLauncher(JNIEnv* env, bool value)
{
    LocalRef<jclass> common(env, findClassQuietly(env, "com/stowline/runtime/installer/platform/win32/Common"));
    if (!common) {
        logError(L"did not find com/stowline/runtime/installer/platform/win32/Common");
        return false;
    }
    jmethodID method = staticMethodQuietly(env, common.get(), "initFromLauncher", "(Z)V");
    if (method == nullptr) {
        logError(L"did not find initMethod");
        return false;
    }
    jvalue argument;
    argument.z = value ? JNI_TRUE : JNI_FALSE;
    (*env)->CallStaticVoidMethodA(env, common.get(), method, &argument);
    reportJavaException(env, false);
    return true;
}

std::vector<std::wstring> buildMainArguments(const LaunchRecord& record)
{
    MainArgumentInputs inputs;
    inputs.launcherType = configInt(keys::kLauncherType);
    inputs.mainClass = toU16(narrowToWide(configStringDup(keys::kMainClass)));
    inputs.mainFromModulePath = configFlag(keys::kMainFromModulePath);
    inputs.errorFile = toU16(redirectionFile(keys::kRedirectStderr, keys::kStderrFile));
    inputs.outputFile = toU16(redirectionFile(keys::kRedirectStdout, keys::kStdoutFile));
    inputs.appendRedirection = configFlag(keys::kRedirectAppend);
    for (const std::wstring& argument : record.arguments) inputs.arguments.push_back(toU16(argument));
    std::wstring configured = configWide(keys::kDefaultArguments, kConfiguredArgumentsLimit);
    if (!configured.empty())
        splitCommandLine(toU16(expandVariables(configured, false)), inputs.configured, false);
    inputs.javaOptionArguments = configFlag(keys::kJavaOptionArguments);
    std::vector<std::wstring> result;
    for (const std::u16string& argument : mainArguments(inputs)) result.push_back(toWide(argument));
    return result;
}

bool invokeMain(const LaunchRecord& record, JNIEnv* env)
{
    const char* className = launcherClassName();
    logInfo(L"main class: %S", className);
    jclass launcher = findClassQuietly(env, className);
    if (launcher == nullptr) {
        logError(L"could not find main class");
        fatalMessage(messages::kMainClassNotLoaded, nullptr);
    }
    jmethodID main = staticMethodQuietly(env, launcher, "main", "([Ljava/lang/String;)V");
    if (main == nullptr) {
        logError(L"could not find main method");
        fatalMessage(messages::kMainMethodNotFound, nullptr);
    }
    std::vector<std::wstring> arguments = buildMainArguments(record);
    logInfo(L"param count: %d", static_cast<int>(arguments.size()));
    jclass stringClass = findClassQuietly(env, "java/lang/String");
    jobjectArray array = stringClass ? (*env)->NewObjectArray(env, static_cast<jsize>(arguments.size()), stringClass, nullptr)
                                     : nullptr;
    if (array == nullptr) fatalMessage(messages::kInternalError, kNoArgumentArray);
    for (size_t i = 0; i < arguments.size(); ++i) {
        logInfo(L"param %d: %s", static_cast<int>(i), arguments[i].c_str());
        LocalRef<jstring> argument(env, wideToJava(env, arguments[i]));
        if (!argument) fatalMessage(messages::kInternalError, kNoArgumentString);
        (*env)->SetObjectArrayElement(env, array, static_cast<jsize>(i), argument.get());
    }
    logInfo(L"calling main");
    jvalue argument;
    argument.l = array;
    (*env)->CallStaticVoidMethodA(env, launcher, main, &argument);
    logInfo(L"main returned");
    return reportJavaException(env, true);
}

bool runVm(LaunchRecord& record)
{
    logInfo(L"Creating JVM");
    // Loaded while the VM is created, on a thread started from this one: started before this
    // thread, the load would hold the loader lock that this thread's start waits for, and during
    // the check and extraction, the lock that their run-time bindings wait for.
    startCommonControls();
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (record.jvm.createJavaVM == nullptr ||
        record.jvm.createJavaVM(&vm, reinterpret_cast<void**>(&env), &record.vmOptions->initArgs) != JNI_OK ||
        env == nullptr) {
        logError(L"could not initialize JVM");
        return false;
    }
    vmState().vm = vm;
    vmState().env = env;
    logInfo(L"JVM created");
    awaitCommonControls();
    if (record.showSplash) showSplash(record.jvm.home, record.splashValue);
    ::InterlockedExchange(&vmState().running, 1);
    registerNativeLoggerCleanup(env);
    setListenerJavaVm(vm);

    if (configFlag(keys::kSplashThroughJava)) initAwtSplashConfig(env);
    if (isInstaller()) registerInstallerNatives(env);
    handOverSelfDeletion(env);
    setModuleNameProperty(env);

    if (!invokeMain(record, env)) {
        logError(L"could not call main");
        return false;
    }
    if (record.destroyAfterMain) {
        logInfo(L"dest JVM");
        (*vm)->DestroyJavaVM(vm);
    }
    logInfo(L"launch done");
    return true;
}

bool runOnVmThread(uint64_t stackSize, bool (*body)(void*), void* context)
{
    ThreadStart start{body, context};
    unique_handle thread;
    if (stackSize <= SIZE_MAX)
        thread.reset(::CreateThread(nullptr, static_cast<SIZE_T>(stackSize), vmThreadProc, &start,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread) {
        logInfo(L"could not create VM thread (%d), running on this thread", static_cast<int>(::GetLastError()));
        return body(context);
    }
    ::WaitForSingleObject(thread.get(), INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeThread(thread.get(), &exitCode);
    return exitCode != 0;
}

bool launchProgram(const std::vector<std::wstring>& arguments, const LoadedJvm& jvm, bool destroyAfterMain,
                   bool showSplash, int splashValue)
{
    logInfo(L"launching program");
    // Neither is freed: the VM keeps the option strings, and main may outlive this frame when
    // System.exit ends the process from another thread.
    LaunchRecord* record = new LaunchRecord();
    record->arguments = arguments;
    record->jvm = jvm;
    record->destroyAfterMain = destroyAfterMain;
    record->showSplash = showSplash;
    record->splashValue = splashValue;
    record->vmOptions = new VmOptions();
    buildVmOptions(currentLauncherProperties(), arguments, jvm, *record->vmOptions);

    uint64_t stackSize = stackSizeFromOptions(record->vmOptions->options);
    logInfo(L"used stack size %d", static_cast<int>(stackSize > INT32_MAX ? INT32_MAX : stackSize));
    return runOnVmThread(stackSize, runVmBody, record);
}

void runLaunchStep()
{
    std::vector<std::u16string> parts;
    splitCommandLine(toU16(::GetCommandLineW()), parts, true);
    std::vector<std::wstring> arguments;
    for (const std::u16string& part : parts) arguments.push_back(toWide(part));
    if (!launchProgram(arguments, loadedJvm(), true, false, 0)) {
        logError(L"Could not start JVM");
        fatalMessage(messages::kJvmNotStarted, nullptr);
    }
}
