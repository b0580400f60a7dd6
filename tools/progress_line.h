// The progress line of the host tool: the name in hand and a bar for the whole run,
// drawn in place on one line of standard error, and only when that is a terminal.
// Names are cut to the terminal's width by display columns, keeping their tail; the
// widths come from the C library, so main sets LC_CTYPE to a UTF-8 locale.
#pragma once
#include <cstdint>
#include <string>

class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Redraws when the name or the percentage changed. `name` is UTF-8.
    void Show(const std::string& name, uint32_t percent);
    void Clear();  // before anything else is printed, and at the end
    bool Enabled() const { return enabled_; }

private:
    bool enabled_;
    std::string name_;
    uint32_t percent_ = 0;
};

// Clears a line left on the terminal; safe inside a signal handler.
void ClearProgressLineFromSignal();

