#include "tools/stowpack/project.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/config_keys.h"
#include "core/default_messages.h"
#include "core/text.h"
#include "tools/stowpack/toml_checked.h"

namespace fs = std::filesystem;

namespace {

// "project.toml:12:5" (or just the file when the node has no position, as in JSON projects).
std::string where(const fs::path& file, const toml::source_region& region)
{
    std::string text = file.string();
    if (region.begin.line == 0) return text;
    return text + ":" + std::to_string(region.begin.line) + ":" + std::to_string(region.begin.column);
}

[[noreturn]] void fail(const fs::path& file, const toml::source_region& region, const std::string& what)
{
    throw ProjectError(where(file, region) + ": " + what);
}

std::string readWholeFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ProjectError(file.string() + ": cannot open the project file");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ProjectError(file.string() + ": cannot read the project file");
    return text.str();
}

// No project needs more than a few levels; deeper nesting only exhausts the parsers' stacks.
constexpr int kMaxNesting = 32;

// Line and column (in characters, from 1) of a byte offset of text.
std::string position(const std::string& text, size_t offset)
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

[[noreturn]] void failAt(const fs::path& file, const std::string& text, size_t offset, const std::string& what)
{
    throw ProjectError(file.string() + ":" + position(text, offset) + ": " + what);
}

// The length of the UTF-8 sequence at text[i], or 0 when it is malformed (overlong forms,
// surrogates and values above U+10FFFF included).
size_t utf8Sequence(const std::string& text, size_t i)
{
    auto byte = [&](size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
    unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    unsigned second = byte(i + 1);
    if (lead == 0xE0 && second < 0xA0) return 0;
    if (lead == 0xED && second >= 0xA0) return 0;
    if (lead == 0xF0 && second < 0x90) return 0;
    if (lead == 0xF4 && second >= 0x90) return 0;
    return length;
}

bool digit(char c) { return c >= '0' && c <= '9'; }

// In TOML a string (a value or a quoted key) begins only at a line's start or after "=", "[",
// "{", "," or "." with blanks between.
bool stringMayBegin(const std::string& text, size_t quote)
{
    size_t i = quote;
    while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t')) --i;
    if (i == 0) return true;
    const char before = text[i - 1];
    return before == '\n' || before == '\r' || before == '=' || before == '[' || before == '{' || before == ',' ||
           before == '.' || (i >= 3 && text.compare(i - 3, 3, "\xEF\xBB\xBF") == 0);
}

bool bareKeyCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// A value that is not a string, an array or a table (a number or true/false) is made of these
// characters and ends at a blank, ",", "]", "}", "#" or the line's end. Held to that, the parser
// never scans a malformed value on into a string's text. In an array the value may stand on a
// later line, after blank lines and comments.
void checkPlainValue(const fs::path& file, const std::string& text, size_t i, bool inArray = false)
{
    for (;;) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || (inArray && (text[i] == '\r' || text[i] == '\n'))))
            ++i;
        if (!inArray || i >= text.size() || text[i] != '#') break;
        while (i < text.size() && text[i] != '\n') ++i;
    }
    if (i >= text.size() || std::strchr("\"'[{#\r\n]}", text[i]) != nullptr) return;
    // ":" too, so that a date or time gets its own message below.
    while (i < text.size() && (bareKeyCharacter(text[i]) || text[i] == '+' || text[i] == '.' || text[i] == ':')) ++i;
    if (i < text.size() && std::strchr(" \t,]}#\r\n", text[i]) == nullptr) {
        failAt(file, text, i, "a value cannot hold this character");
    }
}

// What may follow a backslash in a basic string: an ASCII escape letter, or (in a multi-line
// string) blanks up to the line's end, after which the text resumes with an ASCII character.
// The parser classifies those characters with functions that fail on some others.
void checkEscape(const fs::path& file, const std::string& text, size_t slash, bool multiLine)
{
    auto ascii = [&](size_t at) { return at >= text.size() || static_cast<unsigned char>(text[at]) < 0x80; };
    auto lineEnd = [&](size_t at) { return at >= text.size() || text[at] == '\r' || text[at] == '\n'; };
    size_t i = slash + 1;
    if (!ascii(i)) failAt(file, text, i, "an escape must be an ASCII letter");
    if (!multiLine) return;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == slash + 1 && !lineEnd(i)) return;  // an ordinary escape
    if (!lineEnd(i)) failAt(file, text, i, "a line-ending backslash must end its line");
    while (i < text.size() && std::strchr(" \t\r\n", text[i]) != nullptr) ++i;
    if (!ascii(i)) failAt(file, text, i, "the text after a line-ending backslash must resume with an ASCII character");
}

// Holds every project text to what any project needs before a parser sees it, so that no input
// reaches a parser's weak spots: valid UTF-8, nesting at most kMaxNesting deep, and for TOML no
// control characters but tab and line ends, only ASCII outside strings and comments (as TOML
// requires of keys) and a key after a table header's brackets: all of them invalid TOML anyway;
// and no dates or times, which no setting takes. Strings and comments are skipped as TOML and JSON define them; a string left open at
// a line end (where the parser reports it) ends there.
void screenProjectText(const fs::path& file, const std::string& text, bool json)
{
    for (size_t i = 0; i < text.size();) {
        size_t length = utf8Sequence(text, i);
        if (length == 0) failAt(file, text, i, "not UTF-8");
        i += length;
    }
    if (json) {
        // JSON keeps control characters out of its texts itself.
    } else {
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
                failAt(file, text, i, "a control character is not allowed in TOML");
        }
    }
    enum class State { Plain, Basic, Literal, MultiBasic, MultiLiteral, Comment } state = State::Plain;
    int depth = 0;
    std::string open;  // the kinds of brackets open: '[' array, '{' inline table, 'h' table header
    bool lineStart = true;
    auto at = [&](size_t i, const char* what) { return text.compare(i, std::strlen(what), what) == 0; };
    // A byte-order mark may open the file.
    for (size_t i = at(0, "\xEF\xBB\xBF") ? 3 : 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (state) {
        case State::Plain:
            if ((c == '"' || (c == '\'' && !json)) && !json && !stringMayBegin(text, i)) {
                // The parser would not read a string here, but scan on as a value.
                failAt(file, text, i, "a string cannot begin here");
            } else if (c == '"') {
                state = !json && at(i, "\"\"\"") ? State::MultiBasic : State::Basic;
                if (state == State::MultiBasic) i += 2;
            } else if (c == '\'' && !json) {
                state = at(i, "'''") ? State::MultiLiteral : State::Literal;
                if (state == State::MultiLiteral) i += 2;
            } else if (c == '#' && !json) {
                state = State::Comment;
            } else if (!json && c == '=') {
                if (!open.empty() && open.back() != '{') failAt(file, text, i, "\"=\" cannot stand here");
                checkPlainValue(file, text, i + 1);
            } else if (!json && c == ',' && !open.empty() && open.back() == '[') {
                checkPlainValue(file, text, i + 1, true);  // in an array a value follows, in a table a key
            } else if (c == '[' || c == '{') {
                // Brackets open an array, an inline table or (at a line's start) a table header.
                const bool header = !json && c == '[' && (depth == 0 ? lineStart : open.back() == 'h');
                open.push_back(c == '{' ? '{' : header ? 'h' : '[');
                if (!json && open.back() == '[') checkPlainValue(file, text, i + 1, true);
                if (!json && c == '[' && depth == 0 && lineStart) {
                    size_t k = i + 1;
                    if (k < text.size() && text[k] == '[') ++k;
                    while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
                    if (k >= text.size() || !(bareKeyCharacter(text[k]) || text[k] == '"' || text[k] == '\''))
                        failAt(file, text, i, "a table header must name a key");
                }
                if (++depth > kMaxNesting) {
                    failAt(file, text, i, "nested deeper than " + std::to_string(kMaxNesting) + " levels");
                }
            } else if (c == ']' || c == '}') {
                if (depth > 0) --depth;
                if (!open.empty()) open.pop_back();
            } else if (!json && static_cast<unsigned char>(c) >= 0x80) {
                failAt(file, text, i, "a character outside a string or comment must be ASCII");
            } else if (!json && (c == ':' || (c == '-' && i > 0 && digit(text[i - 1]) && i + 1 < text.size() &&
                                              digit(text[i + 1])))) {
                // Outside strings only a date or a time has these; no setting takes one.
                failAt(file, text, i, "dates and times are not settings of a project");
            }
            break;
        case State::Basic:
            if (c == '\\') {
                checkEscape(file, text, i, false);
                if (i + 1 < text.size() && text[i + 1] != '\n') ++i;
            } else if (c == '"' || c == '\n') {
                state = State::Plain;
            }
            break;
        case State::Literal:
            if (c == '\'' || c == '\n') state = State::Plain;
            break;
        case State::MultiBasic:
            if (c == '\\') {
                checkEscape(file, text, i, true);
                ++i;
            } else if (at(i, "\"\"\"")) {
                state = State::Plain;
                i += 2;
            }
            break;
        case State::MultiLiteral:
            if (at(i, "'''")) {
                state = State::Plain;
                i += 2;
            }
            break;
        case State::Comment:
            if (c == '\n') state = State::Plain;
            break;
        }
        if (c == '\n') {
            lineStart = true;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            lineStart = false;
        }
    }
}

// JSON projects have the same shape as TOML ones; they are turned into a TOML table so one
// reader serves both (JSON values carry no source positions). The screening bounds the depth
// already; the conversion holds to it as well, since it recurses.
void insertJson(toml::table& table, const std::string& key, const nlohmann::json& value, int depth);

toml::array jsonArray(const nlohmann::json& value, int depth)
{
    toml::array array;
    for (const auto& item : value) {
        toml::table wrapper;
        insertJson(wrapper, "v", item, depth);
        array.push_back(std::move(*wrapper.get("v")));
    }
    return array;
}

toml::table jsonTable(const nlohmann::json& value, int depth)
{
    toml::table table;
    for (const auto& [key, item] : value.items()) insertJson(table, key, item, depth);
    return table;
}

void insertJson(toml::table& table, const std::string& key, const nlohmann::json& value, int depth)
{
    if ((value.is_object() || value.is_array()) && depth >= kMaxNesting) {
        throw ProjectError("key \"" + key + "\": nested deeper than " + std::to_string(kMaxNesting) + " levels");
    }
    if (value.is_object()) {
        table.insert(key, jsonTable(value, depth + 1));
    } else if (value.is_array()) {
        table.insert(key, jsonArray(value, depth + 1));
    } else if (value.is_string()) {
        table.insert(key, value.get<std::string>());
    } else if (value.is_boolean()) {
        table.insert(key, value.get<bool>());
    } else if (value.is_number_integer()) {
        table.insert(key, value.get<int64_t>());
    } else if (value.is_number()) {
        table.insert(key, value.get<double>());
    } else {
        throw ProjectError("key \"" + key + "\": null is not a value");
    }
}

toml::table parseProjectText(const fs::path& file, const std::string& text)
{
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(std::tolower(c));
    });
    const bool json = extension == ".json";
    screenProjectText(file, text, json);
    if (json) {
        nlohmann::json value;
        try {
            value = nlohmann::json::parse(text);
        } catch (const nlohmann::json::parse_error& error) {
            // byte is the 1-based offset of the character where parsing stopped.
            failAt(file, text, error.byte > 0 ? error.byte - 1 : 0, error.what());
        } catch (const nlohmann::json::exception& error) {
            throw ProjectError(file.string() + ": " + error.what());
        }
        if (!value.is_object()) throw ProjectError(file.string() + ":1:1: the project must be a JSON object");
        try {
            return jsonTable(value, 1);
        } catch (const ProjectError& error) {
            throw ProjectError(file.string() + ": " + error.what());
        }
    }
    try {
        return toml::parse(text, file.string());
    } catch (const toml::parse_error& error) {
        fail(file, error.source(), std::string(error.description()));
    } catch (const TomlAssumptionBroken& error) {
        // The parser keeps no position at this point; the screening gave every one it could.
        throw ProjectError(file.string() + ": not a TOML file the packer can read (" + error.what() + ")");
    }
}

// Reads the key of a [config] or [messages] table: an alias or a decimal key number.
int32_t keyOf(const fs::path& file, const toml::key& key, KeyKind kind, const std::string& table)
{
    const std::string name(key.str());
    int32_t number = 0;
    if (keyFromAlias(name, kind, number)) return number;
    bool digits = !name.empty() && name.size() <= 10 &&
                  std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        long long value = std::strtoll(name.c_str(), nullptr, 10);
        if (value <= INT32_MAX) return static_cast<int32_t>(value);
    }
    fail(file, key.source(), "[" + table + "] " + name + ": unknown " +
                                 (kind == KeyKind::Config ? "config" : "message") + " key");
}

std::string toCp1252(const fs::path& file, const toml::source_region& region, const std::string& context,
                     const std::string& utf8)
{
    std::string out;
    if (!utf8ToCp1252(utf8, out)) {
        fail(file, region, context + ": a character has no Windows-1252 form (narrow texts are Windows-1252)");
    }
    return out;
}

// A config value as the block stores it: text as is, numbers in decimal, booleans "0"/"1",
// arrays of those joined by ";".
std::string configText(const fs::path& file, const toml::node& value, const std::string& context)
{
    if (auto text = value.as_string()) return text->get();
    if (auto number = value.as_integer()) return std::to_string(number->get());
    if (auto flag = value.as_boolean()) return flag->get() ? "1" : "0";
    if (auto array = value.as_array()) {
        std::string joined;
        for (size_t i = 0; i < array->size(); ++i) {
            const toml::node& item = *array->get(i);
            if (item.is_array() || item.is_table()) fail(file, item.source(), context + ": lists hold plain values");
            if (i > 0) joined += ';';
            joined += configText(file, item, context);
        }
        return joined;
    }
    fail(file, value.source(), context + ": expected text, a whole number, true/false or a list");
}

const toml::table& tableOf(const fs::path& file, const toml::node& node, const std::string& name)
{
    if (!node.is_table()) fail(file, node.source(), name + " must be a table");
    return *node.as_table();
}

std::string textOf(const fs::path& file, const toml::node& node, const std::string& name)
{
    if (!node.is_string()) fail(file, node.source(), name + ": expected text");
    return node.as_string()->get();
}

// One key given twice, by alias and by number: reported at the later of the two in the file
// (tables iterate in key order, not file order).
void rejectDuplicate(const fs::path& file, std::map<int32_t, const toml::key*>& seen, int32_t number,
                     const toml::key& key, const std::string& table)
{
    auto [it, inserted] = seen.emplace(number, &key);
    if (inserted) return;
    const toml::key* first = it->second;
    const toml::key* later = &key;
    if (std::make_pair(later->source().begin.line, later->source().begin.column) <
        std::make_pair(first->source().begin.line, first->source().begin.column)) {
        std::swap(first, later);
    }
    fail(file, later->source(), "[" + table + "] " + std::string(later->str()) + ": key " + std::to_string(number) +
                                    " is given twice (also as " + std::string(first->str()) + ")");
}

std::vector<NarrowEntry> readConfig(const fs::path& file, const toml::table& table)
{
    std::map<int32_t, std::string> entries;
    std::map<int32_t, const toml::key*> seen;
    for (const auto& [key, value] : table) {
        int32_t number = keyOf(file, key, KeyKind::Config, "config");
        const std::string context = "[config] " + std::string(key.str());
        if (number == keys::kIncludedFileCount || number == keys::kIncludedFileNames) {
            fail(file, key.source(), context + ": filled in from [[files]], not set by hand");
        }
        rejectDuplicate(file, seen, number, key, "config");
        entries[number] = toCp1252(file, value.source(), context, configText(file, value, context));
    }
    std::vector<NarrowEntry> out;
    for (auto& [key, text] : entries) out.push_back({key, std::move(text)});
    return out;
}

std::map<int32_t, std::u16string> readMessages(const fs::path& file, const toml::table& table,
                                               const std::string& tableName)
{
    std::map<int32_t, std::u16string> messages;
    std::map<int32_t, const toml::key*> seen;
    for (const auto& [key, value] : table) {
        if (value.is_table()) continue;  // a language set, read on its own
        int32_t number = keyOf(file, key, KeyKind::Message, tableName);
        const std::string context = "[" + tableName + "] " + std::string(key.str());
        rejectDuplicate(file, seen, number, key, tableName);
        std::u16string text;
        if (!utf8ToUtf16(textOf(file, value, context), text)) fail(file, value.source(), context + ": not UTF-8");
        messages[number] = std::move(text);
    }
    return messages;
}

std::vector<WideEntry> wideEntries(const std::map<int32_t, std::u16string>& messages)
{
    std::vector<WideEntry> out;
    for (const auto& [key, text] : messages) out.push_back({key, text});
    return out;
}

// A payload name: one optional directory level separated by a backslash ("/" is taken as one).
std::string payloadName(const fs::path& file, const toml::source_region& region, std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    const std::string context = "[[files]] name \"" + name + "\"";
    size_t separators = std::count(name.begin(), name.end(), '\\');
    if (separators > 1) fail(file, region, context + ": at most one directory level is allowed");
    size_t split = name.find('\\');
    std::vector<std::string> parts{name.substr(0, split)};
    if (split != std::string::npos) parts.push_back(name.substr(split + 1));
    for (const std::string& part : parts) {
        if (part.empty() || part == "." || part == "..") fail(file, region, context + ": empty, \".\" or \"..\" part");
        if (part.find_first_of(";:*?\"<>|") != std::string::npos) {
            fail(file, region, context + ": contains a character not allowed in a file name or the list");
        }
    }
    return toCp1252(file, region, context, name);
}

std::vector<PayloadFile> readFiles(const fs::path& file, const toml::node& node)
{
    const toml::array* array = node.as_array();
    if (!array) fail(file, node.source(), "files must be an array of tables ([[files]])");
    std::vector<PayloadFile> files;
    std::set<std::string> names;
    const fs::path base = file.parent_path();
    for (const toml::node& item : *array) {
        const toml::table& entry = tableOf(file, item, "each [[files]] entry");
        const toml::node* source = entry.get("source");
        if (!source) fail(file, item.source(), "[[files]]: source is required");
        for (const auto& [key, value] : entry) {
            if (key.str() != "source" && key.str() != "name") {
                fail(file, key.source(), "[[files]] " + std::string(key.str()) + ": unknown setting");
            }
        }
        PayloadFile payload;
        fs::path sourcePath = fs::u8path(textOf(file, *source, "[[files]] source"));
        payload.source = sourcePath.is_absolute() ? sourcePath : base / sourcePath;
        const toml::node* name = entry.get("name");
        std::string nameText = name ? textOf(file, *name, "[[files]] name") : sourcePath.filename().u8string();
        payload.name = payloadName(file, name ? name->source() : source->source(), nameText);
        payload.where = where(file, item.source());
        std::string folded = payload.name;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) {
            return static_cast<char>(std::tolower(c));
        });
        if (!names.insert(folded).second) {
            fail(file, item.source(), "[[files]] name \"" + nameText + "\": listed twice");
        }
        files.push_back(std::move(payload));
    }
    return files;
}

}  // namespace

Project loadProject(const fs::path& projectFile) { return loadProjectText(projectFile, readWholeFile(projectFile)); }

Project loadProjectText(const fs::path& projectFile, const std::string& text)
{
    const toml::table root = parseProjectText(projectFile, text);
    Project project;
    project.file = projectFile;
    const fs::path base = projectFile.parent_path();
    std::string downloadSite;
    bool haveDownloadSite = false;
    bool withDefaults = true;
    std::map<int32_t, std::u16string> messageOverrides;
    std::map<std::string, std::map<int32_t, std::u16string>> languageSets;

    for (const auto& [key, value] : root) {
        const std::string name(key.str());
        if (name == "launcher") {
            project.launcher = base / fs::u8path(textOf(projectFile, value, name));
        } else if (name == "download_site") {
            downloadSite = textOf(projectFile, value, name);
            haveDownloadSite = true;
        } else if (name == "checksum") {
            if (!value.is_boolean()) fail(projectFile, value.source(), "checksum: expected true or false");
            project.checksum = value.as_boolean()->get();
        } else if (name == "default_messages") {
            if (!value.is_boolean()) fail(projectFile, value.source(), "default_messages: expected true or false");
            withDefaults = value.as_boolean()->get();
        } else if (name == "java_data") {
            project.javaData = base / fs::u8path(textOf(projectFile, value, name));
        } else if (name == "config") {
            project.contents.strings = readConfig(projectFile, tableOf(projectFile, value, "[config]"));
        } else if (name == "messages") {
            const toml::table& table = tableOf(projectFile, value, "[messages]");
            messageOverrides = readMessages(projectFile, table, "messages");
            for (const auto& [language, set] : table) {
                if (!set.is_table()) continue;
                const std::string setName = "messages." + std::string(language.str());
                std::string narrowName =
                    toCp1252(projectFile, language.source(), "[" + setName + "]", std::string(language.str()));
                languageSets[narrowName] = readMessages(projectFile, *set.as_table(), setName);
            }
        } else if (name == "files") {
            project.files = readFiles(projectFile, value);
        } else {
            fail(projectFile, key.source(), name + ": unknown setting");
        }
    }

    // The defaults need the application's name (key 101) and a download site, unless the
    // project supplies every message that uses them.
    auto overridden = [&](int32_t key) { return !withDefaults || messageOverrides.count(key) != 0; };
    std::string applicationName;
    auto nameEntry = std::find_if(project.contents.strings.begin(), project.contents.strings.end(),
                                  [](const NarrowEntry& e) { return e.key == keys::kApplicationName; });
    if (nameEntry != project.contents.strings.end()) {
        applicationName = cp1252ToUtf8(nameEntry->text);
    } else if (!overridden(messages::kDownloadingRuntime) || !overridden(messages::kPreparingWizard)) {
        throw ProjectError(projectFile.string() +
                           ": [config] application_name is required (messages 20001 and 20007 begin with it)");
    }
    if (!haveDownloadSite && (!overridden(messages::kNoJvm) || !overridden(messages::kNoJvmBitness))) {
        throw ProjectError(projectFile.string() +
                           ": download_site is required (messages 1001 and 1016 end with it)");
    }

    std::map<int32_t, std::u16string> messageTable;
    for (const DefaultMessage& message : withDefaults ? defaultMessages(applicationName, downloadSite)
                                                      : std::vector<DefaultMessage>{}) {
        std::u16string text;
        utf8ToUtf16(message.text, text);
        messageTable[message.key] = text;
    }
    for (auto& [key, text] : messageOverrides) messageTable[key] = text;
    project.contents.messages = wideEntries(messageTable);
    // Sorted by name, so "pt" comes before "pt_BR" and the more specific set wins.
    for (const auto& [language, set] : languageSets) {
        project.contents.languageSets.push_back({language, wideEntries(set)});
    }
    project.contents.checksumPresent = project.checksum;
    return project;
}

std::vector<NarrowEntry> includedFileEntries(const std::vector<PayloadFile>& files)
{
    std::string names;
    for (const PayloadFile& file : files) {
        if (!names.empty()) names += ';';
        names += file.name;
    }
    return {{keys::kIncludedFileCount, std::to_string(files.size())}, {keys::kIncludedFileNames, names}};
}
