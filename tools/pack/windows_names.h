// What Windows file systems accept as a file or folder name.
#pragma once
#include <string>

// Empty when `name` (one path component, UTF-16) is acceptable, else the reason.
std::string WindowsNameProblem(const std::u16string& name);

// The name as Windows compares names: case folded.
std::u16string FoldCase(const std::u16string& name);
