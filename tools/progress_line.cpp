// Drawing the progress line within the terminal's width.
#include "tools/progress_line.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The name takes what the bar leaves; on a narrow terminal the bar gives way first.
constexpr size_t WidestBar = 30, NarrowestBar = 10, NameBefore = 40, NarrowestName = 12;
constexpr size_t FrameColumns = 2 + 1 + 5;  // " [", "]", " 100%"
const char Clearing[] = "\r\033[K";

// Whether a line is on the terminal now; read by the signal handler.
std::atomic<bool> lineShown{false};

// Columns of one character. Without a UTF-8 locale wcwidth knows nothing beyond ASCII:
// everything from the Hangul Jamo on is then taken for wide, which cuts too much
// rather than too little.
size_t CharacterWidth(wchar_t character) {
    int width = ::wcwidth(character);
    if (width >= 0) return static_cast<size_t>(width);
    return character >= 0x1100 ? 2 : 1;
}

size_t TerminalColumns() {
    struct winsize size = {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return std::max<size_t>(size.ws_col, 2 * FrameColumns);
}

// The characters of a UTF-8 text with their byte offsets; a byte that starts no
// character counts as one column of its own.
template <typename Visit>
void EachCharacter(const std::string& text, Visit visit) {
    std::mbstate_t state = {};
    for (size_t at = 0; at < text.size();) {
        wchar_t character = 0;
        size_t length = std::mbrtowc(&character, text.data() + at, text.size() - at, &state);
        if (length == 0 || length > text.size() - at) {
            length = 1;
            character = L'?';
            state = {};
        }
        visit(at, CharacterWidth(character));
        at += length;
    }
}

// `text` in exactly `columns` columns: padded when it fits, else "..." and as much of
// its tail as fits, so that the file name stays visible.
std::string FitColumns(const std::string& text, size_t columns) {
    std::vector<std::pair<size_t, size_t>> characters;  // byte offset, columns
    size_t width = 0;
    EachCharacter(text, [&](size_t at, size_t columnsTaken) {
        characters.emplace_back(at, columnsTaken);
        width += columnsTaken;
    });
    if (width <= columns) return text + std::string(columns - width, ' ');
    size_t kept = 0, keepFrom = text.size();
    for (size_t i = characters.size(); i-- > 0 && kept + characters[i].second + 3 <= columns;) {
        kept += characters[i].second;
        keepFrom = characters[i].first;
    }
    return "..." + text.substr(keepFrom) + std::string(columns - 3 - kept, ' ');
}

}  // namespace

void ProgressLine::Show(const std::string& name, uint32_t percent) {
    // The run's percentage may pass 100 near its end when the total is not a round number.
    if (percent > 100) percent = 100;
    if (!enabled_ || (lineShown.load() && name == name_ && percent == percent_)) return;
    name_ = name;
    percent_ = percent;
    // One column stays free: a line that fills the last one wraps on some terminals.
    const size_t room = TerminalColumns() - 1 - FrameColumns;
    const size_t barWidth = std::clamp(room > NameBefore ? room - NameBefore : 0, NarrowestBar, WidestBar);
    const size_t nameColumns = room > barWidth + NarrowestName ? room - barWidth : NarrowestName;
    const size_t filled = percent * barWidth / 100;
    std::string bar(filled, '#');
    bar.append(barWidth - filled, '.');
    std::fprintf(stderr, "%s%s [%s] %3u%%", Clearing, FitColumns(name, nameColumns).c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    lineShown.store(true);
}

void ProgressLine::Clear() {
    if (!lineShown.exchange(false)) return;
    std::fputs(Clearing, stderr);
    std::fflush(stderr);
}

void ClearProgressLineFromSignal() {
    if (lineShown.exchange(false)) (void)!::write(STDERR_FILENO, Clearing, sizeof Clearing - 1);
}
