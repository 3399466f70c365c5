#include "core/default_messages.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "core/config_keys.h"

namespace {

std::map<int32_t, std::string> messageMap(const std::string& name, const std::string& address)
{
    std::map<int32_t, std::string> out;
    for (const DefaultMessage& m : defaultMessages(name, address)) {
        EXPECT_TRUE(out.emplace(m.key, m.text).second) << "key twice: " << m.key;
    }
    return out;
}

}  // namespace

TEST(DefaultMessages, EveryMessageKeyHasATextAndAnAlias)
{
    auto texts = messageMap("App", "https://example.org");
    std::set<int32_t> aliased;
    for (const KeyAlias& alias : keyAliases()) {
        if (alias.kind == KeyKind::Message) aliased.insert(alias.key);
    }
    std::set<int32_t> withText;
    for (const auto& [key, text] : texts) {
        withText.insert(key);
        EXPECT_FALSE(text.empty()) << key;
    }
    EXPECT_EQ(withText, aliased);
    EXPECT_EQ(texts.size(), 41u);  // 1000..1021 and 20001..20020 without 20017
    EXPECT_EQ(texts.count(20017), 0u);
}

TEST(DefaultMessages, ApplicationNameAndDownloadAddressGoWhereTheTextsNeedThem)
{
    auto texts = messageMap("Acme Setup", "https://dl.example.org/jre");
    const std::string tail = " or download a JRE from https://dl.example.org/jre.";
    for (int32_t key : {messages::kNoJvm, messages::kNoJvmBitness}) {
        const std::string& text = texts.at(key);
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << key;
    }
    EXPECT_EQ(texts.at(messages::kDownloadingRuntime),
              "Acme Setup is downloading the Java(TM) Runtime Environment. Please wait.");
    EXPECT_EQ(texts.at(messages::kPreparingWizard).rfind("Acme Setup is preparing the stowline Wizard", 0), 0u);
}

TEST(DefaultMessages, LineBreaksAndFormatCharactersAreKeptAsTheLauncherUsesThem)
{
    auto texts = messageMap("", "");
    EXPECT_EQ(texts.at(messages::kFileNotFound), "File or directory {0} not found or empty\n");
    EXPECT_EQ(texts.at(messages::kDownloadProgress), "%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s");
    EXPECT_EQ(texts.at(messages::kChooseJavaExe), "Please choose the file \"java.exe\" of the JRE");
    EXPECT_NE(texts.at(messages::kLocateOrDownload).find("suitable %S-bit JRE."), std::string::npos);
    for (const auto& [key, text] : texts) EXPECT_EQ(text.find("\\n"), std::string::npos) << key;
}

TEST(KeyAliases, AliasesAndKeysAreUniqueWithinTheirKind)
{
    std::set<std::pair<int, std::string>> names;
    std::set<std::pair<int, int32_t>> numbers;
    for (const KeyAlias& alias : keyAliases()) {
        int kind = static_cast<int>(alias.kind);
        EXPECT_TRUE(names.insert({kind, alias.alias}).second) << alias.alias;
        EXPECT_TRUE(numbers.insert({kind, alias.key}).second) << alias.key;
        int32_t key = 0;
        ASSERT_TRUE(keyFromAlias(alias.alias, alias.kind, key));
        EXPECT_EQ(key, alias.key);
        EXPECT_EQ(aliasForKey(alias.key, alias.kind), alias.alias);
    }
}

// The header that numbers the keys is the peer: every key there goes by its constant's name in
// snake case ("kMainClass" is "main_class"), config keys and message keys each in their kind.
TEST(KeyAliases, EveryKeyOfTheHeaderGoesByItsConstantsName)
{
    std::ifstream header(CORE_SOURCE_DIR "/config_keys.h");
    ASSERT_TRUE(header.is_open());
    const std::regex constant(R"(^constexpr int32_t k(\w+) = (\d+);)");
    KeyKind kind = KeyKind::Config;
    int seen = 0;
    for (std::string line; std::getline(header, line);) {
        if (line.rfind("namespace messages", 0) == 0) kind = KeyKind::Message;
        if (line.rfind("namespace internal_errors", 0) == 0) break;
        std::smatch match;
        if (!std::regex_search(line, match, constant)) continue;
        std::string alias;
        for (char c : match[1].str()) {
            if (std::isupper(static_cast<unsigned char>(c)) && !alias.empty()) alias += '_';
            alias += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        int32_t key = 0;
        EXPECT_TRUE(keyFromAlias(alias, kind, key)) << alias;
        EXPECT_EQ(key, std::stoi(match[2].str())) << alias;
        ++seen;
    }
    EXPECT_GT(seen, 100);
}

TEST(KeyAliases, KnownNamesAndTheVersionGroupPattern)
{
    struct Case {
        const char* alias;
        KeyKind kind;
        int32_t key;
    };
    const Case cases[] = {
        {"main_class", KeyKind::Config, 122},          {"included_file_count", KeyKind::Config, 2002},
        {"wizard_title", KeyKind::Message, 20013},     {"version_group_range_0", KeyKind::Config, 10201},
        {"version_group_options_0", KeyKind::Config, 10202}, {"version_group_range_3", KeyKind::Config, 10207},
        {"version_group_options_1", KeyKind::Config, 10204},
        {"version_group_range_4899", KeyKind::Config, 19999},  // the last group key
    };
    for (const Case& c : cases) {
        int32_t key = 0;
        ASSERT_TRUE(keyFromAlias(c.alias, c.kind, key)) << c.alias;
        EXPECT_EQ(key, c.key) << c.alias;
        EXPECT_EQ(aliasForKey(c.key, c.kind), c.alias);
    }
    const char* unknown[] = {"main_klass", "version_group_range_", "version_group_range_01",
                             "version_group_range_x", "version_group_range_-1", "version_group_options_9999",
                             "version_group_options_4899",  // key 20000
                             "version_group_range_1/", "version_group_range_1:"};  // beside the digits
    for (const char* alias : unknown) {
        int32_t key = 42;
        EXPECT_FALSE(keyFromAlias(alias, KeyKind::Config, key)) << alias;
        EXPECT_EQ(key, 42);
    }
    int32_t key = 0;
    EXPECT_FALSE(keyFromAlias("main_class", KeyKind::Message, key));
    EXPECT_FALSE(keyFromAlias("version_group_range_0", KeyKind::Message, key));
    EXPECT_EQ(aliasForKey(20000, KeyKind::Config), "");  // one past the last group key
    EXPECT_EQ(aliasForKey(999, KeyKind::Config), "");
    EXPECT_EQ(aliasForKey(20013, KeyKind::Config), "");
}
