// "Did you mean": the nearest of the words a command or option could have been.
#pragma once
#include <string>
#include <vector>

// " (did you mean 'list'?)" when `word` is a few keystrokes from one of `choices`
// (a letter missing, extra, wrong or two swapped) or the start of exactly one of them;
// an empty text when nothing is near.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& choices);
