#include "script.h"

#include <cstdlib>

namespace testvm {

std::vector<Word> splitScriptLine(const std::string& line)
{
    // States: between words, in a bare part, in a quoted part. A word is literal when it began
    // with a quote and ended right after the quote that closed that first part.
    std::vector<Word> words;
    Word current;
    bool inWord = false;
    bool inQuotes = false;
    bool onlyQuoted = false;  // the word so far is exactly one quoted part
    for (size_t i = 0; i < line.size(); ++i) {
        char ch = line[i];
        if (inQuotes) {
            if (ch == '\\' && i + 1 < line.size()) {
                char next = line[++i];
                current.text += next == 'n' ? '\n' : next == 't' ? '\t' : next;
            } else if (ch == '"') {
                inQuotes = false;
            } else {
                current.text += ch;
            }
            continue;
        }
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
            if (inWord) {
                current.literal = onlyQuoted;
                words.push_back(current);
                current = Word();
                inWord = false;
            }
            continue;
        }
        if (ch == '"') {
            onlyQuoted = !inWord;
            inWord = true;
            inQuotes = true;
            continue;
        }
        onlyQuoted = false;
        inWord = true;
        current.text += ch;
    }
    if (inWord) {
        current.literal = onlyQuoted && !inQuotes;
        words.push_back(current);
    }
    return words;
}

namespace {

bool parseInt(const std::string& text, int& out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0') {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool parseLine(const std::vector<Word>& words, Script& script)
{
    const std::string& command = words[0].text;
    size_t count = words.size();
    if (command == "missing-class" && count == 2) {
        script.missingClasses.insert(words[1].text);
    } else if (command == "class" && (count == 2 || count == 3)) {
        script.extraClasses.emplace_back(words[1].text, count == 3 ? words[2].text : "java/lang/Object");
    } else if (command == "field" && (count == 4 || (count == 5 && words[4].text == "static"))) {
        script.extraFields.push_back({words[1].text, words[2].text, words[3].text, count == 5});
    } else if (command == "missing-method" && count == 4) {
        script.missingMethods.insert(words[1].text + " " + words[2].text + " " + words[3].text);
    } else if (command == "create-fails" && count == 2) {
        script.createFails = parseInt(words[1].text, script.createResult) && script.createResult != 0;
        return script.createFails;
    } else if (command == "register-fails" && count == 3) {
        int result = 0;
        if (!parseInt(words[2].text, result)) {
            return false;
        }
        script.registerFails[words[1].text] = result;
    } else if (command == "main" && count >= 2) {
        static const std::set<std::string> actions = {"throw", "exit", "sleep", "window", "wait-startup",
                                                      "stdout", "call", "call-thread"};
        if (!actions.count(words[1].text)) {
            return false;
        }
        script.mainActions.emplace_back(words.begin() + 1, words.end());
    } else {
        return false;
    }
    return true;
}

}  // namespace

Script parseScript(const std::string& text)
{
    Script script;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        std::vector<Word> words = splitScriptLine(line);
        if (words.empty() || (!words[0].literal && words[0].text[0] == '#')) {
            continue;
        }
        if (!parseLine(words, script)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            script.errors.push_back(line);
        }
    }
    return script;
}

}  // namespace testvm
