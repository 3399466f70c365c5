// Splitting the contents of a Java launcher argument file into arguments (rules in
// tests/doubles/test_vm/README.md).
#pragma once

#include <string>
#include <vector>

std::vector<std::string> splitArgumentFile(const std::string& text);
