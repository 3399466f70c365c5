// toml++ with its internal assumptions checked. The library states what it takes for granted
// about its input with assertions (only active without NDEBUG), "assume" hints and "unreachable"
// marks; a malformed file that breaks one of them would otherwise abort the packer or run into
// undefined behaviour. Here every one of them is tested and a broken one throws
// TomlAssumptionBroken, which the project reader reports like any other syntax error. Include
// this header instead of <toml++/toml.h>.
#pragma once

#include <stdexcept>

#include <toml++/impl/preprocessor.h>

struct TomlAssumptionBroken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void tomlAssumptionBroken(const char* what) { throw TomlAssumptionBroken(what); }

#undef TOML_ASSERT
#undef TOML_ASSERT_ASSUME
#undef TOML_ASSUME
#undef TOML_UNREACHABLE
#define TOML_ASSERT(expr) ((expr) ? static_cast<void>(0) : ::tomlAssumptionBroken(#expr))
#define TOML_ASSERT_ASSUME(expr) TOML_ASSERT(expr)
#define TOML_ASSUME(...) TOML_ASSERT(__VA_ARGS__)
#define TOML_UNREACHABLE ::tomlAssumptionBroken("a branch the parser takes as unreachable")

#include <toml++/toml.h>
