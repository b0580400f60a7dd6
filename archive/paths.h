// Member paths made safe, folders created, output files opened.
#pragma once
#include "platform/file_handle.h"
#include "package/wide_string.h"
#include "platform/system.h"

struct Extractor;

// Turns any stored member path into a relative path below the current folder,
// separated by `sep`.
void SanitizeMemberPath(WideString& path, WideChar sep);
bool ParentFolder(WideString& path);
// Makes sure the folder exists, creating missing parents with `create`: folders below the
// destination by default, which follow no link (platform/system.h); the destination
// itself with CreateDestinationFolder.
bool CreateFolderTree(const WideString& path, CreateFolderResult (*create)(const WideChar*) = CreateFolder);
bool CutAtLastSeparator(WideString& path);
// Creates the file's folder, then the file for writing, both below the destination;
// null when the folder cannot be made. The returned handle may be closed (the file could
// not be created); the caller checks.
FileHandle* OpenOutputFile(const WideString& path);
void NotifyShellOfMember(Extractor& extractor, const WideString& memberPath);
