// The exported entry points, the JavaVM table, and what the launcher classes' main does.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "report.h"
#include "vm.h"

namespace testvm {

namespace {

bool supportedVersion(jint version)
{
    for (jint known : {JNI_VERSION_1_1, JNI_VERSION_1_2, JNI_VERSION_1_4, JNI_VERSION_1_6, JNI_VERSION_1_8,
                       JNI_VERSION_9, JNI_VERSION_10, JNI_VERSION_19, JNI_VERSION_20, JNI_VERSION_21}) {
        if (version == known) {
            return true;
        }
    }
    return false;
}

std::string hex32(jint value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08x", static_cast<unsigned>(value));
    return buffer;
}

std::wstring wideFromUtf8(const std::string& text)
{
    std::u16string wide = utf8ToU16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string readScriptFile()
{
    wchar_t path[32768];
    DWORD length = ::GetEnvironmentVariableW(L"TEST_VM_SCRIPT", path, 32768);
    if (length == 0 || length >= 32768) {
        return std::string();
    }
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report::line("script-error " + report::quote(u16ToUtf8(std::u16string(path, path + length))));
        return std::string();
    }
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    ::CloseHandle(file);
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    }
    return text;
}

// ---- calling a registered native -----------------------------------------------------------
//
// The native's parameter list is known only at run time. Every JNI parameter type a native of
// this product takes (references, int-sized and long values; no float or double) travels in
// whole machine words on both ABIs: one 8-byte slot each on x64, one 4-byte stack slot (two for a
// long, low half first) under x86 __stdcall. So a native is called through a pointer typed with
// exactly as many word parameters as it needs, and its result is read from the full return
// register pair and cut to the declared return type.

using MachineWord = uintptr_t;
constexpr size_t kMaxWords = 40;

template <size_t... I>
uint64_t callWords(void* function, const MachineWord* words, std::index_sequence<I...>)
{
    using Fn = uint64_t(JNICALL*)(decltype((void)I, MachineWord())...);
    return reinterpret_cast<Fn>(function)(words[I]...);
}

template <size_t N>
uint64_t callWithCount(void* function, const MachineWord* words)
{
    return callWords(function, words, std::make_index_sequence<N>());
}

using Caller = uint64_t (*)(void*, const MachineWord*);

template <size_t... N>
constexpr std::array<Caller, sizeof...(N)> makeCallers(std::index_sequence<N...>)
{
    return {{&callWithCount<N>...}};
}

const std::array<Caller, kMaxWords + 1> kCallers = makeCallers(std::make_index_sequence<kMaxWords + 1>());

Value callNative(ThreadEnv& env, Method* method, Obj* self, const std::vector<Value>& args)
{
    std::vector<MachineWord> words;
    words.push_back(reinterpret_cast<MachineWord>(asJniEnv(&env)));
    {
        Locked lock;
        words.push_back(reinterpret_cast<MachineWord>(self ? self : method->owner->classObject));
    }
    for (const Value& arg : args) {
        switch (arg.type) {
        case 'Z': words.push_back(arg.v.z); break;
        case 'B': words.push_back(static_cast<MachineWord>(static_cast<intptr_t>(arg.v.b))); break;
        case 'C': words.push_back(arg.v.c); break;
        case 'S': words.push_back(static_cast<MachineWord>(static_cast<intptr_t>(arg.v.s))); break;
        case 'I': words.push_back(static_cast<MachineWord>(static_cast<intptr_t>(arg.v.i))); break;
        case 'J':
            if (sizeof(MachineWord) == 8) {
                words.push_back(static_cast<MachineWord>(arg.v.j));
            } else {
                uint64_t bits = static_cast<uint64_t>(arg.v.j);
                words.push_back(static_cast<MachineWord>(bits & 0xFFFFFFFFu));
                words.push_back(static_cast<MachineWord>(bits >> 16 >> 16));
            }
            break;
        case 'L': words.push_back(reinterpret_cast<MachineWord>(arg.v.l)); break;
        default: {
            Locked lock;
            throwNew(env, "java/lang/UnsatisfiedLinkError", "floating-point parameters are not supported");
            return Value::of(returnType(method->signature), jvalue{});
        }
        }
    }
    if (words.size() > kMaxWords) {
        Locked lock;
        throwNew(env, "java/lang/UnsatisfiedLinkError", "too many parameters");
        return Value::of(returnType(method->signature), jvalue{});
    }
    uint64_t raw = kCallers[words.size()](method->native, words.data());
    jvalue v{};
    char type = returnType(method->signature);
    switch (type) {
    case 'Z': v.z = static_cast<jboolean>(raw & 0xFF); break;
    case 'B': v.b = static_cast<jbyte>(raw & 0xFF); break;
    case 'C': v.c = static_cast<jchar>(raw & 0xFFFF); break;
    case 'S': v.s = static_cast<jshort>(raw & 0xFFFF); break;
    case 'I': v.i = static_cast<jint>(static_cast<uint32_t>(raw)); break;
    case 'J': v.j = static_cast<jlong>(raw); break;
    case 'L': v.l = reinterpret_cast<jobject>(static_cast<uintptr_t>(raw)); break;
    default: break;
    }
    return Value::of(type, v);
}

// ---- script values --------------------------------------------------------------------------

bool parseNumber(const std::string& text, long long& out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool parseHex(const std::string& text, std::vector<unsigned char>& out)
{
    if (text.size() % 2) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string pair = text.substr(i, 2);
        unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0') {
            return false;
        }
        out.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

Obj* byteArray(const std::vector<unsigned char>& bytes)
{
    Obj* array = newArray("[B", static_cast<jsize>(bytes.size()));
    array->raw = bytes;
    return array;
}

bool parseValue(const std::string& type, const std::vector<Word>& words, size_t& i, Value& out, std::string& error);

bool parseArray(const std::string& type, const std::vector<Word>& words, size_t& i, Value& out, std::string& error)
{
    std::vector<Value> elements;
    ++i;  // "{"
    std::string elementType = type.substr(1);
    while (i < words.size() && !(words[i].text == "}" && !words[i].literal)) {
        Value element;
        if (!parseValue(elementType, words, i, element, error)) {
            return false;
        }
        elements.push_back(element);
    }
    if (i >= words.size()) {
        error = "no } after the array elements";
        return false;
    }
    ++i;  // "}"
    Obj* array = newArray(type, static_cast<jsize>(elements.size()));
    for (size_t k = 0; k < elements.size(); ++k) {
        if (array->elementType == 'L') {
            array->refs[k] = elements[k].ref();
        } else {
            size_t size = elementSize(array->elementType);
            std::memcpy(array->raw.data() + k * size, &elements[k].v, size);
        }
    }
    out = Value::object(array);
    return true;
}

bool parseValue(const std::string& type, const std::vector<Word>& words, size_t& i, Value& out, std::string& error)
{
    if (i >= words.size()) {
        error = "missing argument of type " + type;
        return false;
    }
    const Word& word = words[i];
    const std::string& text = word.text;
    if (!word.literal && text.size() > 1 && text[0] == '$') {
        auto it = vm().kept.find(text.substr(1));
        if (it == vm().kept.end()) {
            error = "no kept value " + text;
            return false;
        }
        out = it->second;
        ++i;
        return true;
    }
    jvalue v{};
    long long number = 0;
    char letter = type[0];
    switch (letter) {
    case 'Z':
        if (text != "true" && text != "false") {
            error = "not a boolean: " + text;
            return false;
        }
        v.z = text == "true";
        break;
    case 'B': case 'S': case 'I': case 'J': case 'C':
        if (!parseNumber(text, number)) {
            if (letter == 'C' && utf8ToU16(text).size() == 1) {
                number = utf8ToU16(text)[0];
            } else {
                error = "not a number: " + text;
                return false;
            }
        }
        if (letter == 'B') v.b = static_cast<jbyte>(number);
        if (letter == 'S') v.s = static_cast<jshort>(number);
        if (letter == 'I') v.i = static_cast<jint>(number);
        if (letter == 'J') v.j = static_cast<jlong>(number);
        if (letter == 'C') v.c = static_cast<jchar>(number);
        break;
    case 'F': case 'D': {
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') {
            error = "not a number: " + text;
            return false;
        }
        if (letter == 'F') v.f = static_cast<jfloat>(d); else v.d = d;
        break;
    }
    default: {
        bool bare = !word.literal;
        if (bare && text == "null") {
            ++i;
            out = Value::object(nullptr);
            return true;
        }
        if (letter == '[') {
            if (bare && type == "[B" && startsWith(text, "hex:")) {
                std::vector<unsigned char> bytes;
                if (!parseHex(text.substr(4), bytes)) {
                    error = "bad hex: " + text;
                    return false;
                }
                ++i;
                out = Value::object(byteArray(bytes));
                return true;
            }
            if (bare && text == "{") {
                return parseArray(type, words, i, out, error);
            }
            error = "expected { or null for " + type;
            return false;
        }
        Obj* obj = nullptr;
        if (type == "Ljava/lang/String;") {
            obj = newString(utf8ToU16(text));
        } else if (type == "Ljava/lang/Class;" || (bare && startsWith(text, "class:"))) {
            std::string name = startsWith(text, "class:") && bare ? text.substr(6) : text;
            Klass* klass = findClass(name);
            if (!klass) {
                error = "unknown class " + name;
                return false;
            }
            obj = klass->classObject;
        } else if (bare && startsWith(text, "int:") && parseNumber(text.substr(4), number)) {
            v.i = static_cast<jint>(number);
            obj = boxed("java/lang/Integer", 'I', v);
        } else if (bare && startsWith(text, "long:") && parseNumber(text.substr(5), number)) {
            v.j = static_cast<jlong>(number);
            obj = boxed("java/lang/Long", 'J', v);
        } else if (bare && (text == "bool:true" || text == "bool:false")) {
            v.z = text == "bool:true";
            obj = boxed("java/lang/Boolean", 'Z', v);
        } else if (bare && startsWith(text, "str:")) {
            obj = newString(utf8ToU16(text.substr(4)));
        } else if (bare && startsWith(text, "hex:")) {
            std::vector<unsigned char> bytes;
            if (!parseHex(text.substr(4), bytes)) {
                error = "bad hex: " + text;
                return false;
            }
            obj = byteArray(bytes);
        } else if (bare && text == "{") {
            return parseArray("[Ljava/lang/String;", words, i, out, error);
        } else if (bare && startsWith(text, "new:")) {
            Klass* klass = findClass(text.substr(4));
            if (!klass) {
                error = "unknown class " + text.substr(4);
                return false;
            }
            obj = newObject(klass);
        } else {
            obj = newString(utf8ToU16(text));
        }
        ++i;
        out = Value::object(obj);
        return true;
    }
    }
    ++i;
    out = Value::of(letter, v);
    return true;
}

// ---- main's actions ----------------------------------------------------------------------------

void scriptCall(ThreadEnv& env, const std::vector<Word>& words, bool onThread)
{
    // words: call class method signature args... [=> name]
    std::vector<Word> rest(words.begin(), words.end());
    std::string keep;
    if (rest.size() >= 2 && !rest[rest.size() - 2].literal && rest[rest.size() - 2].text == "=>") {
        keep = rest.back().text;
        rest.resize(rest.size() - 2);
    }
    if (rest.size() < 4) {
        report::line("call-failed " + report::quote("call needs a class, a method and a signature"));
        return;
    }
    const std::string& className = rest[1].text;
    const std::string& methodName = rest[2].text;
    const std::string& signature = rest[3].text;
    Method* method = nullptr;
    std::vector<Value> args;
    {
        Locked lock;
        report::line("call " + report::quote(className) + " " + report::quote(methodName) + " " +
                     report::quote(signature) + (onThread ? " thread" : ""));
        Klass* klass = findClass(className);
        if (klass) {
            for (auto& candidate : klass->methods) {
                if (candidate->isNative && candidate->name == methodName && candidate->signature == signature) {
                    method = candidate.get();
                }
            }
        }
        if (!method || !method->native) {
            report::line("call-failed " + report::quote("no native registered for " + className + "." + methodName +
                                                        signature));
            return;
        }
        size_t i = 4;
        std::string error;
        for (const std::string& type : parameterTypes(signature)) {
            Value value;
            if (!parseValue(type, rest, i, value, error)) {
                report::line("call-failed " + report::quote(error));
                return;
            }
            args.push_back(value);
        }
        if (i != rest.size()) {
            report::line("call-failed " + report::quote("too many arguments"));
            return;
        }
        if (env.pending) {
            report::line("warning " + report::quote("a native called with an exception pending"));
        }
    }
    Value result = callNative(env, method, nullptr, args);
    Locked lock;
    if (result.type == 'L' && result.v.l && !vm().objects.count(result.ref())) {
        report::line("call-failed " + report::quote("the native returned a reference the VM never handed out"));
        result = Value::object(nullptr);
    }
    report::line("result " + render(result));
    for (size_t k = 0; k < args.size(); ++k) {
        Obj* obj = args[k].ref();
        if (obj && obj->elementType) {
            report::line("out " + std::to_string(k) + " " + renderObject(obj));
        }
    }
    if (env.pending) {
        report::line("pending " + renderObject(env.pending));
        env.pending = nullptr;
    }
    if (!keep.empty()) {
        vm().kept[keep] = result;
    }
}

struct ThreadCall {
    std::vector<Word> words;
};

DWORD WINAPI callThread(void* parameter)
{
    auto* call = static_cast<ThreadCall*>(parameter);
    JNIEnv* env = nullptr;
    if (gJavaVm->AttachCurrentThread(&gJavaVm, reinterpret_cast<void**>(&env), nullptr) == JNI_OK) {
        scriptCall(fromJniEnv(env), call->words, true);
        gJavaVm->DetachCurrentThread(&gJavaVm);
    }
    return 0;
}

struct WindowStart {
    std::wstring title;
    HANDLE ready = nullptr;
    HWND window = nullptr;
    DWORD error = 0;
};

DWORD WINAPI windowThread(void* parameter)
{
    auto* start = static_cast<WindowStart*>(parameter);
    static const wchar_t kClassName[] = L"TestVmWindow";
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass);  // fails harmlessly when a second window registers again
    start->window = ::CreateWindowExW(0, kClassName, start->title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
    start->error = start->window ? 0 : ::GetLastError();
    ::SetEvent(start->ready);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

void createWindow(const std::string& title)
{
    // Lives until the process ends, like a Java frame that is never closed.
    auto* start = new WindowStart;
    start->title = wideFromUtf8(title);
    start->ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = ::CreateThread(nullptr, 0, windowThread, start, 0, nullptr);
    if (thread) {
        ::WaitForSingleObject(start->ready, 10000);
        ::CloseHandle(thread);
    }
    // Without a display (Wine with no X server) no window can be made; the error tells why.
    report::line("window " + report::quote(title) + " " +
                 std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(start->window))) +
                 (start->window ? "" : " error " + std::to_string(start->error)));
}

void waitStartup(int count, DWORD milliseconds)
{
    DWORD started = ::GetTickCount();
    for (;;) {
        {
            Locked lock;
            if (vm().startupCalls >= count) {
                report::line("startup-wait " + std::to_string(count) + " reached");
                return;
            }
        }
        if (::GetTickCount() - started >= milliseconds) {
            report::line("startup-wait " + std::to_string(count) + " timeout");
            return;
        }
        ::Sleep(10);
    }
}

// Runs one action; false when main ends here (an exception was thrown).
bool runAction(ThreadEnv& env, const std::vector<Word>& action)
{
    const std::string& verb = action[0].text;
    long long number = 0;
    if (verb == "throw" && action.size() == 3) {
        Locked lock;
        env.pending = newThrowable(action[1].text, action[2].text);
        return false;
    }
    if (verb == "exit" && action.size() == 2 && parseNumber(action[1].text, number)) {
        systemExit(static_cast<jint>(number));
    }
    if (verb == "sleep" && action.size() == 2 && parseNumber(action[1].text, number)) {
        ::Sleep(static_cast<DWORD>(number));
        return true;
    }
    if (verb == "window" && action.size() == 2) {
        createWindow(action[1].text);
        return true;
    }
    long long timeout = 0;
    if (verb == "wait-startup" && action.size() == 3 && parseNumber(action[1].text, number) &&
        parseNumber(action[2].text, timeout)) {
        waitStartup(static_cast<int>(number), static_cast<DWORD>(timeout));
        return true;
    }
    if (verb == "stdout" && action.size() == 2) {
        std::string text = action[1].text + "\n";
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return true;
    }
    if (verb == "call") {
        scriptCall(env, action, false);
        return true;
    }
    if (verb == "call-thread") {
        ThreadCall call{action};
        HANDLE thread = ::CreateThread(nullptr, 0, callThread, &call, 0, nullptr);
        if (thread) {
            ::WaitForSingleObject(thread, INFINITE);
            ::CloseHandle(thread);
        }
        return true;
    }
    std::string line;
    for (const Word& word : action) {
        line += (line.empty() ? "" : " ") + word.text;
    }
    report::line("script-error " + report::quote("main " + line));
    return true;
}

// ---- threads and the invocation interface -----------------------------------------------------

jint JNICALL DestroyJavaVM(JavaVM*)
{
    Locked lock;
    report::line("destroy-vm");
    vm().created = false;
    return JNI_OK;
}

jint attach(void** penv, bool daemon)
{
    Locked lock;
    if (ThreadEnv* existing = currentThreadEnv()) {
        *penv = asJniEnv(existing);
        return JNI_OK;
    }
    if (!vm().created) {
        *penv = nullptr;
        return JNI_ERR;
    }
    report::line(std::string("attach-thread daemon=") + (daemon ? "true" : "false"));
    *penv = asJniEnv(attachThread());
    return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM*, void** penv, void*) { return attach(penv, false); }
jint JNICALL AttachCurrentThreadAsDaemon(JavaVM*, void** penv, void*) { return attach(penv, true); }

jint JNICALL DetachCurrentThread(JavaVM*)
{
    Locked lock;
    auto it = vm().threads.find(::GetCurrentThreadId());
    if (it == vm().threads.end()) {
        return JNI_EDETACHED;
    }
    report::line("detach-thread");
    it->second.release();  // a native may still hold the pointer; leave it allocated
    vm().threads.erase(it);
    return JNI_OK;
}

jint JNICALL GetEnv(JavaVM*, void** penv, jint version)
{
    Locked lock;
    if (!supportedVersion(version)) {
        *penv = nullptr;
        return JNI_EVERSION;
    }
    ThreadEnv* env = currentThreadEnv();
    *penv = env ? asJniEnv(env) : nullptr;
    return env ? JNI_OK : JNI_EDETACHED;
}

JNIInvokeInterface_ buildInvokeTable()
{
    JNIInvokeInterface_ table{};
    table.DestroyJavaVM = DestroyJavaVM;
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    table.GetEnv = GetEnv;
    table.AttachCurrentThreadAsDaemon = AttachCurrentThreadAsDaemon;
    return table;
}

}  // namespace

const JNIInvokeInterface_ kInvokeTable = buildInvokeTable();
JavaVM gJavaVm = &kInvokeTable;

ThreadEnv* currentThreadEnv()
{
    auto it = vm().threads.find(::GetCurrentThreadId());
    return it == vm().threads.end() ? nullptr : it->second.get();
}

ThreadEnv* attachThread()
{
    auto env = std::make_unique<ThreadEnv>();
    env->functions = &kEnvTable;
    env->threadId = ::GetCurrentThreadId();
    ThreadEnv* raw = env.get();
    vm().threads[env->threadId] = std::move(env);
    return raw;
}

Value invoke(ThreadEnv& env, Method* method, Obj* self, const std::vector<Value>& args)
{
    if (method->body) {
        return method->body(env, self, args);
    }
    if (method->isNative) {
        if (!method->native) {
            Locked lock;
            throwNew(env, "java/lang/UnsatisfiedLinkError", method->owner->name + "." + method->name);
            return Value::of(returnType(method->signature), jvalue{});
        }
        return callNative(env, method, self, args);
    }
    return Value::of(returnType(method->signature), jvalue{});
}

void runMain(ThreadEnv& env, const std::string& className, Obj* arguments)
{
    std::vector<std::vector<Word>> actions;
    {
        Locked lock;
        jsize count = arguments && arguments->elementType == 'L' ? arguments->length() : 0;
        report::line("main " + report::quote(className) + " " + std::to_string(count));
        for (jsize i = 0; i < count; ++i) {
            report::line("main-arg " + std::to_string(i) + " " + renderObject(arguments->refs[static_cast<size_t>(i)]));
        }
        actions = vm().script.mainActions;
    }
    for (const auto& action : actions) {
        if (!runAction(env, action)) {
            break;
        }
    }
    Locked lock;
    if (env.pending) {
        report::line("main-threw " + report::quote(toStringText(env.pending)));
    } else {
        report::line("main-returned");
    }
}

void systemExit(jint code)
{
    void(JNICALL * hook)(jint) = nullptr;
    {
        Locked lock;
        hook = vm().exitHook;
        report::line("exit " + std::to_string(code) + (hook ? " hook" : " process"));
    }
    if (hook) {
        hook(code);
    }
    ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace testvm

using namespace testvm;

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args)
{
    auto* init = static_cast<JavaVMInitArgs*>(args);
    return init && supportedVersion(init->version) && init->version != JNI_VERSION_1_1 ? JNI_OK : JNI_EVERSION;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** buffer, jsize length, jsize* count)
{
    Locked lock;
    jsize created = vm().created ? 1 : 0;
    if (count) {
        *count = created;
    }
    if (created && buffer && length > 0) {
        buffer[0] = &gJavaVm;
    }
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args)
{
    Locked lock;
    auto* init = static_cast<JavaVMInitArgs*>(args);
    if (!pvm || !penv || !init) {
        return JNI_EINVAL;
    }
    report::line("create-vm version=" + hex32(init->version) + " options=" + std::to_string(init->nOptions) +
                 " ignore-unrecognized=" + (init->ignoreUnrecognized ? "true" : "false"));
    std::vector<std::string> options;
    for (jint i = 0; i < init->nOptions; ++i) {
        const JavaVMOption& option = init->options[i];
        std::string text = option.optionString ? option.optionString : "";
        options.push_back(text);
        report::line("option " + std::to_string(i) + " " + report::quote(ansiToU16(text)) +
                     (option.extraInfo ? " extra" : ""));
    }
    auto fail = [](jint code) {
        report::line("vm-create-failed " + std::to_string(code));
        return code;
    };
    if (vm().created) {
        return fail(JNI_EEXIST);
    }
    if (!supportedVersion(init->version) || init->version == JNI_VERSION_1_1) {
        return fail(JNI_EVERSION);
    }
    // A fresh state for every VM: one test process may create, destroy and create again.
    vmSlot() = new VmState;
    VmState& state = vm();
    state.script = parseScript(readScriptFile());
    for (const std::string& error : state.script.errors) {
        report::line("script-error " + report::quote(error));
    }
    if (state.script.createFails) {
        return fail(state.script.createResult);
    }
    for (jint i = 0; i < init->nOptions; ++i) {
        const std::string& text = options[static_cast<size_t>(i)];
        void* extra = init->options[i].extraInfo;
        if (text == "exit") {
            state.exitHook = reinterpret_cast<void(JNICALL*)(jint)>(extra);
        } else if (text == "abort") {
            state.abortHook = reinterpret_cast<void(JNICALL*)()>(extra);
        } else if (text.rfind("-D", 0) == 0) {
            size_t equals = text.find('=');
            state.properties[text.substr(2, equals == std::string::npos ? std::string::npos : equals - 2)] =
                equals == std::string::npos ? std::u16string() : ansiToU16(text.substr(equals + 1));
        } else if (!init->ignoreUnrecognized && text != "vfprintf" && text.rfind("-", 0) != 0) {
            return fail(JNI_ERR);
        }
    }
    defineClasses();
    state.created = true;
    ThreadEnv* env = attachThread();
    report::line("vm-created");
    *pvm = &gJavaVm;
    *penv = asJniEnv(env);
    return JNI_OK;
}

}  // extern "C"
