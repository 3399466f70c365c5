// The JNIEnv function table of the test VM. Every implemented slot takes the VM lock for its own
// work and releases it before Java code (a built-in method or a registered native) runs.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "report.h"
#include "vm.h"

namespace testvm {

namespace {

constexpr const char* kSlotNames[] = {
#include "slot_names.inc"
};
constexpr int kSlotCount = static_cast<int>(sizeof kSlotNames / sizeof kSlotNames[0]);
static_assert(kSlotCount * sizeof(void*) == sizeof(JNINativeInterface_), "one name per slot");

constexpr bool sameText(const char* a, const char* b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr int slotIndex(const char* name)
{
    for (int i = 0; i < kSlotCount; ++i) {
        if (sameText(kSlotNames[i], name)) {
            return i;
        }
    }
    return -1;
}

#define SLOT(name) slotIndex(#name)
static_assert(offsetof(JNINativeInterface_, GetMethodID) / sizeof(void*) == SLOT(GetMethodID), "slot order");
static_assert(offsetof(JNINativeInterface_, RegisterNatives) / sizeof(void*) == SLOT(RegisterNatives), "slot order");
static_assert(offsetof(JNINativeInterface_, IsVirtualThread) / sizeof(void*) == SLOT(IsVirtualThread), "slot order");

constexpr unsigned kExitInvalidReference = 88;
constexpr unsigned kExitFatalError = 87;

void warning(const std::string& text) { report::line("warning " + report::quote(text)); }

// JNI allows only the exception functions, the releases and the deletions while an exception is
// pending; anything else is a caller's fault that a real VM may or may not forgive.
void enter(ThreadEnv& env, int slot)
{
    if (!env.pending) {
        return;
    }
    std::string name = kSlotNames[slot];
    bool allowed = name.rfind("Exception", 0) == 0 || name.rfind("Release", 0) == 0 ||
                   name.rfind("Delete", 0) == 0 || name == "MonitorExit" || name == "PushLocalFrame" ||
                   name == "PopLocalFrame";
    if (!allowed) {
        warning(name + " called with an exception pending");
    }
}

[[noreturn]] void invalidReference(int slot)
{
    char index[16];
    std::snprintf(index, sizeof index, "%d", slot);
    report::lineAndStderr(std::string("invalid-reference ") + index + " " + kSlotNames[slot]);
    report::abortProcess(kExitInvalidReference);
}

Obj* deref(jobject ref, int slot)
{
    if (!ref) {
        return nullptr;
    }
    Obj* obj = reinterpret_cast<Obj*>(ref);
    if (!vm().objects.count(obj)) {
        invalidReference(slot);
    }
    return obj;
}

Klass* klassOf(jclass ref, int slot)
{
    Obj* obj = deref(ref, slot);
    if (!obj || !obj->classRef) {
        invalidReference(slot);
    }
    return obj->classRef;
}

Method* methodOf(jmethodID id, int slot)
{
    Method* method = reinterpret_cast<Method*>(id);
    if (!vm().methods.count(method)) {
        invalidReference(slot);
    }
    return method;
}

Field* fieldOf(jfieldID id, int slot)
{
    Field* field = reinterpret_cast<Field*>(id);
    if (!vm().fields.count(field)) {
        invalidReference(slot);
    }
    return field;
}

jobject ref(Obj* obj) { return reinterpret_cast<jobject>(obj); }

std::vector<Value> argsFromVa(const std::string& signature, va_list args)
{
    std::vector<Value> values;
    for (const std::string& type : parameterTypes(signature)) {
        jvalue v{};
        switch (type[0]) {
        case 'Z': v.z = static_cast<jboolean>(va_arg(args, int)); break;
        case 'B': v.b = static_cast<jbyte>(va_arg(args, int)); break;
        case 'C': v.c = static_cast<jchar>(va_arg(args, int)); break;
        case 'S': v.s = static_cast<jshort>(va_arg(args, int)); break;
        case 'I': v.i = va_arg(args, jint); break;
        case 'J': v.j = va_arg(args, jlong); break;
        case 'F': v.f = static_cast<jfloat>(va_arg(args, double)); break;
        case 'D': v.d = va_arg(args, double); break;
        default: v.l = va_arg(args, jobject); break;
        }
        values.push_back(Value::of(type[0], v));
    }
    return values;
}

std::vector<Value> argsFromArray(const std::string& signature, const jvalue* args)
{
    std::vector<Value> values;
    size_t i = 0;
    for (const std::string& type : parameterTypes(signature)) {
        values.push_back(Value::of(type[0], args ? args[i] : jvalue{}));
        ++i;
    }
    return values;
}

void checkReferences(const std::vector<Value>& args, int slot)
{
    for (const Value& arg : args) {
        if (arg.type == 'L') {
            deref(arg.v.l, slot);
        }
    }
}

enum class CallKind { Virtual, Nonvirtual, Static };

// The shared body of all Call*Method* slots and NewObject*.
Value callMethod(ThreadEnv& env, int slot, CallKind kind, jobject objRef, jclass classRef, jmethodID id,
                 std::vector<Value> (*collect)(const std::string&, void*), void* source, char expected)
{
    Method* target = nullptr;
    Obj* self = nullptr;
    std::vector<Value> args;
    {
        Locked lock;
        enter(env, slot);
        Method* method = methodOf(id, slot);
        args = collect(method->signature, source);
        checkReferences(args, slot);
        if (kind == CallKind::Static) {
            Klass* klass = klassOf(classRef, slot);
            if (!method->isStatic) {
                warning(std::string(kSlotNames[slot]) + " with the instance method " + method->owner->name + "." +
                        method->name);
            } else if (!isSubclass(klass, method->owner)) {
                warning(std::string(kSlotNames[slot]) + " of " + method->owner->name + "." + method->name +
                        " through the unrelated class " + klass->name);
            }
            target = method;
        } else {
            self = deref(objRef, slot);
            if (kind == CallKind::Nonvirtual) {
                klassOf(classRef, slot);
            }
            if (!self) {
                throwNew(env, "java/lang/NullPointerException", method->name);
                return Value::of(expected, jvalue{});
            }
            if (method->isStatic) {
                warning(std::string(kSlotNames[slot]) + " with the static method " + method->owner->name + "." +
                        method->name);
            }
            if (!isSubclass(self->klass, method->owner)) {
                warning("method " + method->owner->name + "." + method->name + " called on an instance of " +
                        self->klass->name);
            }
            target = method;
            if (kind == CallKind::Virtual) {
                Method* own = findMethod(self->klass, method->name, method->signature, false);
                if (own) {
                    target = own;
                }
            }
        }
        char actual = returnType(method->signature);
        if (expected != 'N' && actual != expected) {
            warning(std::string(kSlotNames[slot]) + " of " + method->owner->name + "." + method->name +
                    " which returns " + method->signature.substr(method->signature.find(')') + 1));
        }
    }
    return invoke(env, target, self, args);
}

std::vector<Value> collectVa(const std::string& signature, void* source)
{
    return argsFromVa(signature, *static_cast<va_list*>(source));
}

std::vector<Value> collectArray(const std::string& signature, void* source)
{
    return argsFromArray(signature, static_cast<const jvalue*>(source));
}

template <typename T>
T as(const Value& value);
template <>
jobject as<jobject>(const Value& value)
{
    return value.type == 'L' ? value.v.l : nullptr;
}
template <>
jboolean as<jboolean>(const Value& value) { return value.v.z; }
template <>
jbyte as<jbyte>(const Value& value) { return value.v.b; }
template <>
jchar as<jchar>(const Value& value) { return value.v.c; }
template <>
jshort as<jshort>(const Value& value) { return value.v.s; }
template <>
jint as<jint>(const Value& value) { return value.v.i; }
template <>
jlong as<jlong>(const Value& value) { return value.v.j; }
template <>
jfloat as<jfloat>(const Value& value) { return value.v.f; }
template <>
jdouble as<jdouble>(const Value& value) { return value.v.d; }

template <typename T>
void put(jvalue& v, T value);
template <>
void put<jobject>(jvalue& v, jobject value) { v.l = value; }
template <>
void put<jboolean>(jvalue& v, jboolean value) { v.z = value; }
template <>
void put<jbyte>(jvalue& v, jbyte value) { v.b = value; }
template <>
void put<jchar>(jvalue& v, jchar value) { v.c = value; }
template <>
void put<jshort>(jvalue& v, jshort value) { v.s = value; }
template <>
void put<jint>(jvalue& v, jint value) { v.i = value; }
template <>
void put<jlong>(jvalue& v, jlong value) { v.j = value; }
template <>
void put<jfloat>(jvalue& v, jfloat value) { v.f = value; }
template <>
void put<jdouble>(jvalue& v, jdouble value) { v.d = value; }

// ---- classes, exceptions, references ---------------------------------------------------------

jint JNICALL GetVersion(JNIEnv*) { return JNI_VERSION_21; }

jclass JNICALL FindClass(JNIEnv* envPtr, const char* name)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(FindClass));
    std::string text = name ? name : "";
    Klass* klass = findClass(text);
    report::line("find-class " + report::quote(text) + (klass ? " found" : " missing"));
    if (!klass) {
        throwNew(env, "java/lang/NoClassDefFoundError", text);
        return nullptr;
    }
    return ref(klass->classObject);
}

jmethodID JNICALL FromReflectedMethod(JNIEnv* envPtr, jobject method)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(FromReflectedMethod));
    Obj* obj = deref(method, SLOT(FromReflectedMethod));
    return obj ? reinterpret_cast<jmethodID>(obj->reflected) : nullptr;
}

jobject JNICALL ToReflectedMethod(JNIEnv* envPtr, jclass cls, jmethodID id, jboolean)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(ToReflectedMethod));
    klassOf(cls, SLOT(ToReflectedMethod));
    Obj* obj = newObject(defineClass("java/lang/reflect/Method", "java/lang/Object"));
    obj->reflected = methodOf(id, SLOT(ToReflectedMethod));
    return ref(obj);
}

jclass JNICALL GetSuperclass(JNIEnv* envPtr, jclass sub)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetSuperclass));
    Klass* klass = klassOf(sub, SLOT(GetSuperclass));
    return klass->super ? ref(klass->super->classObject) : nullptr;
}

jboolean JNICALL IsAssignableFrom(JNIEnv* envPtr, jclass sub, jclass sup)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(IsAssignableFrom));
    return isSubclass(klassOf(sub, SLOT(IsAssignableFrom)), klassOf(sup, SLOT(IsAssignableFrom))) ? JNI_TRUE
                                                                                                   : JNI_FALSE;
}

jint JNICALL Throw(JNIEnv* envPtr, jthrowable obj)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(Throw));
    Obj* thrown = deref(obj, SLOT(Throw));
    if (!thrown) {
        return JNI_ERR;
    }
    env.pending = thrown;
    return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv* envPtr, jclass clazz, const char* message)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(ThrowNew));
    Klass* klass = klassOf(clazz, SLOT(ThrowNew));
    Obj* thrown = newObject(klass);
    if (message) {
        thrown->message = newString(fromModifiedUtf8(message));
        thrown->hasMessage = true;
        thrown->constructorArgs.push_back(Value::object(thrown->message));
    }
    env.pending = thrown;
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* envPtr) { return ref(fromJniEnv(envPtr).pending); }

void JNICALL ExceptionDescribe(JNIEnv* envPtr)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    if (!env.pending) {
        return;
    }
    std::u16string text = toStringText(env.pending);
    report::line("exception-describe " + report::quote(text));
    std::string printed = "Exception: " + u16ToUtf8(text) + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), printed.data(), static_cast<DWORD>(printed.size()), &written,
                nullptr);
    // Describing clears the exception, as the JNI documentation says.
    env.pending = nullptr;
}

void JNICALL ExceptionClear(JNIEnv* envPtr)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    if (env.pending) {
        report::line("exception-clear");
        env.pending = nullptr;
    }
}

void JNICALL FatalError(JNIEnv*, const char* message)
{
    report::lineAndStderr("fatal-error " + report::quote(std::string(message ? message : "")));
    if (vm().abortHook) {
        vm().abortHook();
    }
    report::abortProcess(kExitFatalError);
}

jint JNICALL PushLocalFrame(JNIEnv*, jint) { return JNI_OK; }

jobject JNICALL PopLocalFrame(JNIEnv*, jobject result)
{
    Locked lock;
    deref(result, SLOT(PopLocalFrame));
    return result;
}

jobject JNICALL NewGlobalRef(JNIEnv* envPtr, jobject obj)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(NewGlobalRef));
    return ref(deref(obj, SLOT(NewGlobalRef)));
}

void JNICALL DeleteGlobalRef(JNIEnv*, jobject obj)
{
    Locked lock;
    deref(obj, SLOT(DeleteGlobalRef));
}

void JNICALL DeleteLocalRef(JNIEnv*, jobject obj)
{
    Locked lock;
    deref(obj, SLOT(DeleteLocalRef));
}

jboolean JNICALL IsSameObject(JNIEnv* envPtr, jobject a, jobject b)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(IsSameObject));
    return deref(a, SLOT(IsSameObject)) == deref(b, SLOT(IsSameObject)) ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewLocalRef(JNIEnv* envPtr, jobject obj)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(NewLocalRef));
    return ref(deref(obj, SLOT(NewLocalRef)));
}

jint JNICALL EnsureLocalCapacity(JNIEnv*, jint) { return JNI_OK; }

// ---- objects ---------------------------------------------------------------------------------

jobject JNICALL AllocObject(JNIEnv* envPtr, jclass clazz)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(AllocObject));
    return ref(newObject(klassOf(clazz, SLOT(AllocObject))));
}

jobject construct(JNIEnv* envPtr, int slot, jclass clazz, jmethodID id,
                  std::vector<Value> (*collect)(const std::string&, void*), void* source)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Obj* obj = nullptr;
    {
        Locked lock;
        enter(env, slot);
        Klass* klass = klassOf(clazz, slot);
        Method* method = methodOf(id, slot);
        if (method->name != "<init>" || method->owner != klass) {
            warning(std::string(kSlotNames[slot]) + " of " + klass->name + " with " + method->owner->name + "." +
                    method->name);
        }
        obj = newObject(klass);
    }
    callMethod(env, slot, CallKind::Nonvirtual, ref(obj), clazz, id, collect, source, 'N');
    return ref(obj);
}

jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    jobject obj = construct(env, SLOT(NewObjectV), clazz, id, collectVa, &copy);
    va_end(copy);
    return obj;
}

jobject JNICALL NewObject(JNIEnv* env, jclass clazz, jmethodID id, ...)
{
    va_list args;
    va_start(args, id);
    jobject obj = construct(env, SLOT(NewObject), clazz, id, collectVa, &args);
    va_end(args);
    return obj;
}

jobject JNICALL NewObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args)
{
    return construct(env, SLOT(NewObjectA), clazz, id, collectArray, const_cast<jvalue*>(args));
}

jclass JNICALL GetObjectClass(JNIEnv* envPtr, jobject obj)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetObjectClass));
    Obj* object = deref(obj, SLOT(GetObjectClass));
    if (!object) {
        invalidReference(SLOT(GetObjectClass));
    }
    return ref(object->klass->classObject);
}

jboolean JNICALL IsInstanceOf(JNIEnv* envPtr, jobject obj, jclass clazz)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(IsInstanceOf));
    Obj* object = deref(obj, SLOT(IsInstanceOf));
    Klass* klass = klassOf(clazz, SLOT(IsInstanceOf));
    return (!object || isSubclass(object->klass, klass)) ? JNI_TRUE : JNI_FALSE;
}

jmethodID lookupMethod(JNIEnv* envPtr, int slot, jclass clazz, const char* name, const char* sig, bool isStatic)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, slot);
    Klass* klass = klassOf(clazz, slot);
    std::string methodName = name ? name : "";
    std::string signature = sig ? sig : "";
    Method* method = findMethod(klass, methodName, signature, isStatic);
    report::line("get-method " + report::quote(klass->name) + " " + report::quote(methodName) + " " +
                 report::quote(signature) + (isStatic ? " static" : " instance") + (method ? " found" : " missing"));
    if (!method) {
        throwNew(env, "java/lang/NoSuchMethodError", methodName);
    }
    return reinterpret_cast<jmethodID>(method);
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig)
{
    return lookupMethod(env, SLOT(GetMethodID), clazz, name, sig, false);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig)
{
    return lookupMethod(env, SLOT(GetStaticMethodID), clazz, name, sig, true);
}

jfieldID lookupField(JNIEnv* envPtr, int slot, jclass clazz, const char* name, const char* sig, bool isStatic)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, slot);
    Klass* klass = klassOf(clazz, slot);
    std::string fieldName = name ? name : "";
    std::string signature = sig ? sig : "";
    Field* field = findField(klass, fieldName, signature, isStatic);
    report::line("get-field " + report::quote(klass->name) + " " + report::quote(fieldName) + " " +
                 report::quote(signature) + (isStatic ? " static" : " instance") + (field ? " found" : " missing"));
    if (!field) {
        throwNew(env, "java/lang/NoSuchFieldError", fieldName);
    }
    return reinterpret_cast<jfieldID>(field);
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig)
{
    return lookupField(env, SLOT(GetFieldID), clazz, name, sig, false);
}

jfieldID JNICALL GetStaticFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig)
{
    return lookupField(env, SLOT(GetStaticFieldID), clazz, name, sig, true);
}

// ---- typed families ------------------------------------------------------------------------

void checkFieldType(Field* field, char type, int slot)
{
    char declared = field->signature[0] == '[' ? 'L' : field->signature[0];
    if (declared != type) {
        warning(std::string(kSlotNames[slot]) + " on the field " + field->owner->name + "." + field->name + " of type " +
                field->signature);
    }
}

template <typename T, char Type, int GetSlot>
T getField(JNIEnv* envPtr, jobject obj, jfieldID id)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, GetSlot);
    Field* field = fieldOf(id, GetSlot);
    checkFieldType(field, Type, GetSlot);
    Obj* object = deref(obj, GetSlot);
    if (!object) {
        throwNew(env, "java/lang/NullPointerException", field->name);
        return T();
    }
    auto it = object->fields.find(field);
    return it == object->fields.end() ? T() : as<T>(it->second);
}

template <typename T, char Type, int SetSlot>
void setField(JNIEnv* envPtr, jobject obj, jfieldID id, T value)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SetSlot);
    Field* field = fieldOf(id, SetSlot);
    checkFieldType(field, Type, SetSlot);
    Obj* object = deref(obj, SetSlot);
    if (!object) {
        throwNew(env, "java/lang/NullPointerException", field->name);
        return;
    }
    jvalue v{};
    put<T>(v, value);
    if (Type == 'L') {
        deref(v.l, SetSlot);
    }
    object->fields[field] = Value::of(Type, v);
}

template <typename T, char Type, int GetSlot>
T getStaticField(JNIEnv* envPtr, jclass clazz, jfieldID id)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, GetSlot);
    klassOf(clazz, GetSlot);
    Field* field = fieldOf(id, GetSlot);
    checkFieldType(field, Type, GetSlot);
    return as<T>(field->staticValue);
}

template <typename T, char Type, int SetSlot>
void setStaticField(JNIEnv* envPtr, jclass clazz, jfieldID id, T value)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SetSlot);
    klassOf(clazz, SetSlot);
    Field* field = fieldOf(id, SetSlot);
    checkFieldType(field, Type, SetSlot);
    jvalue v{};
    put<T>(v, value);
    if (Type == 'L') {
        deref(v.l, SetSlot);
    }
    field->staticValue = Value::of(Type, v);
    report::line("set-static-field " + report::quote(field->owner->name) + " " + report::quote(field->name) + " " +
                 render(field->staticValue));
}

#define TYPED_FAMILY(Name, T, Letter)                                                                           \
    T JNICALL Call##Name##Method(JNIEnv* env, jobject obj, jmethodID id, ...)                                   \
    {                                                                                                           \
        va_list args;                                                                                           \
        va_start(args, id);                                                                                     \
        Value value = callMethod(fromJniEnv(env), SLOT(Call##Name##Method), CallKind::Virtual, obj, nullptr, id, \
                                 collectVa, &args, Letter);                                                     \
        va_end(args);                                                                                           \
        return as<T>(value);                                                                                    \
    }                                                                                                           \
    T JNICALL Call##Name##MethodV(JNIEnv* env, jobject obj, jmethodID id, va_list args)                         \
    {                                                                                                           \
        va_list copy;                                                                                           \
        va_copy(copy, args);                                                                                    \
        Value value = callMethod(fromJniEnv(env), SLOT(Call##Name##MethodV), CallKind::Virtual, obj, nullptr,   \
                                 id, collectVa, &copy, Letter);                                                 \
        va_end(copy);                                                                                           \
        return as<T>(value);                                                                                    \
    }                                                                                                           \
    T JNICALL Call##Name##MethodA(JNIEnv* env, jobject obj, jmethodID id, const jvalue* args)                   \
    {                                                                                                           \
        return as<T>(callMethod(fromJniEnv(env), SLOT(Call##Name##MethodA), CallKind::Virtual, obj, nullptr,    \
                                id, collectArray, const_cast<jvalue*>(args), Letter));                          \
    }                                                                                                           \
    T JNICALL CallNonvirtual##Name##Method(JNIEnv* env, jobject obj, jclass cls, jmethodID id, ...)             \
    {                                                                                                           \
        va_list args;                                                                                           \
        va_start(args, id);                                                                                     \
        Value value = callMethod(fromJniEnv(env), SLOT(CallNonvirtual##Name##Method), CallKind::Nonvirtual,     \
                                 obj, cls, id, collectVa, &args, Letter);                                       \
        va_end(args);                                                                                           \
        return as<T>(value);                                                                                    \
    }                                                                                                           \
    T JNICALL CallNonvirtual##Name##MethodV(JNIEnv* env, jobject obj, jclass cls, jmethodID id, va_list args)   \
    {                                                                                                           \
        va_list copy;                                                                                           \
        va_copy(copy, args);                                                                                    \
        Value value = callMethod(fromJniEnv(env), SLOT(CallNonvirtual##Name##MethodV), CallKind::Nonvirtual,    \
                                 obj, cls, id, collectVa, &copy, Letter);                                       \
        va_end(copy);                                                                                           \
        return as<T>(value);                                                                                    \
    }                                                                                                           \
    T JNICALL CallNonvirtual##Name##MethodA(JNIEnv* env, jobject obj, jclass cls, jmethodID id,                 \
                                            const jvalue* args)                                                 \
    {                                                                                                           \
        return as<T>(callMethod(fromJniEnv(env), SLOT(CallNonvirtual##Name##MethodA), CallKind::Nonvirtual,     \
                                obj, cls, id, collectArray, const_cast<jvalue*>(args), Letter));                \
    }                                                                                                           \
    T JNICALL CallStatic##Name##Method(JNIEnv* env, jclass cls, jmethodID id, ...)                              \
    {                                                                                                           \
        va_list args;                                                                                           \
        va_start(args, id);                                                                                     \
        Value value = callMethod(fromJniEnv(env), SLOT(CallStatic##Name##Method), CallKind::Static, nullptr,    \
                                 cls, id, collectVa, &args, Letter);                                            \
        va_end(args);                                                                                           \
        return as<T>(value);                                                                                    \
    }                                                                                                           \
    T JNICALL CallStatic##Name##MethodV(JNIEnv* env, jclass cls, jmethodID id, va_list args)                    \
    {                                                                                                           \
        va_list copy;                                                                                           \
        va_copy(copy, args);                                                                                    \
        Value value = callMethod(fromJniEnv(env), SLOT(CallStatic##Name##MethodV), CallKind::Static, nullptr,   \
                                 cls, id, collectVa, &copy, Letter);                                            \
        va_end(copy);                                                                                           \
        return as<T>(value);                                                                                    \
    }                                                                                                           \
    T JNICALL CallStatic##Name##MethodA(JNIEnv* env, jclass cls, jmethodID id, const jvalue* args)              \
    {                                                                                                           \
        return as<T>(callMethod(fromJniEnv(env), SLOT(CallStatic##Name##MethodA), CallKind::Static, nullptr,    \
                                cls, id, collectArray, const_cast<jvalue*>(args), Letter));                     \
    }                                                                                                           \
    T JNICALL Get##Name##Field(JNIEnv* env, jobject obj, jfieldID id)                                           \
    {                                                                                                           \
        return getField<T, Letter, SLOT(Get##Name##Field)>(env, obj, id);                                       \
    }                                                                                                           \
    void JNICALL Set##Name##Field(JNIEnv* env, jobject obj, jfieldID id, T value)                               \
    {                                                                                                           \
        setField<T, Letter, SLOT(Set##Name##Field)>(env, obj, id, value);                                       \
    }                                                                                                           \
    T JNICALL GetStatic##Name##Field(JNIEnv* env, jclass cls, jfieldID id)                                      \
    {                                                                                                           \
        return getStaticField<T, Letter, SLOT(GetStatic##Name##Field)>(env, cls, id);                           \
    }                                                                                                           \
    void JNICALL SetStatic##Name##Field(JNIEnv* env, jclass cls, jfieldID id, T value)                          \
    {                                                                                                           \
        setStaticField<T, Letter, SLOT(SetStatic##Name##Field)>(env, cls, id, value);                           \
    }

TYPED_FAMILY(Object, jobject, 'L')
TYPED_FAMILY(Boolean, jboolean, 'Z')
TYPED_FAMILY(Byte, jbyte, 'B')
TYPED_FAMILY(Char, jchar, 'C')
TYPED_FAMILY(Short, jshort, 'S')
TYPED_FAMILY(Int, jint, 'I')
TYPED_FAMILY(Long, jlong, 'J')
TYPED_FAMILY(Float, jfloat, 'F')
TYPED_FAMILY(Double, jdouble, 'D')

void JNICALL CallVoidMethod(JNIEnv* env, jobject obj, jmethodID id, ...)
{
    va_list args;
    va_start(args, id);
    callMethod(fromJniEnv(env), SLOT(CallVoidMethod), CallKind::Virtual, obj, nullptr, id, collectVa, &args, 'V');
    va_end(args);
}
void JNICALL CallVoidMethodV(JNIEnv* env, jobject obj, jmethodID id, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    callMethod(fromJniEnv(env), SLOT(CallVoidMethodV), CallKind::Virtual, obj, nullptr, id, collectVa, &copy, 'V');
    va_end(copy);
}
void JNICALL CallVoidMethodA(JNIEnv* env, jobject obj, jmethodID id, const jvalue* args)
{
    callMethod(fromJniEnv(env), SLOT(CallVoidMethodA), CallKind::Virtual, obj, nullptr, id, collectArray,
               const_cast<jvalue*>(args), 'V');
}
void JNICALL CallNonvirtualVoidMethod(JNIEnv* env, jobject obj, jclass cls, jmethodID id, ...)
{
    va_list args;
    va_start(args, id);
    callMethod(fromJniEnv(env), SLOT(CallNonvirtualVoidMethod), CallKind::Nonvirtual, obj, cls, id, collectVa, &args,
               'V');
    va_end(args);
}
void JNICALL CallNonvirtualVoidMethodV(JNIEnv* env, jobject obj, jclass cls, jmethodID id, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    callMethod(fromJniEnv(env), SLOT(CallNonvirtualVoidMethodV), CallKind::Nonvirtual, obj, cls, id, collectVa,
               &copy, 'V');
    va_end(copy);
}
void JNICALL CallNonvirtualVoidMethodA(JNIEnv* env, jobject obj, jclass cls, jmethodID id, const jvalue* args)
{
    callMethod(fromJniEnv(env), SLOT(CallNonvirtualVoidMethodA), CallKind::Nonvirtual, obj, cls, id, collectArray,
               const_cast<jvalue*>(args), 'V');
}
void JNICALL CallStaticVoidMethod(JNIEnv* env, jclass cls, jmethodID id, ...)
{
    va_list args;
    va_start(args, id);
    callMethod(fromJniEnv(env), SLOT(CallStaticVoidMethod), CallKind::Static, nullptr, cls, id, collectVa, &args, 'V');
    va_end(args);
}
void JNICALL CallStaticVoidMethodV(JNIEnv* env, jclass cls, jmethodID id, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    callMethod(fromJniEnv(env), SLOT(CallStaticVoidMethodV), CallKind::Static, nullptr, cls, id, collectVa, &copy,
               'V');
    va_end(copy);
}
void JNICALL CallStaticVoidMethodA(JNIEnv* env, jclass cls, jmethodID id, const jvalue* args)
{
    callMethod(fromJniEnv(env), SLOT(CallStaticVoidMethodA), CallKind::Static, nullptr, cls, id, collectArray,
               const_cast<jvalue*>(args), 'V');
}

// ---- strings ---------------------------------------------------------------------------------

Obj* stringOf(jstring str, int slot)
{
    Obj* obj = deref(str, slot);
    if (!obj || !obj->isString) {
        invalidReference(slot);
    }
    return obj;
}

void* lend(Obj* obj, const void* data, size_t bytes)
{
    void* copy = std::malloc(bytes ? bytes : 1);
    std::memcpy(copy, data, bytes);
    vm().borrowed[copy] = {obj, bytes};
    return copy;
}

// Takes a lent copy back; null (and a warning) when the VM did not hand this pointer out.
bool takeBack(void* pointer, int slot, Obj* expected, std::pair<Obj*, size_t>& loan)
{
    auto it = vm().borrowed.find(pointer);
    if (it == vm().borrowed.end() || (expected && it->second.first != expected)) {
        warning(std::string(kSlotNames[slot]) + " with a pointer the VM did not hand out for this object");
        return false;
    }
    loan = it->second;
    vm().borrowed.erase(it);
    return true;
}

jstring JNICALL NewString(JNIEnv* envPtr, const jchar* chars, jsize length)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(NewString));
    if (length < 0 || (!chars && length > 0)) {
        warning("NewString with a negative length or no characters");
        return nullptr;
    }
    return ref(newString(std::u16string(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(length))));
}

jsize JNICALL GetStringLength(JNIEnv* envPtr, jstring str)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetStringLength));
    return static_cast<jsize>(stringOf(str, SLOT(GetStringLength))->text.size());
}

const jchar* borrowChars(JNIEnv* envPtr, int slot, jstring str, jboolean* isCopy)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, slot);
    Obj* obj = stringOf(str, slot);
    std::u16string text = obj->text;
    text.push_back(u'\0');
    if (isCopy) {
        *isCopy = JNI_TRUE;
    }
    return static_cast<const jchar*>(lend(obj, text.data(), text.size() * sizeof(char16_t)));
}

void returnChars(int slot, jstring str, const void* chars)
{
    Locked lock;
    Obj* obj = stringOf(str, slot);
    std::pair<Obj*, size_t> loan;
    if (takeBack(const_cast<void*>(chars), slot, obj, loan)) {
        std::free(const_cast<void*>(chars));
    }
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring str, jboolean* isCopy)
{
    return borrowChars(env, SLOT(GetStringChars), str, isCopy);
}

void JNICALL ReleaseStringChars(JNIEnv*, jstring str, const jchar* chars)
{
    returnChars(SLOT(ReleaseStringChars), str, chars);
}

const jchar* JNICALL GetStringCritical(JNIEnv* env, jstring str, jboolean* isCopy)
{
    return borrowChars(env, SLOT(GetStringCritical), str, isCopy);
}

void JNICALL ReleaseStringCritical(JNIEnv*, jstring str, const jchar* chars)
{
    returnChars(SLOT(ReleaseStringCritical), str, chars);
}

jstring JNICALL NewStringUTF(JNIEnv* envPtr, const char* bytes)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(NewStringUTF));
    if (!bytes) {
        return nullptr;
    }
    return ref(newString(fromModifiedUtf8(bytes)));
}

jsize JNICALL GetStringUTFLength(JNIEnv* envPtr, jstring str)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetStringUTFLength));
    return static_cast<jsize>(modifiedUtf8(stringOf(str, SLOT(GetStringUTFLength))->text).size());
}

const char* JNICALL GetStringUTFChars(JNIEnv* envPtr, jstring str, jboolean* isCopy)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetStringUTFChars));
    Obj* obj = stringOf(str, SLOT(GetStringUTFChars));
    std::string bytes = modifiedUtf8(obj->text);
    if (isCopy) {
        *isCopy = JNI_TRUE;
    }
    return static_cast<const char*>(lend(obj, bytes.c_str(), bytes.size() + 1));
}

void JNICALL ReleaseStringUTFChars(JNIEnv*, jstring str, const char* chars)
{
    returnChars(SLOT(ReleaseStringUTFChars), str, chars);
}

bool regionFits(ThreadEnv& env, int slot, jsize start, jsize length, jsize size, const char* exception)
{
    if (start < 0 || length < 0 || start > size || length > size - start) {
        warning(std::string(kSlotNames[slot]) + " outside the bounds");
        throwNew(env, exception, "region");
        return false;
    }
    return true;
}

void JNICALL GetStringRegion(JNIEnv* envPtr, jstring str, jsize start, jsize length, jchar* buf)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetStringRegion));
    Obj* obj = stringOf(str, SLOT(GetStringRegion));
    if (regionFits(env, SLOT(GetStringRegion), start, length, static_cast<jsize>(obj->text.size()),
                   "java/lang/StringIndexOutOfBoundsException")) {
        std::memcpy(buf, obj->text.data() + start, static_cast<size_t>(length) * sizeof(jchar));
    }
}

void JNICALL GetStringUTFRegion(JNIEnv* envPtr, jstring str, jsize start, jsize length, char* buf)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetStringUTFRegion));
    Obj* obj = stringOf(str, SLOT(GetStringUTFRegion));
    if (regionFits(env, SLOT(GetStringUTFRegion), start, length, static_cast<jsize>(obj->text.size()),
                   "java/lang/StringIndexOutOfBoundsException")) {
        std::string bytes = modifiedUtf8(obj->text.substr(static_cast<size_t>(start), static_cast<size_t>(length)));
        std::memcpy(buf, bytes.c_str(), bytes.size() + 1);
    }
}

// ---- arrays ----------------------------------------------------------------------------------

Obj* arrayOf(jarray array, int slot, char type)
{
    Obj* obj = deref(array, slot);
    if (!obj || !obj->elementType) {
        invalidReference(slot);
    }
    if (type && obj->elementType != type) {
        warning(std::string(kSlotNames[slot]) + " on an array of " + obj->klass->name);
    }
    return obj;
}

jsize JNICALL GetArrayLength(JNIEnv* envPtr, jarray array)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetArrayLength));
    return arrayOf(array, SLOT(GetArrayLength), 0)->length();
}

jobjectArray JNICALL NewObjectArray(JNIEnv* envPtr, jsize length, jclass elementClass, jobject initial)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(NewObjectArray));
    Klass* element = klassOf(elementClass, SLOT(NewObjectArray));
    Obj* first = deref(initial, SLOT(NewObjectArray));
    if (length < 0) {
        throwNew(env, "java/lang/NegativeArraySizeException", "NewObjectArray");
        return nullptr;
    }
    std::string descriptor = element->name[0] == '[' ? "[" + element->name : "[L" + element->name + ";";
    Obj* array = newArray(descriptor, length);
    for (Obj*& slot : array->refs) {
        slot = first;
    }
    return ref(array);
}

bool indexFits(ThreadEnv& env, int slot, Obj* array, jsize index)
{
    if (index < 0 || index >= array->length()) {
        warning(std::string(kSlotNames[slot]) + " with the index " + std::to_string(index) + " of " +
                std::to_string(array->length()));
        throwNew(env, "java/lang/ArrayIndexOutOfBoundsException", std::to_string(index));
        return false;
    }
    return true;
}

jobject JNICALL GetObjectArrayElement(JNIEnv* envPtr, jobjectArray array, jsize index)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetObjectArrayElement));
    Obj* obj = arrayOf(array, SLOT(GetObjectArrayElement), 'L');
    return indexFits(env, SLOT(GetObjectArrayElement), obj, index) ? ref(obj->refs[static_cast<size_t>(index)])
                                                                     : nullptr;
}

void JNICALL SetObjectArrayElement(JNIEnv* envPtr, jobjectArray array, jsize index, jobject value)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(SetObjectArrayElement));
    Obj* obj = arrayOf(array, SLOT(SetObjectArrayElement), 'L');
    Obj* element = deref(value, SLOT(SetObjectArrayElement));
    if (!indexFits(env, SLOT(SetObjectArrayElement), obj, index)) {
        return;
    }
    if (element) {
        std::string descriptor = obj->klass->name.substr(1);
        Klass* elementClass =
            findClass(descriptor[0] == 'L' ? descriptor.substr(1, descriptor.size() - 2) : descriptor);
        if (elementClass && !isSubclass(element->klass, elementClass)) {
            warning("SetObjectArrayElement of a " + element->klass->name + " into " + obj->klass->name);
            throwNew(env, "java/lang/ArrayStoreException", element->klass->name);
            return;
        }
    }
    obj->refs[static_cast<size_t>(index)] = element;
}

template <char Type, int Slot>
jarray newPrimitiveArray(JNIEnv* envPtr, jsize length)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, Slot);
    if (length < 0) {
        throwNew(env, "java/lang/NegativeArraySizeException", kSlotNames[Slot]);
        return nullptr;
    }
    return ref(newArray(std::string("[") + Type, length));
}

template <typename T, char Type, int Slot>
T* getElements(JNIEnv* envPtr, jarray array, jboolean* isCopy)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, Slot);
    Obj* obj = arrayOf(array, Slot, Type);
    if (isCopy) {
        *isCopy = JNI_TRUE;
    }
    return static_cast<T*>(lend(obj, obj->raw.data(), obj->raw.size()));
}

void releaseElements(int slot, jarray array, void* elements, jint mode, char type)
{
    Locked lock;
    Obj* obj = arrayOf(array, slot, type);
    auto it = vm().borrowed.find(elements);
    if (it == vm().borrowed.end() || it->second.first != obj) {
        warning(std::string(kSlotNames[slot]) + " with a pointer the VM did not hand out for this array");
        return;
    }
    if (mode != JNI_ABORT) {
        std::memcpy(obj->raw.data(), elements, obj->raw.size());
    }
    if (mode != JNI_COMMIT) {
        vm().borrowed.erase(it);
        std::free(elements);
    }
}

template <typename T, char Type, int Slot>
void getRegion(JNIEnv* envPtr, jarray array, jsize start, jsize length, T* buf)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, Slot);
    Obj* obj = arrayOf(array, Slot, Type);
    if (regionFits(env, Slot, start, length, obj->length(), "java/lang/ArrayIndexOutOfBoundsException")) {
        std::memcpy(buf, obj->raw.data() + static_cast<size_t>(start) * sizeof(T), static_cast<size_t>(length) * sizeof(T));
    }
}

template <typename T, char Type, int Slot>
void setRegion(JNIEnv* envPtr, jarray array, jsize start, jsize length, const T* buf)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, Slot);
    Obj* obj = arrayOf(array, Slot, Type);
    if (regionFits(env, Slot, start, length, obj->length(), "java/lang/ArrayIndexOutOfBoundsException")) {
        std::memcpy(obj->raw.data() + static_cast<size_t>(start) * sizeof(T), buf, static_cast<size_t>(length) * sizeof(T));
    }
}

#define ARRAY_FAMILY(Name, T, Letter)                                                                      \
    jarray JNICALL New##Name##Array(JNIEnv* env, jsize length)                                             \
    {                                                                                                      \
        return newPrimitiveArray<Letter, SLOT(New##Name##Array)>(env, length);                         \
    }                                                                                                      \
    T* JNICALL Get##Name##ArrayElements(JNIEnv* env, jarray array, jboolean* isCopy)                       \
    {                                                                                                      \
        return getElements<T, Letter, SLOT(Get##Name##ArrayElements)>(env, array, isCopy);                 \
    }                                                                                                      \
    void JNICALL Release##Name##ArrayElements(JNIEnv*, jarray array, T* elements, jint mode)               \
    {                                                                                                      \
        releaseElements(SLOT(Release##Name##ArrayElements), array, elements, mode, Letter);                \
    }                                                                                                      \
    void JNICALL Get##Name##ArrayRegion(JNIEnv* env, jarray array, jsize start, jsize length, T* buf)      \
    {                                                                                                      \
        getRegion<T, Letter, SLOT(Get##Name##ArrayRegion)>(env, array, start, length, buf);                \
    }                                                                                                      \
    void JNICALL Set##Name##ArrayRegion(JNIEnv* env, jarray array, jsize start, jsize length, const T* buf) \
    {                                                                                                      \
        setRegion<T, Letter, SLOT(Set##Name##ArrayRegion)>(env, array, start, length, buf);                \
    }

ARRAY_FAMILY(Boolean, jboolean, 'Z')
ARRAY_FAMILY(Byte, jbyte, 'B')
ARRAY_FAMILY(Char, jchar, 'C')
ARRAY_FAMILY(Short, jshort, 'S')
ARRAY_FAMILY(Int, jint, 'I')
ARRAY_FAMILY(Long, jlong, 'J')
ARRAY_FAMILY(Float, jfloat, 'F')
ARRAY_FAMILY(Double, jdouble, 'D')

void* JNICALL GetPrimitiveArrayCritical(JNIEnv* envPtr, jarray array, jboolean* isCopy)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(GetPrimitiveArrayCritical));
    Obj* obj = arrayOf(array, SLOT(GetPrimitiveArrayCritical), 0);
    if (isCopy) {
        *isCopy = JNI_TRUE;
    }
    return lend(obj, obj->raw.data(), obj->raw.size());
}

void JNICALL ReleasePrimitiveArrayCritical(JNIEnv*, jarray array, void* elements, jint mode)
{
    releaseElements(SLOT(ReleasePrimitiveArrayCritical), array, elements, mode, 0);
}

// ---- natives, monitors, the VM ---------------------------------------------------------------

jint JNICALL RegisterNatives(JNIEnv* envPtr, jclass clazz, const JNINativeMethod* methods, jint count)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(RegisterNatives));
    Klass* klass = klassOf(clazz, SLOT(RegisterNatives));
    std::vector<std::string> lines;
    jint result = JNI_OK;
    for (jint i = 0; i < count; ++i) {
        std::string name = methods[i].name ? methods[i].name : "";
        std::string signature = methods[i].signature ? methods[i].signature : "";
        Method* method = nullptr;
        for (auto& candidate : klass->methods) {
            if (candidate->isNative && candidate->name == name && candidate->signature == signature) {
                method = candidate.get();
            }
        }
        const char* state = !method ? "unknown" : methods[i].fnPtr ? "bound" : "null";
        lines.push_back("native " + report::quote(klass->name) + " " + report::quote(name) + " " +
                        report::quote(signature) + " " + state);
        if (result == JNI_OK && (!method || !methods[i].fnPtr)) {
            // Entries before the failing one stay bound, as in a real VM.
            throwNew(env, "java/lang/NoSuchMethodError", name);
            result = JNI_ERR;
        }
        if (result == JNI_OK) {
            method->native = methods[i].fnPtr;
        }
    }
    auto failure = vm().script.registerFails.find(klass->name);
    if (failure != vm().script.registerFails.end() && result == JNI_OK) {
        result = failure->second;
    }
    report::line("register-natives " + report::quote(klass->name) + " " + std::to_string(count) +
                 " result=" + std::to_string(result));
    for (const std::string& line : lines) {
        report::line(line);
    }
    return result;
}

jint JNICALL UnregisterNatives(JNIEnv* envPtr, jclass clazz)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(UnregisterNatives));
    Klass* klass = klassOf(clazz, SLOT(UnregisterNatives));
    for (auto& method : klass->methods) {
        method->native = nullptr;
    }
    report::line("unregister-natives " + report::quote(klass->name));
    return JNI_OK;
}

jint JNICALL MonitorEnter(JNIEnv*, jobject) { return JNI_OK; }
jint JNICALL MonitorExit(JNIEnv*, jobject) { return JNI_OK; }

jint JNICALL GetJavaVM(JNIEnv*, JavaVM** out)
{
    *out = &gJavaVm;
    return JNI_OK;
}

jweak JNICALL NewWeakGlobalRef(JNIEnv* envPtr, jobject obj)
{
    ThreadEnv& env = fromJniEnv(envPtr);
    Locked lock;
    enter(env, SLOT(NewWeakGlobalRef));
    return ref(deref(obj, SLOT(NewWeakGlobalRef)));
}

void JNICALL DeleteWeakGlobalRef(JNIEnv*, jweak obj)
{
    Locked lock;
    deref(obj, SLOT(DeleteWeakGlobalRef));
}

jboolean JNICALL ExceptionCheck(JNIEnv* envPtr) { return fromJniEnv(envPtr).pending ? JNI_TRUE : JNI_FALSE; }

jobjectRefType JNICALL GetObjectRefType(JNIEnv*, jobject obj)
{
    Locked lock;
    return deref(obj, SLOT(GetObjectRefType)) ? JNILocalRefType : JNIInvalidRefType;
}

// ---- slots the test VM does not implement ----------------------------------------------------

template <int Index>
void JNICALL unimplemented()
{
    report::lineAndStderr(std::string("unimplemented JNI function ") + std::to_string(Index) + " " +
                          kSlotNames[Index]);
    report::abortProcess(86);
}

template <size_t... I>
void fillUnimplemented(void** slots, std::index_sequence<I...>)
{
    ((slots[I] = reinterpret_cast<void*>(&unimplemented<static_cast<int>(I)>)), ...);
}

JNINativeInterface_ buildTable()
{
    JNINativeInterface_ table;
    fillUnimplemented(reinterpret_cast<void**>(&table), std::make_index_sequence<kSlotCount>());
    table.reserved0 = table.reserved1 = table.reserved2 = table.reserved3 = nullptr;
#define SET(name) table.name = name
    SET(GetVersion);
    SET(FindClass);
    SET(FromReflectedMethod);
    SET(ToReflectedMethod);
    SET(GetSuperclass);
    SET(IsAssignableFrom);
    SET(Throw);
    SET(ThrowNew);
    SET(ExceptionOccurred);
    SET(ExceptionDescribe);
    SET(ExceptionClear);
    SET(FatalError);
    SET(PushLocalFrame);
    SET(PopLocalFrame);
    SET(NewGlobalRef);
    SET(DeleteGlobalRef);
    SET(DeleteLocalRef);
    SET(IsSameObject);
    SET(NewLocalRef);
    SET(EnsureLocalCapacity);
    SET(AllocObject);
    SET(NewObject);
    SET(NewObjectV);
    SET(NewObjectA);
    SET(GetObjectClass);
    SET(IsInstanceOf);
    SET(GetMethodID);
    SET(GetStaticMethodID);
    SET(GetFieldID);
    SET(GetStaticFieldID);
#define SET_TYPED(Name)                  \
    SET(Call##Name##Method);             \
    SET(Call##Name##MethodV);            \
    SET(Call##Name##MethodA);            \
    SET(CallNonvirtual##Name##Method);   \
    SET(CallNonvirtual##Name##MethodV);  \
    SET(CallNonvirtual##Name##MethodA);  \
    SET(CallStatic##Name##Method);       \
    SET(CallStatic##Name##MethodV);      \
    SET(CallStatic##Name##MethodA)
#define SET_FIELDS(Name)         \
    SET(Get##Name##Field);       \
    SET(Set##Name##Field);       \
    SET(GetStatic##Name##Field); \
    SET(SetStatic##Name##Field)
#define SET_ARRAYS(Name)                     \
    SET(New##Name##Array);                   \
    SET(Get##Name##ArrayElements);           \
    SET(Release##Name##ArrayElements);       \
    SET(Get##Name##ArrayRegion);             \
    SET(Set##Name##ArrayRegion)
    SET_TYPED(Object);
    SET_TYPED(Boolean);
    SET_TYPED(Byte);
    SET_TYPED(Char);
    SET_TYPED(Short);
    SET_TYPED(Int);
    SET_TYPED(Long);
    SET_TYPED(Float);
    SET_TYPED(Double);
    SET_TYPED(Void);
    SET_FIELDS(Object);
    SET_FIELDS(Boolean);
    SET_FIELDS(Byte);
    SET_FIELDS(Char);
    SET_FIELDS(Short);
    SET_FIELDS(Int);
    SET_FIELDS(Long);
    SET_FIELDS(Float);
    SET_FIELDS(Double);
    SET_ARRAYS(Boolean);
    SET_ARRAYS(Byte);
    SET_ARRAYS(Char);
    SET_ARRAYS(Short);
    SET_ARRAYS(Int);
    SET_ARRAYS(Long);
    SET_ARRAYS(Float);
    SET_ARRAYS(Double);
    SET(NewString);
    SET(GetStringLength);
    SET(GetStringChars);
    SET(ReleaseStringChars);
    SET(NewStringUTF);
    SET(GetStringUTFLength);
    SET(GetStringUTFChars);
    SET(ReleaseStringUTFChars);
    SET(GetArrayLength);
    SET(NewObjectArray);
    SET(GetObjectArrayElement);
    SET(SetObjectArrayElement);
    SET(RegisterNatives);
    SET(UnregisterNatives);
    SET(MonitorEnter);
    SET(MonitorExit);
    SET(GetJavaVM);
    SET(GetStringRegion);
    SET(GetStringUTFRegion);
    SET(GetPrimitiveArrayCritical);
    SET(ReleasePrimitiveArrayCritical);
    SET(GetStringCritical);
    SET(ReleaseStringCritical);
    SET(NewWeakGlobalRef);
    SET(DeleteWeakGlobalRef);
    SET(ExceptionCheck);
    SET(GetObjectRefType);
    return table;
}

}  // namespace

const char* slotName(int index) { return index >= 0 && index < kSlotCount ? kSlotNames[index] : "?"; }

const JNINativeInterface_ kEnvTable = buildTable();

}  // namespace testvm
