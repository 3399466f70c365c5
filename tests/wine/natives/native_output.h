// What natives print on standard output during a call, caught by pointing the C runtime's
// descriptor 1 at a file for the while.
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
    explicit CapturedOutput(const std::wstring& file) : file_(file)
    {
        std::fflush(stdout);
        saved_ = _dup(1);
        int target = _wopen(file_.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        _dup2(target, 1);
        _close(target);
    }
    ~CapturedOutput() { finish(); }
    // Ends the capture (once) and returns everything printed meanwhile.
    std::string finish()
    {
        if (saved_ >= 0) {
            std::fflush(stdout);
            _dup2(saved_, 1);
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
    int saved_ = -1;
    std::string text_;
};
