#include "vm.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "report.h"

namespace testvm {

namespace {

CRITICAL_SECTION* vmLock()
{
    // Created on first use and never destroyed: natives may run on any thread until the process ends.
    static CRITICAL_SECTION* section = [] {
        auto* created = new CRITICAL_SECTION;
        ::InitializeCriticalSection(created);
        return created;
    }();
    return section;
}

}  // namespace

Locked::Locked() { ::EnterCriticalSection(vmLock()); }
Locked::~Locked() { ::LeaveCriticalSection(vmLock()); }

VmState*& vmSlot()
{
    static VmState* state = new VmState;
    return state;
}

VmState& vm() { return *vmSlot(); }

jsize Obj::length() const
{
    if (elementType == 'L') {
        return static_cast<jsize>(refs.size());
    }
    return static_cast<jsize>(raw.size() / elementSize(elementType));
}

size_t elementSize(char type)
{
    switch (type) {
    case 'Z': case 'B': return 1;
    case 'C': case 'S': return 2;
    case 'I': case 'F': return 4;
    case 'J': case 'D': return 8;
    default: return sizeof(void*);
    }
}

// ---- text ----------------------------------------------------------------------------------

std::u16string utf8ToU16(const std::string& utf8)
{
    std::u16string out;
    if (utf8.empty()) {
        return out;
    }
    int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    out.resize(static_cast<size_t>(length));
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), reinterpret_cast<wchar_t*>(&out[0]),
                          length);
    return out;
}

std::string u16ToUtf8(const std::u16string& text)
{
    std::string out;
    if (text.empty()) {
        return out;
    }
    int length = ::WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(length));
    ::WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
                          &out[0], length, nullptr, nullptr);
    return out;
}

std::u16string ansiToU16(const std::string& ansi)
{
    std::u16string out;
    if (ansi.empty()) {
        return out;
    }
    int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    out.resize(static_cast<size_t>(length));
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), reinterpret_cast<wchar_t*>(&out[0]),
                          length);
    return out;
}

// Modified UTF-8 as JNI defines it: U+0000 as C0 80, every UTF-16 unit (surrogates included)
// encoded on its own in one to three bytes.
std::string modifiedUtf8(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text) {
        unsigned u = unit;
        if (u != 0 && u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::u16string fromModifiedUtf8(const char* bytes)
{
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    while (*p) {
        unsigned b = *p;
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            p += 1;
        } else if ((b & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80) {
            out += static_cast<char16_t>(((b & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if ((b & 0xF0) == 0xE0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            out += static_cast<char16_t>(((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else if ((b & 0xF8) == 0xF0 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 && (p[3] & 0xC0) == 0x80) {
            // Standard UTF-8 four-byte forms are accepted too (as a surrogate pair).
            unsigned cp = ((b & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            p += 4;
        } else {
            out += u'\xFFFD';
            p += 1;
        }
    }
    return out;
}

std::string dotted(const std::string& slashName)
{
    std::string out = slashName;
    for (char& ch : out) {
        if (ch == '/') {
            ch = '.';
        }
    }
    return out;
}

// ---- signatures -----------------------------------------------------------------------------

std::vector<std::string> parameterTypes(const std::string& signature)
{
    std::vector<std::string> types;
    size_t i = 1;
    while (i < signature.size() && signature[i] != ')') {
        size_t start = i;
        while (signature[i] == '[') {
            ++i;
        }
        if (signature[i] == 'L') {
            i = signature.find(';', i);
            if (i == std::string::npos) {
                break;
            }
        }
        ++i;
        types.push_back(signature.substr(start, i - start));
    }
    return types;
}

char returnType(const std::string& signature)
{
    size_t close = signature.find(')');
    if (close == std::string::npos || close + 1 >= signature.size()) {
        return 'V';
    }
    char type = signature[close + 1];
    return type == '[' ? 'L' : type;
}

// ---- classes --------------------------------------------------------------------------------

namespace {

Klass* bareClass(const std::string& name)
{
    auto& slot = vm().classes[name];
    if (!slot) {
        slot.reset(new Klass);
        slot->name = name;
    }
    return slot.get();
}

}  // namespace

// The first definition of a class fixes its superclass; later calls only look it up.
Klass* defineClass(const std::string& name, const std::string& super)
{
    Klass* klass = bareClass(name);
    if (!super.empty() && name != super && !klass->super) {
        klass->super = defineClass(super, super == "java/lang/Object" ? "" : "java/lang/Object");
    }
    if (!klass->classObject) {
        klass->classObject = newObject(bareClass("java/lang/Class"));
        klass->classObject->classRef = klass;
    }
    return klass;
}

Klass* findClass(const std::string& name)
{
    if (!name.empty() && name[0] == '[') {
        return arrayClass(name);
    }
    auto it = vm().classes.find(name);
    if (it == vm().classes.end() || it->second->missing) {
        return nullptr;
    }
    return it->second.get();
}

Klass* arrayClass(const std::string& descriptor)
{
    auto it = vm().classes.find(descriptor);
    if (it != vm().classes.end()) {
        return it->second.get();
    }
    return defineClass(descriptor, "java/lang/Object");
}

Method* addMethod(Klass* klass, const std::string& name, const std::string& signature, bool isStatic, Body body)
{
    auto method = std::make_unique<Method>();
    method->owner = klass;
    method->name = name;
    method->signature = signature;
    method->isStatic = isStatic;
    method->body = std::move(body);
    Method* raw = method.get();
    klass->methods.push_back(std::move(method));
    vm().methods.insert(raw);
    return raw;
}

Method* addNative(Klass* klass, const std::string& name, const std::string& signature)
{
    Method* method = addMethod(klass, name, signature, true, nullptr);
    method->isNative = true;
    return method;
}

Field* addField(Klass* klass, const std::string& name, const std::string& signature, bool isStatic)
{
    auto field = std::make_unique<Field>();
    field->owner = klass;
    field->name = name;
    field->signature = signature;
    field->isStatic = isStatic;
    field->staticValue.type = signature[0] == '[' ? 'L' : signature[0];
    Field* raw = field.get();
    klass->fields.push_back(std::move(field));
    vm().fields.insert(raw);
    return raw;
}

Method* findMethod(Klass* klass, const std::string& name, const std::string& signature, bool isStatic)
{
    if (vm().script.missingMethods.count(klass->name + " " + name + " " + signature)) {
        return nullptr;
    }
    // Constructors are not inherited; other methods are looked up the superclass chain.
    for (Klass* k = klass; k; k = name == "<init>" ? nullptr : k->super) {
        for (auto& method : k->methods) {
            if (method->name == name && method->signature == signature && method->isStatic == isStatic) {
                return method.get();
            }
        }
    }
    return nullptr;
}

Field* findField(Klass* klass, const std::string& name, const std::string& signature, bool isStatic)
{
    for (Klass* k = klass; k; k = k->super) {
        for (auto& field : k->fields) {
            if (field->name == name && field->signature == signature && field->isStatic == isStatic) {
                return field.get();
            }
        }
    }
    return nullptr;
}

bool isSubclass(Klass* klass, Klass* ancestor)
{
    for (Klass* k = klass; k; k = k->super) {
        if (k == ancestor) {
            return true;
        }
    }
    return false;
}

// ---- objects --------------------------------------------------------------------------------

Obj* newObject(Klass* klass)
{
    VmState& state = vm();
    state.storage.emplace_back(new Obj);
    Obj* obj = state.storage.back().get();
    obj->klass = klass;
    obj->id = state.nextId++;
    state.objects.insert(obj);
    return obj;
}

Obj* newString(const std::u16string& text)
{
    Obj* obj = newObject(defineClass("java/lang/String", "java/lang/Object"));
    obj->isString = true;
    obj->text = text;
    return obj;
}

Obj* newArray(const std::string& descriptor, jsize length)
{
    Obj* obj = newObject(arrayClass(descriptor));
    char element = descriptor.size() > 1 ? descriptor[1] : 'L';
    obj->elementType = (element == 'L' || element == '[') ? 'L' : element;
    if (obj->elementType == 'L') {
        obj->refs.assign(static_cast<size_t>(length), nullptr);
    } else {
        obj->raw.assign(static_cast<size_t>(length) * elementSize(obj->elementType), 0);
    }
    return obj;
}

Obj* newThrowable(const std::string& className, const std::string& message)
{
    Klass* klass = findClass(className);
    if (!klass) {
        klass = defineClass(className, "java/lang/RuntimeException");
        klass->missing = false;
    }
    Obj* obj = newObject(klass);
    obj->message = newString(utf8ToU16(message));
    obj->hasMessage = true;
    obj->constructorArgs.push_back(Value::object(obj->message));
    return obj;
}

Obj* boxed(const char* className, char type, jvalue v)
{
    Obj* obj = newObject(defineClass(className, "java/lang/Object"));
    obj->constructorArgs.push_back(Value::of(type, v));
    return obj;
}

std::u16string toStringText(Obj* obj)
{
    if (!obj) {
        return u"null";
    }
    if (obj->isString) {
        return obj->text;
    }
    Klass* throwable = findClass("java/lang/Throwable");
    if (throwable && isSubclass(obj->klass, throwable)) {
        std::u16string text = utf8ToU16(dotted(obj->klass->name));
        if (obj->message) {
            text += u": " + obj->message->text;
        }
        return text;
    }
    if (obj->classRef) {
        return utf8ToU16("class " + dotted(obj->classRef->name));
    }
    if (!obj->constructorArgs.empty() && obj->constructorArgs.size() == 1 && obj->constructorArgs[0].type != 'L') {
        std::string shown = render(obj->constructorArgs[0]);
        return utf8ToU16(shown.substr(shown.find(' ') + 1));
    }
    char id[16];
    std::snprintf(id, sizeof id, "@%x", obj->id);
    return utf8ToU16(dotted(obj->klass->name) + id);
}

void throwNew(ThreadEnv& env, const std::string& className, const std::string& message)
{
    env.pending = newThrowable(className, message);
}

// ---- rendering ------------------------------------------------------------------------------

std::string render(const Value& value)
{
    char buffer[64];
    switch (value.type) {
    case 'V': return "void";
    case 'Z': return value.v.z ? "boolean true" : "boolean false";
    case 'B': std::snprintf(buffer, sizeof buffer, "byte %d", value.v.b); return buffer;
    case 'C': std::snprintf(buffer, sizeof buffer, "char %u", static_cast<unsigned>(value.v.c)); return buffer;
    case 'S': std::snprintf(buffer, sizeof buffer, "short %d", value.v.s); return buffer;
    case 'I': std::snprintf(buffer, sizeof buffer, "int %d", static_cast<int>(value.v.i)); return buffer;
    case 'J': std::snprintf(buffer, sizeof buffer, "long %lld", static_cast<long long>(value.v.j)); return buffer;
    case 'F': std::snprintf(buffer, sizeof buffer, "float %g", static_cast<double>(value.v.f)); return buffer;
    case 'D': std::snprintf(buffer, sizeof buffer, "double %g", value.v.d); return buffer;
    default: return renderObject(value.ref());
    }
}

namespace {

Value elementAt(Obj* array, jsize index)
{
    jvalue v{};
    std::memcpy(&v, array->raw.data() + static_cast<size_t>(index) * elementSize(array->elementType),
                elementSize(array->elementType));
    return Value::of(array->elementType, v);
}

}  // namespace

std::string renderObject(Obj* obj)
{
    if (!obj) {
        return "null";
    }
    if (obj->isString) {
        return report::quote(obj->text);
    }
    if (obj->classRef) {
        return "class " + report::quote(obj->classRef->name);
    }
    if (obj->elementType) {
        std::string out;
        char count[24];
        std::snprintf(count, sizeof count, "[%d]", static_cast<int>(obj->length()));
        if (obj->elementType == 'B') {
            out = std::string("byte") + count;
            if (!obj->raw.empty()) {
                out += ' ';
            }
            for (unsigned char byte : obj->raw) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", byte);
                out += hex;
            }
            return out;
        }
        if (obj->elementType == 'L') {
            std::string element = obj->klass->name.substr(1);
            if (element[0] == 'L') {
                element = element.substr(1, element.size() - 2);
            }
            out = element + count + " {";
            for (size_t i = 0; i < obj->refs.size(); ++i) {
                out += (i ? ", " : "") + renderObject(obj->refs[i]);
            }
            return out + "}";
        }
        std::string typeName = render(Value::of(obj->elementType, jvalue{}));
        typeName = typeName.substr(0, typeName.find(' '));
        out = typeName + count + " {";
        for (jsize i = 0; i < obj->length(); ++i) {
            std::string element = render(elementAt(obj, i));
            out += (i ? ", " : "") + element.substr(element.find(' ') + 1);
        }
        return out + "}";
    }
    std::string out = obj->klass->name + "(";
    for (size_t i = 0; i < obj->constructorArgs.size(); ++i) {
        out += (i ? ", " : "") + render(obj->constructorArgs[i]);
    }
    return out + ")";
}

}  // namespace testvm
