#include "tools/pack/archive_check.h"

#include <cstring>
#include <map>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "archive/paths.h"
#include "decode/bit_input.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"
#include "tools/pack/windows_names.h"

namespace {

// Keeps the reader's "Unknown header" box off the terminal; the check reports it.
void NoteMessage(void* context, const WideChar*, const WideChar*, MessageIcon) {
    *static_cast<bool*>(context) = true;
}

std::string Offset(uint64_t at) { return "at offset " + std::to_string(at); }

// Decodes the member at the file's position into nothing; false when its data does not
// match its size or its CRC-16.
bool DecodesWhole(FileHandle& file, FileHandle& sink, const LzhHeader& header) {
    const MethodId method = LookUpMethod(header.method);
    if (IsFolderMember(header, method)) return true;
    decodeState.failure = DecodeFailure::None;
    uint32_t crc = DecodeMember(file, &sink, header.originalSize, header.packedSize, method);
    return decodeState.failure == DecodeFailure::None && !PackedDataRanOut() && (!header.hasCrc || crc == header.dataCrc);
}

// What the stub would make of the member's name, told as warnings.
void CheckName(const LzhHeader& header, std::map<std::u16string, std::string>& seen, std::vector<std::string>& warnings) {
    const std::u16string stored(header.path.Text());
    const std::string name = Utf8Text(header.path.Text()).c_str();
    WideString sanitized(header.path);
    SanitizeMemberPath(sanitized, u'/');
    std::u16string kept(sanitized.Text());
    bool climbs = !stored.empty() && (stored[0] == u'/' || stored[0] == u'\\' || (stored.size() > 1 && stored[1] == u':'));
    std::u16string component;
    for (size_t at = 0; at <= stored.size(); ++at) {
        if (at < stored.size() && stored[at] != u'/' && stored[at] != u'\\') {
            component += stored[at];
            continue;
        }
        if (component == u"..") climbs = true;
        else if (!component.empty() && component != u".")
            if (std::string problem = WindowsNameProblem(component); !problem.empty())
                warnings.push_back("member " + name + ": Windows does not accept " + problem);
        component.clear();
    }
    if (climbs) warnings.push_back("member " + name + " climbs out of the destination; the stub writes it as " +
                                   Utf8Text(sanitized.Text()).c_str());
    while (!kept.empty() && kept.back() == u'/') kept.pop_back();
    if (kept.empty()) return;
    auto [it, fresh] = seen.emplace(FoldCase(kept), name);
    if (!fresh) warnings.push_back("members " + it->second + " and " + name + " are one name on Windows");
}

}  // namespace

std::string CheckExistingArchive(const std::string& path, bool decode, ArchiveSummary& summary) {
    WideString widePath;
    AssignFromUtf8(widePath, path.c_str());
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    FileHandle& file = *extractor.packageFile;
    if (!file.Open(widePath.Text(), FileAccess::Read, FileDisposition::OpenExisting)) {
        Utf8Text cause(SystemErrorText(LastErrorCode()).Text());
        return cause.c_str();
    }
    bool unknownHeader = false;
    FrontEnd quiet;
    quiet.context = &unknownHeader;
    quiet.showMessage = NoteMessage;
    InstallFrontEnd(&quiet);
    std::string problem;
    const uint64_t size = file.Size();
    FileHandle sink;
    sink.Open(u"/dev/null", FileAccess::Write, FileDisposition::OpenExisting);
    MakeCrcTable();
    std::map<std::u16string, std::string> seen;
    for (;;) {
        const uint64_t at = file.Tell();
        LzhHeader header;
        if (!ReadMemberHeader(extractor, header)) {
            uint8_t mark = 1;
            if (unknownHeader)
                problem = "a member header of no known shape " + Offset(at);
            else if (!file.Seek(static_cast<int64_t>(at), SeekOrigin::Begin) || file.ReadByte(mark) != 1)
                problem = "the archive ends " + Offset(at) + " without its end mark";
            else if (mark != 0)
                problem = "a member header cut short " + Offset(at);
            break;
        }
        Utf8Text name(header.path.Text());
        const uint64_t data = file.Tell();
        if (LookUpMethod(header.method) == MethodUnknown) {
            problem = std::string("member ") + name.c_str() + " uses the method " + std::string(header.method, 5) +
                      ", which the stub cannot extract";
            break;
        }
        if (data + header.packedSize > size) {
            problem = std::string("member ") + name.c_str() + " is cut short";
            break;
        }
        if (decode && !DecodesWhole(file, sink, header)) {
            problem = std::string("member ") + name.c_str() + " is damaged: its data does not decode to its CRC-16";
            break;
        }
        CheckName(header, seen, summary.warnings);
        ++summary.members;
        summary.totalOriginal += header.originalSize;
        summary.paths.emplace_back(header.path.Text());
        file.Seek(static_cast<int64_t>(data + header.packedSize), SeekOrigin::Begin);
    }
    InstallFrontEnd(nullptr);
    return problem;
}
