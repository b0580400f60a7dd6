// Suggestions for mistyped commands and options.
#include "tools/suggestion.h"

#include <algorithm>

namespace {

// Edits between two words, a swap of neighbours counting as one.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::string DidYouMean(const std::string& word, const std::vector<std::string>& choices) {
    const std::string* best = nullptr;
    size_t bestDistance = std::max<size_t>(1, std::min<size_t>(2, word.size() / 3)) + 1;
    const std::string* onlyStart = nullptr;
    size_t starts = 0;
    for (const std::string& choice : choices) {
        if (size_t distance = EditDistance(word, choice); distance < bestDistance) {
            best = &choice;
            bestDistance = distance;
        }
        if (word.size() >= 3 && choice.compare(0, word.size(), word) == 0) {
            onlyStart = &choice;
            ++starts;
        }
    }
    if (!best && starts == 1) best = onlyStart;
    return best ? " (did you mean '" + *best + "'?)" : "";
}
