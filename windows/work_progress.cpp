#include "windows/work_progress.h"

#include <windows.h>

namespace {

class QuietProgress final : public WorkProgress {
public:
    bool shown() const override { return false; }
    void doing(const std::wstring&, const std::wstring&) override {}
    void reached(int) override {}
    void status(const std::wstring&) override {}
    void showStatus(bool) override {}
    void unpacking(unsigned long) override {}
    void unpacked() override {}
    int message(const std::wstring& text, const std::wstring& title, unsigned style) override
    {
        return ::MessageBoxW(nullptr, text.c_str(), title.c_str(), style);
    }
    bool cancelled() const override { return false; }
    void stopIfCancelled() override {}
};

}  // namespace

WorkProgress& quietProgress()
{
    static QuietProgress quiet;
    return quiet;
}
