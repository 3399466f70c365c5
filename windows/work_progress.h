// How long-running work (extraction, download, untar) reports what it does and learns of a Cancel,
// without knowing what shows it: the progress dialog, a wrapper's window, or nothing at all.
#pragma once

#include <string>

class WorkProgress {
public:
    virtual ~WorkProgress() = default;

    // Whether anything shows the reports: work may skip composing texts nobody sees.
    virtual bool shown() const = 0;
    // What is being done (the main text), with the label of the button that stops it.
    virtual void doing(const std::wstring& text, const std::wstring& stopLabel) = 0;
    // How far: a position on the bar's scale (see progress_dialog.h for its ranges).
    virtual void reached(int position) = 0;
    // The status line under the bar; hidden again by hideStatus.
    virtual void status(const std::wstring& text) = 0;
    virtual void showStatus(bool show) = 0;
    // The animation of unpacking packed runtime jars, paced by how long the untar took, and its end.
    virtual void unpacking(unsigned long untarMilliseconds) = 0;
    virtual void unpacked() = 0;
    // A message box over what shows the progress (MessageBoxW's style and answer; 0: none shown).
    virtual int message(const std::wstring& text, const std::wstring& title, unsigned style) = 0;

    // Whether the user asked to stop the work.
    virtual bool cancelled() const = 0;
    // Leaves the work when the user asked to stop and the work can be left from this thread.
    virtual void stopIfCancelled() = 0;
};

// Work that nothing shows: reports go nowhere, nothing is ever cancelled, messages are unowned.
WorkProgress& quietProgress();
