#include "tools/pack/stub_image.h"

#include <algorithm>
#include <cstring>

extern const unsigned char EmbeddedStubI686[];
extern const unsigned long EmbeddedStubI686Size;
extern const unsigned char EmbeddedStubX86_64[];
extern const unsigned long EmbeddedStubX86_64Size;

const char StubMarker[11] = "LHA's SFX ";

bool EmbeddedStub(const std::string& arch, std::vector<uint8_t>& image) {
    const unsigned char* bytes = nullptr;
    unsigned long size = 0;
    if (arch == "i686") {
        bytes = EmbeddedStubI686;
        size = EmbeddedStubI686Size;
    } else if (arch == "x86_64") {
        bytes = EmbeddedStubX86_64;
        size = EmbeddedStubX86_64Size;
    }
    if (!bytes || size == 0) return false;
    image.assign(bytes, bytes + size);
    return true;
}

std::string RequestInvokerLevel(std::vector<uint8_t>& image) {
    static const std::string Highest = "level=\"highestAvailable\"";
    static const std::string Invoker = "level=\"asInvoker\"       ";
    static_assert(sizeof "level=\"highestAvailable\"" == sizeof "level=\"asInvoker\"       ");
    auto at = std::search(image.begin(), image.end(), Highest.begin(), Highest.end());
    if (at == image.end() || std::search(at + 1, image.end(), Highest.begin(), Highest.end()) != image.end())
        return "no single manifest requesting highestAvailable to make a per-user package of";
    std::copy(Invoker.begin(), Invoker.end(), at);
    return {};
}

std::string PrepareStub(std::vector<uint8_t>& image) {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return "not a Windows executable (no MZ header)";
    if (image.size() > StubImageSize)
        return "the stub is " + std::to_string(image.size()) + " bytes; it must end within the first " +
               std::to_string(StubImageSize) + " bytes of the package";
    image.resize(StubImageSize, 0);
    std::memcpy(image.data() + StubMarkerOffset, StubMarker, 10);
    return {};
}
