// Folders of member paths: parents, recursive creation, output files, shell notices.
#include "archive/paths.h"

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "platform/system.h"

namespace {

bool IsSeparator(WideChar unit) { return unit == u'\\' || unit == u'/'; }

}  // namespace

bool ParentFolder(WideString& path) {
    uint32_t length = path.Length();
    if (length == 0) return false;
    const WideChar* text = path.Text();
    if (IsSeparator(text[length - 1])) --length;
    while (length > 0 && !IsSeparator(text[length - 1])) --length;
    if (length == 0) return false;
    --length;  // the separator itself
    if (length > 0 && text[length - 1] == u':') return false;  // a drive root has no parent
    path.Resize(length + 1);  // keeps the units before the separator
    return true;
}

bool CreateFolderTree(const WideString& path, CreateFolderResult (*create)(const WideChar*)) {
    if (create(path.Text()) != CreateFolderResult::Failed) return true;
    WideString parent(path);
    if (!ParentFolder(parent) || !CreateFolderTree(parent, create)) return false;
    return create(path.Text()) != CreateFolderResult::Failed;
}

bool CutAtLastSeparator(WideString& path) {
    uint32_t length = path.Length();
    const WideChar* text = path.Text();
    while (length > 0 && !IsSeparator(text[length - 1])) --length;
    if (length == 0) return false;
    path.Resize(length);  // keeps the units before the separator
    return true;
}

FileHandle* OpenOutputFile(const WideString& path) {
    auto* file = new FileHandle;
    file->CreateTemporary(path.Text());
    return file;
}

void NotifyShellOfMember(Extractor& extractor, const WideString& memberPath) {
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
