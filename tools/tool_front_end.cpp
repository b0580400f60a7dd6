// Console messages and the terminal progress line of the host tool.
#include "tools/tool_front_end.h"

#include <cstdio>

#include "package/ui_texts.h"
#include "tools/tool_support.h"

namespace {

constexpr size_t NameColumns = 40;
constexpr uint32_t BarWidth = 30;

bool EndsWith(const WideChar* text, const WideChar* tail) {
    uint32_t length = WideLength(text), tailLength = WideLength(tail);
    if (tailLength > length) return false;
    for (uint32_t i = 0; i < tailLength; ++i)
        if (text[length - tailLength + i] != tail[i]) return false;
    return true;
}

// The worker's own texts carry the output path already; anything else it shows while a
// member is in hand is the system's text for a failure with that member.
bool NamesItsFile(const WideChar* text) {
    return EndsWith(text, Text(UiText::FolderConflict)) || EndsWith(text, Text(UiText::DamagedTail)) ||
           EndsWith(text, Text(UiText::LinkInPath));
}

// The last `columns` characters of a UTF-8 text, so that the file name stays visible.
std::string TailColumns(const std::string& text, size_t columns) {
    size_t count = 0, at = text.size();
    while (at > 0 && count < columns) {
        --at;
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) ++count;
    }
    return at == 0 ? text : "..." + text.substr(at);
}

}  // namespace

ToolFrontEnd::ToolFrontEnd(const char* command, const std::string& archive, bool showProgress)
    : command_(command), archive_(archive), showProgress_(showProgress) {
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
    ClearLine();
}

void ToolFrontEnd::MemberStarted(const WideChar* path) {
    member_ = DisplayText(path);
    if (showProgress_) Draw();
}

void ToolFrontEnd::Progress(uint32_t percent) {
    if (percent == percent_) return;
    percent_ = percent;
    if (showProgress_) Draw();
}

void ToolFrontEnd::Message(const WideChar* text, MessageIcon icon) {
    ClearLine();
    ++messageCount;
    if (icon == MessageIcon::Stop) unknownHeader = true;
    std::string line = DisplayText(text);
    if (!member_.empty() && icon != MessageIcon::Stop && !NamesItsFile(text))
        std::fprintf(stderr, "kavisfx %s: %s: %s: %s\n", command_.c_str(), archive_.c_str(), member_.c_str(),
                     line.c_str());
    else
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command_.c_str(), archive_.c_str(), line.c_str());
    std::fflush(stderr);
}

void ToolFrontEnd::ClearLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    lineShown_ = false;
}

void ToolFrontEnd::Draw() {
    // The run's percentage may pass 100 near its end when the total is not a round number.
    uint32_t shown = percent_ > 100 ? 100 : percent_;
    uint32_t filled = shown * BarWidth / 100;
    std::string bar(filled, '#');
    bar.append(BarWidth - filled, '.');
    std::fprintf(stderr, "\r\033[K%-*s [%s] %3u%%", static_cast<int>(NameColumns + 3),
                 TailColumns(member_, NameColumns).c_str(), bar.c_str(), shown);
    std::fflush(stderr);
    lineShown_ = true;
}
