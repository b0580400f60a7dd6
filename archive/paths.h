// Member paths made safe, folders created, output files opened.
#pragma once
#include "platform/file_handle.h"
#include "package/wide_string.h"
#include "platform/system.h"

struct Extractor;

// Turns any stored member path into a relative path below the current folder,
// separated by `sep`.
void SanitizeMemberPath(WideString& path, WideChar sep);
// Makes sure the destination folder exists, creating missing parents with `create`
// (CreateDestinationFolder, which follows links; folders below the destination are made
// by CreateFolder, which follows none).
bool CreateFolderTree(const WideString& path, CreateFolderResult (*create)(const WideChar*));
// Creates the file's missing folders, then its temporary for writing, both below the
// destination (FileHandle::CreateTemporary). The returned handle may be closed (the file
// could not be created); the caller checks.
FileHandle* OpenOutputFile(const WideString& path);
void NotifyShellOfMember(Extractor& extractor, const WideString& memberPath);
