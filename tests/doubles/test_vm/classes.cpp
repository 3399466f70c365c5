#include <string>

#include "report.h"
#include "vm.h"

namespace testvm {

namespace {

// The native methods of the product's classes, as their Java declarations give them. The rows are
// generated from the launcher's registration tables (scripts/native_decls.py, which also checks each
// row against the natives' C++ declarations), like the Java declarations the real-VM tests compile;
// the NativeLogger native is registered by the launcher itself.
struct NativeDecl {
    const char* owner;
    const char* name;
    const char* signature;
};

const NativeDecl kNatives[] = {
#include "native_decls.inc"
    {"com/stowline/runtime/installer/helper/NativeLogger", "cleanup0", "()V"},
};

Value none() { return Value(); }

jvalue intValue(jint i)
{
    jvalue v{};
    v.i = i;
    return v;
}

std::string text(const Value& value)
{
    Obj* obj = value.ref();
    return obj ? u16ToUtf8(obj->text) : std::string();
}

Value noop(ThreadEnv&, Obj*, const std::vector<Value>&) { return none(); }

// A constructor that keeps its arguments for rendering (and a throwable's message).
Value keepArguments(ThreadEnv&, Obj* self, const std::vector<Value>& args)
{
    Locked lock;
    self->constructorArgs = args;
    if (args.size() == 1 && args[0].type == 'L' && self->klass && findClass("java/lang/Throwable") &&
        isSubclass(self->klass, findClass("java/lang/Throwable"))) {
        self->message = args[0].ref();
        self->hasMessage = true;
    }
    return none();
}

Body recordStatic(const std::string& record)
{
    return [record](ThreadEnv&, Obj*, const std::vector<Value>& args) {
        std::string line = record;
        {
            Locked lock;
            for (const Value& arg : args) {
                line += " " + render(arg);
            }
        }
        report::line(line);
        return none();
    };
}

void defineBoxes()
{
    struct Box {
        const char* name;
        char type;
        const char* getter;
    };
    for (Box box : {Box{"java/lang/Integer", 'I', "intValue"}, Box{"java/lang/Long", 'J', "longValue"},
                    Box{"java/lang/Boolean", 'Z', "booleanValue"}}) {
        Klass* klass = defineClass(box.name, "java/lang/Object");
        std::string type(1, box.type);
        addMethod(klass, "<init>", "(" + type + ")V", false, keepArguments);
        std::string name = box.name;
        char boxType = box.type;
        addMethod(klass, "valueOf", "(" + type + ")L" + name + ";", true,
                  [name, boxType](ThreadEnv&, Obj*, const std::vector<Value>& args) {
                      Locked lock;
                      return Value::object(boxed(name.c_str(), boxType, args[0].v));
                  });
        addMethod(klass, box.getter, "()" + type, false, [boxType](ThreadEnv&, Obj* self, const std::vector<Value>&) {
            Locked lock;
            if (self->constructorArgs.empty()) {
                return Value::of(boxType, jvalue{});
            }
            return self->constructorArgs[0];
        });
    }
}

void defineThrowables()
{
    Klass* throwable = defineClass("java/lang/Throwable", "java/lang/Object");
    addMethod(throwable, "getMessage", "()Ljava/lang/String;", false,
              [](ThreadEnv&, Obj* self, const std::vector<Value>&) {
                  Locked lock;
                  return Value::object(self->message);
              });
    const char* tree[][2] = {
        {"java/lang/Throwable", "java/lang/Object"},
        {"java/lang/Exception", "java/lang/Throwable"},
        {"java/lang/Error", "java/lang/Throwable"},
        {"java/lang/RuntimeException", "java/lang/Exception"},
        {"java/lang/ClassNotFoundException", "java/lang/Exception"},
        {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
        {"java/lang/IllegalStateException", "java/lang/RuntimeException"},
        {"java/lang/NullPointerException", "java/lang/RuntimeException"},
        {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
        {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
        {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
        {"java/lang/LinkageError", "java/lang/Error"},
        {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
        {"java/lang/UnsatisfiedLinkError", "java/lang/LinkageError"},
        {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
        {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/InstantiationException", "java/lang/Exception"},
        {"java/lang/VirtualMachineError", "java/lang/Error"},
        {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
    };
    for (auto& pair : tree) {
        Klass* klass = defineClass(pair[0], pair[1]);
        addMethod(klass, "<init>", "()V", false, noop);
        addMethod(klass, "<init>", "(Ljava/lang/String;)V", false, keepArguments);
    }
}

void defineLangClasses()
{
    Klass* object = defineClass("java/lang/Object", "");
    addMethod(object, "<init>", "()V", false, noop);
    addMethod(object, "toString", "()Ljava/lang/String;", false, [](ThreadEnv&, Obj* self, const std::vector<Value>&) {
        Locked lock;
        return Value::object(newString(toStringText(self)));
    });
    Klass* string = defineClass("java/lang/String", "java/lang/Object");
    addMethod(string, "toString", "()Ljava/lang/String;", false,
              [](ThreadEnv&, Obj* self, const std::vector<Value>&) { return Value::object(self); });
    addMethod(string, "length", "()I", false, [](ThreadEnv&, Obj* self, const std::vector<Value>&) {
        Locked lock;
        return Value::of('I', intValue(static_cast<jint>(self->text.size())));
    });
    defineClass("java/lang/ClassLoader", "java/lang/Object");
    defineClass("java/lang/reflect/Method", "java/lang/Object");
    Klass* classClass = defineClass("java/lang/Class", "java/lang/Object");
    addMethod(classClass, "getName", "()Ljava/lang/String;", false,
              [](ThreadEnv&, Obj* self, const std::vector<Value>&) {
                  Locked lock;
                  return Value::object(newString(utf8ToU16(dotted(self->classRef ? self->classRef->name : ""))));
              });
    addMethod(classClass, "forName", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;", true,
              [](ThreadEnv& env, Obj*, const std::vector<Value>& args) {
                  Locked lock;
                  std::string name = text(args[0]);
                  std::string slashName = name;
                  for (char& ch : slashName) {
                      if (ch == '.') {
                          ch = '/';
                      }
                  }
                  Klass* klass = args[0].ref() ? findClass(slashName) : nullptr;
                  report::line("class-for-name " + render(args[0]) + (klass ? " found" : " missing"));
                  if (!klass) {
                      throwNew(env, "java/lang/ClassNotFoundException", name);
                      return Value::object(nullptr);
                  }
                  return Value::object(klass->classObject);
              });
    defineThrowables();
    defineBoxes();

    Klass* system = defineClass("java/lang/System", "java/lang/Object");
    addMethod(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", true,
              [](ThreadEnv& env, Obj*, const std::vector<Value>& args) {
                  Locked lock;
                  report::line("set-property " + render(args[0]) + " " + render(args[1]));
                  if (!args[0].ref() || !args[1].ref()) {
                      throwNew(env, "java/lang/NullPointerException", "setProperty");
                      return Value::object(nullptr);
                  }
                  std::string key = text(args[0]);
                  auto it = vm().properties.find(key);
                  Obj* previous = it == vm().properties.end() ? nullptr : newString(it->second);
                  vm().properties[key] = args[1].ref()->text;
                  return Value::object(previous);
              });
    addMethod(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;", true,
              [](ThreadEnv&, Obj*, const std::vector<Value>& args) {
                  Locked lock;
                  auto it = vm().properties.find(text(args[0]));
                  return Value::object(it == vm().properties.end() ? nullptr : newString(it->second));
              });
    addMethod(system, "exit", "(I)V", true,
              [](ThreadEnv&, Obj*, const std::vector<Value>& args) -> Value { systemExit(args[0].v.i); });
}

void defineProductClasses()
{
    const std::string mainSignature = "([Ljava/lang/String;)V";
    for (const char* name : {"com/stowline/runtime/launcher/WinLauncher", "com/tallow/runtime/WinLauncher"}) {
        std::string className = name;
        Klass* klass = defineClass(name, "java/lang/Object");
        addMethod(klass, "main", mainSignature, true, [className](ThreadEnv& env, Obj*, const std::vector<Value>& args) {
            runMain(env, className, args[0].ref());
            return none();
        });
    }
    addMethod(findClass("com/tallow/runtime/WinLauncher"), "initAwtSplashConfig",
              "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V", true,
              recordStatic("init-awt-splash-config"));
    Klass* common = defineClass("com/stowline/runtime/installer/platform/win32/Common", "java/lang/Object");
    addMethod(common, "initFromLauncher", "(Z)V", true, [](ThreadEnv&, Obj*, const std::vector<Value>& args) {
        report::line(std::string("init-from-launcher ") + (args[0].v.z ? "true" : "false"));
        return none();
    });
    Klass* winDel = defineClass("com/tallow/runtime/util/WinDel", "java/lang/Object");
    addField(winDel, "externalExecutable", "Ljava/lang/String;", true);
    Klass* controller = defineClass("com/tallow/Controller", "java/lang/Object");
    addMethod(controller, "startupPerformed", "(Ljava/lang/String;)V", true,
              [](ThreadEnv&, Obj*, const std::vector<Value>& args) {
                  Locked lock;
                  report::line("startup-performed " + render(args[0]));
                  ++vm().startupCalls;
                  return none();
              });

    struct Shape {
        const char* name;
        const char* constructor;
    };
    for (Shape shape : {Shape{"com/stowline/api/windows/WindowInfo", "(JILjava/lang/String;Ljava/lang/String;)V"},
                        Shape{"com/stowline/runtime/installer/platform/win32/ObjectPicker$Result",
                              "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/"
                              "String;)V"},
                        Shape{"com/stowline/api/windows/WinRegistry$ExpandString", "(Ljava/lang/String;)V"}}) {
        addMethod(defineClass(shape.name, "java/lang/Object"), "<init>", shape.constructor, false, keepArguments);
    }
    for (const NativeDecl& decl : kNatives) {
        addNative(defineClass(decl.owner, "java/lang/Object"), decl.name, decl.signature);
    }
}

}  // namespace

void defineClasses()
{
    defineLangClasses();
    defineProductClasses();
    const Script& script = vm().script;
    for (const auto& extra : script.extraClasses) {
        Klass* klass = defineClass(extra.first, extra.second);
        if (!findMethod(klass, "<init>", "()V", false)) {
            addMethod(klass, "<init>", "()V", false, noop);
        }
    }
    for (const auto& field : script.extraFields) {
        addField(defineClass(field.owner, "java/lang/Object"), field.name, field.signature, field.isStatic);
    }
    for (const std::string& name : script.missingClasses) {
        defineClass(name, "java/lang/Object")->missing = true;
    }
}

}  // namespace testvm
