#include "archive/block_paths.h"

#include "archive/paths.h"

bool StaysInDestination(const WideString& path) {
    WideString safe(path);
    SanitizeMemberPath(safe, u'\\');
    for (const WideChar *given = path.Text(), *kept = safe.Text();; ++given, ++kept) {
        WideChar unit = *given == u'/' ? u'\\' : *given;
        if (unit != *kept) return false;
        if (unit == 0) return true;
    }
}

bool IsPlainFileName(const WideString& name) {
    for (const WideChar* at = name.Text(); *at; ++at)
        if (*at == u'\\' || *at == u'/' || *at == u':') return false;
    return StaysInDestination(name);
}
