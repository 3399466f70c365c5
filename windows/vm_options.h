// Assembling the Java VM's option list: launcher properties, configured options, version-specific
// groups, the locale, the .vmoptions file, "-J" arguments, class and module path, argument files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/vm_options_rules.h"
#include "jni/jni.h"
#include "windows/jvm_search.h"

// The option list and the JNI view of it; the view points into options, so neither moves.
struct VmOptions {
    std::vector<std::string> options;
    std::vector<JavaVMOption> table;
    JavaVMInitArgs initArgs{};
};

// Where option lines go: the option list and the class path overrides.
struct OptionTargets {
    std::vector<std::string>* options = nullptr;
    ClassPathOverrides* overrides = nullptr;
    std::vector<std::wstring> openFiles;  // options files being read, against include cycles
};

// The launcher properties of this process: semaphore name, switches, executable, extraction
// directory, unextracted position, PATH, MANPATH and the console code page.
LauncherProperties currentLauncherProperties();

// Builds the whole list into out (properties first) and fills its JavaVMInitArgs. Missing
// required path entries end the process (messages 1006 and 1008).
void buildVmOptions(const LauncherProperties& properties, const std::vector<std::wstring>& arguments,
                    const LoadedJvm& jvm, VmOptions& out);

// Handles one option line; an "-include-options" path is resolved against includingFile's
// directory (the launcher directory when null).
void addOptionLine(const std::wstring* includingFile, const std::wstring& line, OptionTargets& targets);

// Reads an options file (ANSI text) and handles its lines; false when it cannot be opened or is
// already being read (an include cycle). Relative includes resolve against includeBase's directory.
bool readOptionsFile(const std::wstring& path, const std::wstring& includeBase, OptionTargets& targets);

// Appends the entries of the list in config key (class path 121 or module path 132) to
// accumulator; modulePath changes what an "S" entry adds.
void addPathEntries(int32_t key, std::string& accumulator, bool modulePath);

// Replaces "@" entries by the arguments of their files through the runtime's jli.dll in
// binDirectory; entries stay as they are when the library or its functions are missing.
void expandArgumentFiles(std::vector<std::string>& options, const std::string& binDirectory);

// Appends directory + "\" + name + ";" for each "jar" file, then each "zip" file, of directory.
void appendArchivesOf(const std::string& directory, std::string& target);
