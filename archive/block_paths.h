// Which paths of the configuration block the stub uses: the shortcut target and the launch
// program name something inside the destination folder, the shortcut name one file in its
// shortcut folder. A block that names anything else was not made by `kavisfx pack`, which
// refuses such paths; the stub leaves those actions out and says so.
#pragma once
#include "package/wide_string.h"

// True when `path`, relative to the destination, stays inside it: no drive, no root, no
// "\\server", no "..", nothing the rules for member paths would change (slashes count as
// backslashes).
bool StaysInDestination(const WideString& path);
// True when `name` is one file name that stays in its folder: no separator, no colon.
bool IsPlainFileName(const WideString& name);
