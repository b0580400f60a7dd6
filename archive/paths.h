// Member paths made safe, folders created, output files opened.
#pragma once
#include "platform/file_handle.h"
#include "package/wide_string.h"

struct Extractor;

// Turns any stored member path into a relative path below the current folder,
// separated by `sep`.
void SanitizeMemberPath(WideString& path, WideChar sep);
bool ParentFolder(WideString& path);
bool CreateFolderTree(const WideString& path);
bool CutAtLastSeparator(WideString& path);
// Creates the file's folder, then opens it; null when the folder cannot be made.
// The returned handle may be closed (the open failed); the caller checks.
FileHandle* OpenOutputFile(const WideString& path, FileAccess access, FileDisposition disposition);
void NotifyShellOfMember(Extractor& extractor, const WideString& memberPath);
