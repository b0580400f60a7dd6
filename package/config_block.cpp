// The configuration block: counted UTF-16 texts and option bytes behind the stub image.
#include "package/config_block.h"

#include "archive/file_handle.h"
#include "platform/system.h"

const WideChar DefaultCaption[] = u"Kavi SFX";

namespace {

bool ReadCount(FileHandle& file, uint8_t& count) { return file.ReadByte(count) == 1; }

// A count byte, then that many UTF-16 units. A count of 0 leaves an empty text.
bool ReadText(FileHandle& file, WideString& out, uint8_t* countRead = nullptr) {
    uint8_t count;
    if (!ReadCount(file, count)) return false;
    if (countRead) *countRead = count;
    if (count == 0) {
        out.Assign(u"");
        return true;
    }
    return file.ReadWideChars(count, out) == 2 * static_cast<int64_t>(count);
}

bool HasDriveDesignator(const WideString& path) { return path.Length() >= 2 && path.Text()[1] == u':'; }

// A destination with a drive is taken as it stands; any other is joined to the
// Program Files folder (base byte nonzero) or the current folder, with one separator
// between them (a folder that already ends in one, such as C:\ or /, gets none).
WideString ResolveDestination(const WideString& stored, bool fromProgramFiles) {
    if (HasDriveDesignator(stored)) return stored;
    WideString base = fromProgramFiles ? SpecialFolderPath(CsidlProgramFiles) : CurrentDirectoryPath();
    uint32_t length = base.Length();
    if (length == 0 || (base.Text()[length - 1] != u'\\' && base.Text()[length - 1] != u'/'))
        base.AppendChar(u'\\');
    base.Append(stored);
    return base;
}

bool ReadDestination(FileHandle& file, SfxConfig& config) {
    uint8_t base, count;
    if (!ReadCount(file, base) || !ReadCount(file, count)) return false;
    if (count == 0) {
        config.defaultDestination = CurrentDirectoryPath();
        return true;
    }
    WideString stored;
    if (file.ReadWideChars(count, stored) != 2 * static_cast<int64_t>(count)) return false;
    config.defaultDestination = ResolveDestination(stored, base != 0);
    return true;
}

}  // namespace

bool ReadConfigBlock(FileHandle& packageFile, SfxConfig& config) {
    uint8_t marker;
    if (!ReadCount(packageFile, marker)) return false;
    if (marker == 0) {
        config.caption.Assign(DefaultCaption);
        config.defaultDestination = CurrentDirectoryPath();
        return true;
    }
    uint8_t captionCount = 0;
    if (!ReadText(packageFile, config.caption, &captionCount)) return false;
    if (captionCount == 0) config.caption.Assign(DefaultCaption);
    if (!ReadDestination(packageFile, config)) return false;
    if (!ReadText(packageFile, config.shortcutTarget)) return false;
    if (!ReadCount(packageFile, config.startMenuOption) || !ReadCount(packageFile, config.desktopOption) ||
        !ReadCount(packageFile, config.sendToOption))
        return false;
    if (!ReadText(packageFile, config.launchProgram)) return false;
    if (!ReadText(packageFile, config.shortcutName)) return false;
    config.present = 1;
    return true;
}
