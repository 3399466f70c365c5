// What natives print on standard output (or error) during a call, caught by pointing the C
// runtime's descriptor 1 (or 2) at a file for the while.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

class CapturedOutput {
public:
    explicit CapturedOutput(const std::wstring& file, int descriptor = 1) : file_(file), descriptor_(descriptor)
    {
        std::fflush(stdout);
        std::fflush(stderr);
        saved_ = _dup(descriptor_);
        int target = _wopen(file_.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        _dup2(target, descriptor_);
        _close(target);
    }
    ~CapturedOutput() { finish(); }
    // Ends the capture (once) and returns everything printed meanwhile.
    std::string finish()
    {
        if (saved_ >= 0) {
            std::fflush(stdout);
            std::fflush(stderr);
            _dup2(saved_, descriptor_);
            _close(saved_);
            saved_ = -1;
            std::ifstream in(file_.c_str(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            text_ = text.str();
        }
        return text_;
    }

private:
    std::wstring file_;
    int descriptor_;
    int saved_ = -1;
    std::string text_;
};
