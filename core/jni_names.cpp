#include "core/jni_names.h"

#include <cstdio>

std::string mangleJniName(const std::string& name)
{
    std::string mangled;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            mangled += static_cast<char>(c);
        } else if (c == '/' || c == '.') {
            mangled += '_';
        } else if (c == '_') {
            mangled += "_1";
        } else if (c == ';') {
            mangled += "_2";
        } else if (c == '[') {
            mangled += "_3";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "_0%04x", c);
            mangled += escape;
        }
    }
    return mangled;
}

std::string jniExportName(const std::string& className, const std::string& method)
{
    return "Java_" + mangleJniName(className) + "_" + mangleJniName(method);
}
