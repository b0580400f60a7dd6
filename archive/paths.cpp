// Folders of member paths: the destination's creation, output files, shell notices.
#include "archive/paths.h"

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "platform/system.h"

namespace {

bool IsSeparator(WideChar unit) { return unit == u'\\' || unit == u'/'; }

}  // namespace

// Top-down: each folder on the way is made (or found) before the next; only the last
// one's result counts, as a drive, a server or a share on the way cannot be made.
bool CreateFolderTree(const WideString& path, CreateFolderResult (*create)(const WideChar*)) {
    if (path.IsEmpty()) return false;
    WideString folder(path);
    WideChar* text = folder.Data();
    for (uint32_t i = 1; text[i]; ++i) {
        if (!IsSeparator(text[i]) || IsSeparator(text[i - 1])) continue;
        const WideChar unit = text[i];
        text[i] = 0;
        create(text);
        text[i] = unit;
    }
    return create(path.Text()) != CreateFolderResult::Failed;
}

FileHandle* OpenOutputFile(const WideString& path) {
    auto* file = new FileHandle;
    file->CreateTemporary(path.Text());
    return file;
}

void NotifyShellOfMember(Extractor& extractor, const WideString& memberPath) {
    if (!ShellTakesNotices()) return;
    WideString path(extractor.destination);
    if (path.IsEmpty()) path = CurrentDirectoryPath();
    path.EnsureEndsWith(u'\\');
    // The notice names the file actually written, whatever the stored path says.
    WideString member(memberPath);
    SanitizeMemberPath(member, u'\\');
    path.Append(member);
    ReplaceSeparators(path, u'\\');
    NotifyShellOfCreate(path.Text());
}
