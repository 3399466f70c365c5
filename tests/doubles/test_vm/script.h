// The test VM's script: what the VM lacks and what main does (format in README.md).
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testvm {

// One word of a script line. `literal` is set when the word was one quoted part as a whole:
// such a word is always text, never a keyword or a typed value.
struct Word {
    std::string text;
    bool literal = false;
};

// Splits one line into words: blanks separate, double quotes group (with \" \\ \n \t escapes).
std::vector<Word> splitScriptLine(const std::string& line);

struct Script {
    std::set<std::string> missingClasses;
    std::vector<std::pair<std::string, std::string>> extraClasses;  // class, superclass
    struct FieldDecl {
        std::string owner, name, signature;
        bool isStatic = false;
    };
    std::vector<FieldDecl> extraFields;
    std::set<std::string> missingMethods;  // "class name signature"
    bool createFails = false;
    int createResult = 0;
    std::map<std::string, int> registerFails;  // class -> RegisterNatives result
    std::vector<std::vector<Word>> mainActions;  // the words after "main"
    std::vector<std::string> errors;             // lines that did not parse
};

// Parses script text; lines that do not parse are kept in errors and otherwise ignored.
Script parseScript(const std::string& text);

}  // namespace testvm
