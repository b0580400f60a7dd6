// Console messages and the terminal progress line of the host tool.
#include "tools/tool_front_end.h"

#include <cstdio>

#include "package/ui_texts.h"
#include "tools/tool_support.h"

namespace {

bool EndsWith(const WideChar* text, const WideChar* tail) {
    uint32_t length = WideLength(text), tailLength = WideLength(tail);
    if (tailLength > length) return false;
    for (uint32_t i = 0; i < tailLength; ++i)
        if (text[length - tailLength + i] != tail[i]) return false;
    return true;
}

// The worker's own texts carry the member's path already or are about the whole archive;
// anything else it shows while a member is in hand is the system's text for a failure
// with that member.
bool NamesItsFile(const WideChar* text) {
    for (UiText id : {UiText::FolderConflict, UiText::DamagedTail, UiText::FileConflict, UiText::UnknownMethod,
                      UiText::InvalidName, UiText::DamagedArchive, UiText::LinkInPath})
        if (EndsWith(text, Text(id))) return true;
    return false;
}

}  // namespace

ToolFrontEnd::ToolFrontEnd(const char* command, const std::string& archive, bool showProgress)
    : command_(command), archive_(DisplayText(archive)), line_(showProgress) {
    frontEnd_.context = this;
    frontEnd_.showMessage = [](void* self, const WideChar* text, const WideChar*, MessageIcon icon) {
        static_cast<ToolFrontEnd*>(self)->Message(text, icon);
    };
    frontEnd_.memberName = [](void* self, const WideChar* path) {
        static_cast<ToolFrontEnd*>(self)->MemberStarted(path);
    };
    frontEnd_.progress = [](void* self, uint32_t percent) { static_cast<ToolFrontEnd*>(self)->Progress(percent); };
    frontEnd_.workerEnd = [](void* self, bool aborted) {
        auto* frontEnd = static_cast<ToolFrontEnd*>(self);
        frontEnd->workerEnded = true;
        frontEnd->aborted = aborted;
    };
    InstallFrontEnd(&frontEnd_);
}

ToolFrontEnd::~ToolFrontEnd() {
    InstallFrontEnd(nullptr);
}

void ToolFrontEnd::MemberStarted(const WideChar* path) {
    memberPath_.assign(path);
    memberMade_ = false;
    if (line_.Enabled()) line_.Show(Member(), percent_);
}

void ToolFrontEnd::Progress(uint32_t percent) {
    percent_ = percent;
    if (line_.Enabled()) line_.Show(Member(), percent_);
}

const std::string& ToolFrontEnd::Member() {
    if (!memberMade_) member_ = DisplayText(memberPath_.c_str());
    memberMade_ = true;
    return member_;
}

void ToolFrontEnd::Message(const WideChar* text, MessageIcon icon) {
    ClearLine();
    ++messageCount;
    std::string line = DisplayText(text);
    if (!Member().empty() && icon != MessageIcon::Stop && !NamesItsFile(text))
        std::fprintf(stderr, "kavisfx %s: %s: %s: %s\n", command_.c_str(), archive_.c_str(), Member().c_str(),
                     line.c_str());
    else
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command_.c_str(), archive_.c_str(), line.c_str());
    std::fflush(stderr);
}

void ToolFrontEnd::ClearLine() { line_.Clear(); }
