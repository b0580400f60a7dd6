#include "tools/pack/archive_check.h"

#include <cstring>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"

namespace {

// Keeps the reader's "Unknown header" box off the terminal; the check reports it.
void NoteMessage(void* context, const WideChar*, const WideChar*, MessageIcon) {
    *static_cast<bool*>(context) = true;
}

std::string Offset(uint64_t at) { return "at offset " + std::to_string(at); }

}  // namespace

std::string CheckExistingArchive(const std::string& path, ArchiveSummary& summary) {
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
        ++summary.members;
        summary.totalOriginal += header.originalSize;
        summary.paths.emplace_back(header.path.Text());
        file.Seek(static_cast<int64_t>(data + header.packedSize), SeekOrigin::Begin);
    }
    InstallFrontEnd(nullptr);
    return problem;
}
