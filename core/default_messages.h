// The English default texts of the message table and the readable names (aliases) of every
// config key and message key, for the packer and for tools that show a block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DefaultMessage {
    int32_t key = 0;
    std::string text;  // UTF-8, line breaks as real '\n'
};

// Every message key with its English text, in key order. Messages 1001 and 1016 end with
// downloadAddress and a full stop; 20001 and 20007 begin with applicationName.
std::vector<DefaultMessage> defaultMessages(const std::string& applicationName,
                                            const std::string& downloadAddress);

enum class KeyKind { Config, Message };

struct KeyAlias {
    const char* alias;  // snake_case of the key's constant name ("main_class")
    int32_t key;
    KeyKind kind;
};

// Every named config key and message key, config keys first, each in key order.
const std::vector<KeyAlias>& keyAliases();

// The key of an alias of the given kind; also accepts "version_group_range_<i>" and
// "version_group_options_<i>" for config keys. False (key untouched) when unknown.
bool keyFromAlias(const std::string& alias, KeyKind kind, int32_t& key);

// The alias of a key of the given kind, or an empty string when it has none.
std::string aliasForKey(int32_t key, KeyKind kind);
