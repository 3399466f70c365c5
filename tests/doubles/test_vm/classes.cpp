#include <string>

#include "report.h"
#include "vm.h"

namespace testvm {

namespace {

// The native methods of the product's classes, as their Java declarations give them; the
// launcher's registration table must match these names and signatures exactly.
struct NativeDecl {
    const char* owner;
    const char* name;
    const char* signature;
};

const NativeDecl kNatives[] = {
    {"com/stowline/runtime/installer/platform/win32/FileVersion", "compare0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getSpecialFolder0", "(IZ)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getPathFromRegistry0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getWindowsDirectory0", "()Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getSystemDirectory0", "()Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getDriveType0", "(Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getShortPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/FolderInfo", "getUniversalPathName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "reboot0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getRunningModules0", "(Z)[Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getEnvVarPairs0", "()[Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "broadcastSettingChange0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getPhysicalMemory0", "()J"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getFreeDiskSpace0", "(Ljava/lang/String;)J"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "moveWithDelayUntilReboot0", "(Ljava/lang/String;Ljava/lang/String;)Z"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "toFront0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "terminateProcesses0", "([IZI)I"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getWindowTitle0", "(I)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "setForegroundWindow0", "(J)V"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getTopLevelWindows0", "(Ljava/lang/Class;I)[Lcom/stowline/api/windows/WindowInfo;"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "getPidFromHandle0", "(J)I"},
    {"com/stowline/runtime/installer/platform/win32/Misc", "registerExtensionFunctions0", "(Ljava/lang/ClassLoader;Ljava/lang/String;)Z"},
    {"com/stowline/runtime/installer/platform/win32/ObjectPicker", "show0", "(ZZZZZ)[Lcom/stowline/runtime/installer/platform/win32/ObjectPicker$Result;"},
    {"com/stowline/runtime/installer/platform/win32/ShellLink", "createWide0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z"},
    {"com/stowline/runtime/installer/platform/win32/ShellLink", "changeNotify0", "([B[B)Z"},
    {"com/stowline/runtime/installer/platform/win32/ShellLink", "initialize0", "()Z"},
    {"com/stowline/runtime/installer/platform/win32/ShellLink", "uninitialize", "()Z"},
    {"com/stowline/runtime/installer/platform/win32/VistaFileChooser", "initialize0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/VistaFileChooser", "displayDialog0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/VistaTaskDialog", "show0", "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"},
    {"com/stowline/runtime/installer/platform/win32/VistaTaskDialog", "init0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "getInvalidHandle0", "()J"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "createListener0", "(Ljava/lang/String;)J"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "readDataBlock0", "(J)[B"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "writeDataBlock0", "(J[B)Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "connectClient0", "(Ljava/lang/String;)J"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "connectNamedPipe0", "(J)Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "disconnectNamedPipe0", "(J)V"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "closeHandle0", "(J)V"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "isProcessAlive0", "(I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32CommunicationBackend", "getCurrentProcessId0", "()I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Proxy", "getIEConfig0", "([Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Proxy", "getDefaultConfig0", "([Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Proxy", "getAutoProxyConfig0", "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"},
    {"com/stowline/runtime/installer/platform/win32/Win32Proxy", "loadFunctions0", "()Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "isMemberOfGroup0", "(I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "executeElevated0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "getElevationType0", "()I"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "addUser0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "deleteUser0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "deleteLocalGroup0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "getAccountName0", "(Ljava/lang/String;Z)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "getUserProfileDirectory0", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "getUserSid0", "()Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Win32UserInfo", "setLsaAccountRight0", "(Ljava/lang/String;Ljava/lang/String;Z)Z"},
    {"com/stowline/runtime/installer/platform/win32/WinGuiHelper", "getPeer0", "(Ljava/awt/Window;Ljava/lang/Class;)Ljava/lang/Object;"},
    {"com/stowline/runtime/installer/platform/win32/WinGuiHelper", "getHwnd0", "(Ljava/lang/Object;Ljava/lang/reflect/Method;)J"},
    {"com/stowline/runtime/installer/platform/win32/WinGuiHelper", "destroyHIcon0", "(J)V"},
    {"com/stowline/runtime/installer/platform/win32/WinGuiHelper", "createHIcon0", "([BII)J"},
    {"com/stowline/runtime/installer/platform/win32/WinGuiHelper", "flashWindow0", "(JZ)V"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "init0", "()Z"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "getErrorMessage0", "(I)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "getErrorCode0", "(J)I"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "getErrorLocation0", "(J)I"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "clearError0", "(J)V"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "destroy0", "(J)V"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "connect0", "(Ljava/lang/String;ILjava/lang/String;Ljava/lang/String;ILjava/lang/String;II)J"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "openRequest0", "(JLjava/lang/String;Ljava/lang/String;II)V"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "getHeaders0", "(J)[B"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "read0", "(J[BII)I"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "internetErrorDlg0", "(JIIJ)I"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "sendRequest0", "(JLjava/lang/String;[B)I"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "setOption0", "(JI[B)V"},
    {"com/stowline/runtime/installer/platform/win32/wininet/WinInet", "setDwordOption0", "(JII)V"},
    {"com/stowline/runtime/installer/platform/win32/WinTaskBar", "initTaskBar0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/WinTaskBar", "setOverlayIcon0", "(JJ)V"},
    {"com/stowline/runtime/installer/platform/win32/WinTaskBar", "setProgress0", "(JJJ)V"},
    {"com/stowline/runtime/installer/platform/win32/WinTaskBar", "setState0", "(JI)V"},
    {"com/stowline/runtime/installer/platform/win32/ACLHandling", "addACE", "(Ljava/lang/String;ZZZZZILjava/lang/String;)Z"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "keyExists0", "(ILjava/lang/String;I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "createKey0", "(ILjava/lang/String;I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "getValue0", "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "setValue0", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "deleteValue0", "(ILjava/lang/String;Ljava/lang/String;I)V"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "deleteKey0", "(ILjava/lang/String;ZI)V"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "saveKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "restoreKey0", "(ILjava/lang/String;Ljava/lang/String;I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "enumSubKeys0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "enumValues0", "(ILjava/lang/String;I)[Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Registry", "changeNotifyAssociations0", "()V"},
    {"com/stowline/runtime/installer/platform/win32/Win32Exec", "launch0", "(Ljava/lang/String;Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Handle", "list0", "()[Ljava/lang/Object;"},
    {"com/stowline/runtime/installer/platform/win32/Win32Handle", "close0", "(I)Z"},
    {"com/stowline/runtime/installer/platform/win32/Win32Handle", "getDeviceName0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "installService0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "changeServiceConfig0", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "setRestartServiceConfig0", "(Ljava/lang/String;ZIII)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "setDelayedAutoStart0", "(Ljava/lang/String;Z)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "stopService0", "(Ljava/lang/String;I)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "startService0", "(Ljava/lang/String;[Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "uninstallService0", "(Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "queryStatus0", "(Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "getStartType0", "(Ljava/lang/String;)I"},
    {"com/stowline/runtime/installer/platform/win32/Win32Services", "getServiceBinary0", "(Ljava/lang/String;)Ljava/lang/String;"},
    {"com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "installImpl", "(J)J"},
    {"com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "uninstallImpl", "(J)V"},
    {"com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "updateFrame", "(JI)V"},
    {"com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "setWindowBackground", "(JIII)V"},
    {"com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "showWindow", "(JI)V"},
    {"com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder", "registryGetIntValue", "(Ljava/lang/String;Ljava/lang/String;I)I"},
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
