// The stub at the front of a package: one of the stubs built with this tool, or a file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t StubImageSize = 37888;  // where the configuration block begins
constexpr size_t StubMarkerOffset = 0x24;
extern const char StubMarker[11];        // "LHA's SFX " (ten bytes)

// The stub built for "i686" or "x86_64"; false when this tool was built without it.
bool EmbeddedStub(const std::string& arch, std::vector<uint8_t>& image);

// Checks an executable image and makes it the package's front: padded with zeros to
// StubImageSize bytes, the marker in its MS-DOS header. Empty text or the problem.
std::string PrepareStub(std::vector<uint8_t>& image);

// A package that installs for the user who runs it asks for no administrator: the stub's
// manifest requests "asInvoker" instead of "highestAvailable", written in place (padded
// with blanks, so that nothing else in the image moves). Empty text or the problem.
std::string RequestInvokerLevel(std::vector<uint8_t>& image);
