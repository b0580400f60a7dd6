// Layout: marker; caption; base byte; destination; shortcut target; the Start menu,
// desktop and Send To option bytes; launch program; shortcut name. Each text is a count
// byte followed by that many UTF-16LE units, without terminator.
#include "tools/pack/config_writer.h"

namespace {

void PutText(std::vector<uint8_t>& out, const std::u16string& text) {
    out.push_back(static_cast<uint8_t>(text.size()));
    for (char16_t unit : text) {
        out.push_back(static_cast<uint8_t>(unit));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
}

}  // namespace

std::string ConfigProblem(const PackConfig& config) {
    const std::pair<const char*, const std::u16string*> texts[] = {
        {"--caption", &config.caption},           {"--destination", &config.destination},
        {"--shortcut-target", &config.shortcutTarget}, {"--launch", &config.launchProgram},
        {"--shortcut-name", &config.shortcutName},
    };
    for (const auto& [option, text] : texts) {
        if (text->size() > MaxConfigText)
            return std::string(option) + " is " + std::to_string(text->size()) +
                   " UTF-16 units long; the package holds at most 255";
        if (text->find(u'\0') != std::u16string::npos) return std::string(option) + " contains a NUL character";
    }
    return {};
}

std::vector<uint8_t> BuildConfigBlock(const PackConfig& config) {
    if (!config.dialog) return {0};
    std::vector<uint8_t> out{1};
    PutText(out, config.caption);
    out.push_back(config.programFilesBase ? 1 : 0);
    PutText(out, config.destination);
    PutText(out, config.shortcutTarget);
    out.push_back(config.startMenuOption);
    out.push_back(config.desktopOption);
    out.push_back(config.sendToOption);
    PutText(out, config.launchProgram);
    PutText(out, config.shortcutName);
    return out;
}
