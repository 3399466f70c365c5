// Exported names of JNI natives: "Java_" + mangled class + "_" + mangled method.
#pragma once

#include <string>

// Mangles a class name (slash or dotted form) or a method name the JNI way: "/" and "." become
// "_", "_" becomes "_1", ";" "_2", "[" "_3", "$" and other characters outside [A-Za-z0-9] "_0xxxx"
// (four lower-case hex digits of the UTF-16 unit; the text is read as Latin-1 bytes).
std::string mangleJniName(const std::string& name);

// The exported function name of method of className.
std::string jniExportName(const std::string& className, const std::string& method);
