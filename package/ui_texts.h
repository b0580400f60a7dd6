// The texts the core and the stub show to a user, in Japanese (the stub's own texts) and
// in English. Which set is shown is chosen once at start-up by the front end: the stub
// from the user's UI language, the host tool from LC_MESSAGES/LANG.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

enum class UiText : uint8_t {
    UnknownHeader,       // "Unknown header" in both sets
    FolderConflict,      // after the path and a space
    DamagedHead,         // DamagedHead + path + DamagedTail
    DamagedTail,
    CannotCreateFolder,
    FileConflict,        // after the path and a space: a folder member over a file, or a
                         // file member (the earlier one named) on the path of another
    UnknownMethod,       // after the path, its method and a space
    InvalidName,         // after the stored path and a space
    DamagedArchive,
    LinkInPath,          // after the path and a space: a link below the destination in the way
    // The stub's windows: the destination dialog's controls, its folder browser, the
    // progress window's abort button.
    DestinationLabel,
    Browse,
    StartMenu,
    Desktop,
    SendTo,
    Cancel,
    BrowseTitle,
    Abort,
    Count,
};

void UseJapaneseTexts(bool japanese);  // Japanese until told otherwise
bool UsingJapaneseTexts();
const WideChar* Text(UiText id);
