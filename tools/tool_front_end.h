// The worker's front end in the host tool. Messages go to standard error, named by the
// archive and the member in hand; on a terminal the member's name and a progress bar are
// drawn on one line of standard error (tools/progress_line.h), redrawn when either changes.
#pragma once
#include <cstdint>
#include <string>

#include "platform/posix/console_front_end.h"
#include "tools/progress_line.h"

class ToolFrontEnd {
public:
    // `showProgress`: draw the progress line (callers pass whether stderr is a terminal).
    ToolFrontEnd(const char* command, const std::string& archive, bool showProgress);
    ~ToolFrontEnd();  // uninstalls itself and clears the progress line
    ToolFrontEnd(const ToolFrontEnd&) = delete;
    ToolFrontEnd& operator=(const ToolFrontEnd&) = delete;

    void MemberStarted(const WideChar* path);
    void Progress(uint32_t percent);
    void Message(const WideChar* text, MessageIcon icon);
    void ClearLine();  // before printing anything else while the progress line shows

    bool workerEnded = false;
    bool aborted = false;
    uint32_t messageCount = 0;

private:
    FrontEnd frontEnd_;
    std::string command_;
    std::string archive_;
    // The member in hand, and its display text, made only once a message or the progress
    // line needs it (most members need none).
    std::u16string memberPath_;
    std::string member_;
    bool memberMade_ = true;
    const std::string& Member();
    ProgressLine line_;
    uint32_t percent_ = 0;
};
