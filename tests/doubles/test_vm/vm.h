// The test VM's object model: classes, objects, method and field identifiers, the threads that
// hold a JNIEnv, and the one lock around all of it.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "jni/jni.h"
#include "script.h"

namespace testvm {

struct Klass;
struct Obj;
struct ThreadEnv;

// A typed Java value: type is the signature letter (Z B C S I J F D, L for any reference, V).
struct Value {
    char type = 'V';
    jvalue v{};
    Obj* ref() const { return type == 'L' ? reinterpret_cast<Obj*>(v.l) : nullptr; }
    static Value of(char type, jvalue v)
    {
        Value value;
        value.type = type == '[' ? 'L' : type;
        value.v = v;
        return value;
    }
    static Value object(Obj* obj)
    {
        Value value;
        value.type = 'L';
        value.v.l = reinterpret_cast<jobject>(obj);
        return value;
    }
};

using Body = std::function<Value(ThreadEnv& env, Obj* self, const std::vector<Value>& args)>;

struct Method {
    Klass* owner = nullptr;
    std::string name, signature;
    bool isStatic = false;
    bool isNative = false;
    Body body;                // built-in behaviour (null: constructor that keeps its arguments)
    void* native = nullptr;   // bound by RegisterNatives
};

struct Field {
    Klass* owner = nullptr;
    std::string name, signature;
    bool isStatic = false;
    Value staticValue;
};

struct Klass {
    std::string name;  // slash form; arrays by descriptor ("[Ljava/lang/String;")
    Klass* super = nullptr;
    Obj* classObject = nullptr;
    bool missing = false;
    std::vector<std::unique_ptr<Method>> methods;
    std::vector<std::unique_ptr<Field>> fields;
};

struct Obj {
    Klass* klass = nullptr;
    bool isString = false;
    std::u16string text;          // String
    char elementType = 0;         // arrays: the element's signature letter ('L' for references)
    std::vector<unsigned char> raw;  // primitive array elements
    std::vector<Obj*> refs;       // object array elements
    std::vector<Value> constructorArgs;
    std::map<Field*, Value> fields;
    Klass* classRef = nullptr;    // class objects
    Method* reflected = nullptr;  // java/lang/reflect/Method objects
    Obj* message = nullptr;       // throwables
    bool hasMessage = false;
    unsigned id = 0;
    jsize length() const;
};

// A thread's JNIEnv: the table pointer must come first (a JNIEnv* points at it).
struct ThreadEnv {
    const JNINativeInterface_* functions = nullptr;
    Obj* pending = nullptr;
    DWORD threadId = 0;
};

// The lock around every piece of VM state; recursive, held only inside JNI functions and never
// while Java code (main, a native) runs.
class Locked {
public:
    Locked();
    ~Locked();
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

struct VmState {
    bool created = false;
    Script script;
    std::map<std::string, std::unique_ptr<Klass>> classes;
    std::vector<std::unique_ptr<Obj>> storage;
    std::set<Obj*> objects;
    std::set<Method*> methods;
    std::set<Field*> fields;
    std::map<DWORD, std::unique_ptr<ThreadEnv>> threads;
    std::map<std::string, std::u16string> properties;
    std::map<void*, std::pair<Obj*, size_t>> borrowed;  // Get*Elements / Get*Chars copies
    std::map<std::string, Value> kept;                  // results kept by "=> name"
    void(JNICALL* exitHook)(jint) = nullptr;
    void(JNICALL* abortHook)() = nullptr;
    int startupCalls = 0;
    unsigned nextId = 1;
};

VmState& vm();
// The state's home; a new VM after DestroyJavaVM replaces it (the old one is left allocated,
// since threads of the old VM may still hold pointers into it).
VmState*& vmSlot();

// Every JNIEnv slot's name, by index.
const char* slotName(int index);
extern const JNINativeInterface_ kEnvTable;
extern const JNIInvokeInterface_ kInvokeTable;
extern JavaVM gJavaVm;

// Threads.
ThreadEnv* currentThreadEnv();  // null when this thread is not attached
ThreadEnv* attachThread();
inline JNIEnv* asJniEnv(ThreadEnv* env) { return reinterpret_cast<JNIEnv*>(env); }
inline ThreadEnv& fromJniEnv(JNIEnv* env) { return *reinterpret_cast<ThreadEnv*>(env); }

// Set-up: the built-in classes, then the script's changes.
void defineClasses();

// Classes and members (lock held).
Klass* defineClass(const std::string& name, const std::string& super);
Klass* findClass(const std::string& name);  // null when missing or unknown
Klass* arrayClass(const std::string& descriptor);
Method* addMethod(Klass* klass, const std::string& name, const std::string& signature, bool isStatic, Body body);
Method* addNative(Klass* klass, const std::string& name, const std::string& signature);
Field* addField(Klass* klass, const std::string& name, const std::string& signature, bool isStatic);
Method* findMethod(Klass* klass, const std::string& name, const std::string& signature, bool isStatic);
Field* findField(Klass* klass, const std::string& name, const std::string& signature, bool isStatic);
bool isSubclass(Klass* klass, Klass* ancestor);

// Objects (lock held).
Obj* newObject(Klass* klass);
Obj* newString(const std::u16string& text);
Obj* newArray(const std::string& descriptor, jsize length);
Obj* newThrowable(const std::string& className, const std::string& message);
Obj* boxed(const char* className, char type, jvalue v);
std::u16string toStringText(Obj* obj);  // what toString gives
void throwNew(ThreadEnv& env, const std::string& className, const std::string& message);
size_t elementSize(char type);

// Rendering for the report.
std::string render(const Value& value);
std::string renderObject(Obj* obj);

// Runs a method (virtual dispatch already done); the lock must not be held.
Value invoke(ThreadEnv& env, Method* method, Obj* self, const std::vector<Value>& args);

// Signature helpers.
std::vector<std::string> parameterTypes(const std::string& signature);  // each a full descriptor
char returnType(const std::string& signature);

// Text.
std::u16string utf8ToU16(const std::string& utf8);
std::string u16ToUtf8(const std::u16string& text);
std::u16string ansiToU16(const std::string& ansi);
std::string modifiedUtf8(const std::u16string& text);
std::u16string fromModifiedUtf8(const char* bytes);
std::string dotted(const std::string& slashName);

// The script's main actions, run by either launcher class's main.
void runMain(ThreadEnv& env, const std::string& className, Obj* arguments);
// System.exit: records, runs the exit hook, ends the process.
[[noreturn]] void systemExit(jint code);

}  // namespace testvm
