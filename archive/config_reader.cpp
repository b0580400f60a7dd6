// The configuration block as the package file holds it, with its destination resolved.
#include "archive/config_reader.h"

#include "platform/system.h"

namespace {

bool HasDriveDesignator(const WideString& path) { return path.Length() >= 2 && path.Text()[1] == u':'; }

// No destination means the current folder. One that begins with an environment variable
// is that variable's folder on the machine it runs on, and one with a drive is taken as
// it stands; any other is joined to the Program Files folder (base byte nonzero) or the
// current folder, with one separator between them (a folder that already ends in one,
// such as C:\ or /, gets none).
void ResolveDestination(SfxConfig& config) {
    WideString& destination = config.defaultDestination;
    if (destination.IsEmpty()) {
        destination.Assign(CurrentDirectoryPath());
        return;
    }
    if (destination.Text()[0] == u'%') {
        config.perUser = 1;
        ExpandEnvironmentVariables(destination);
        return;
    }
    if (HasDriveDesignator(destination)) return;
    WideString base = config.destinationBase ? SpecialFolderPath(CsidlProgramFiles) : CurrentDirectoryPath();
    uint32_t length = base.Length();
    if (length == 0 || (base.Text()[length - 1] != u'\\' && base.Text()[length - 1] != u'/'))
        base.AppendChar(u'\\');
    base.Append(destination);
    destination.Assign(base);
}

}  // namespace

bool ReadConfigBlock(FileHandle& packageFile, SfxConfig& config) {
    uint8_t bytes[ConfigBlockMaxSize];
    int64_t got = packageFile.Read(sizeof bytes, bytes);
    uint32_t used = got > 0 ? ParseConfigBlock(bytes, static_cast<uint32_t>(got), config) : 0;
    if (used == 0) return false;
    ResolveDestination(config);
    // Back from the end of what was read to the end of the block.
    return packageFile.Seek(static_cast<int64_t>(used) - got, SeekOrigin::Current);
}
