// kavisfx pack: builds a package (stub, configuration block, archive) in one step.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "archive/block_paths.h"
#include "package/config_block.h"
#include "tools/commands.h"
#include "tools/pack/archive_check.h"
#include "tools/pack/name_codec.h"
#include "tools/pack/package_builder.h"
#include "tools/pack/stub_image.h"
#include "tools/pack/windows_names.h"
#include "tools/progress_line.h"
#include "tools/suggestion.h"
#include "tools/terminal_text.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx pack OUTPUT.exe [options] PATH...\n"
    "\n"
    "Builds a self-extracting package: the stub, its configuration block and an LHA\n"
    "archive of the given files and folders. A folder is packed under its own name and\n"
    "with everything in it; a folder given with a trailing '/' (or '.') packs only what\n"
    "it holds. Links given here are followed; links inside folders are skipped with a\n"
    "warning unless --follow-links is given.\n"
    "\n"
    "archive:\n"
    "  --method lh7|lh6|lh5|lh0  compression method (default lh7; lh0 stores)\n"
    "  --fast, --best            quicker, or smaller, than the default\n"
    "  --archive FILE.lzh        append this existing archive as it is instead of PATHs,\n"
    "                            once every member decodes to its CRC-16; names the stub\n"
    "                            would change are told\n"
    "  --allow-damaged           append it even when a member does not (to try the\n"
    "                            stub's handling of damage)\n"
    "  --archive-only            write a bare .lzh archive: no stub, no block\n"
    "  --follow-links            pack what links inside folders point to (files and\n"
    "                            folders; a link to a folder above it is refused, and a\n"
    "                            folder reached again is packed once)\n"
    "  --exclude PATTERN         leave out what matches: a glob over the path below a\n"
    "                            folder given ('docs/*.tmp') or over a name ('.git',\n"
    "                            which leaves out the whole folder); repeatable\n"
    "  --force                   replace an OUTPUT that is neither a package nor an archive\n"
    "\n"
    "stub:\n"
    "  --stub i686|x86_64|FILE   the stub to put in front (default i686)\n"
    "\n"
    "configuration block:\n"
    "  --no-dialog               no dialog: extract into the current folder at once\n"
    "  --caption TEXT            window title (default \"Kavi SFX\")\n"
    "  --destination PATH        folder the dialog offers\n"
    "  --relative-to program-files|current|user\n"
    "                            base of a destination without drive (default current);\n"
    "                            user: the user's %LOCALAPPDATA%\\Programs, a package that\n"
    "                            asks for no administrator and makes the user's own\n"
    "                            shortcuts (so does any destination that begins with %)\n"
    "  --shortcut-target PATH    packed file the shortcuts point to\n"
    "  --shortcut-name NAME      shortcut file name without .lnk\n"
    "  --start-menu, --desktop, --send-to off|on|on-locked|off-locked\n"
    "                            shortcut check boxes: checked or not, editable or not\n"
    "                            (default off with --shortcut-target, else off-locked)\n"
    "  --launch PATH             packed program to start after extraction\n"
    "  --allow-missing           accept a shortcut target or launch program not packed\n"
    "\n"
    "Paths in the block are relative to the destination and stay inside it (no drive, no\n"
    "leading \\, no ..), even with --allow-missing. Texts hold at most 255 UTF-16\n"
    "units. Modification times newer than SOURCE_DATE_EPOCH are set back to it; the same\n"
    "inputs always give the same package. Names are stored in UTF-16 and in CP932; a\n"
    "warning names the files whose names CP932 cannot hold, which tools that read only\n"
    "the CP932 name show with '_' in place of those characters.\n"
    "\n"
    "On a terminal the member in hand and a progress bar are shown on standard error.\n"
    "Files keep their Unix permissions (which the stub does not apply). Every name that\n"
    "Windows cannot hold or tell apart is listed before the run fails. On success one\n"
    "line counts the files, folders and bytes, in and out.\n"
    "Exit status: 0 written, 1 failed, 2 bad usage or a missing or unreadable input,\n"
    "130 interrupted; nothing is left at OUTPUT unless the status is 0.\n";

struct Usage {
    std::string problem;
};

struct PackOptions {
    std::string output;
    std::vector<std::string> paths;
    std::string stub = "i686";
    std::string method = "lh7";
    EncodeLevel level = EncodeLevel::Default;
    std::string existingArchive;
    bool archiveOnly = false;
    bool noDialog = false;
    bool allowMissing = false;
    bool followLinks = false;
    bool force = false;
    bool allowDamaged = false;
    std::vector<std::string> excludes;
    std::string contradiction;  // two options that ask for opposite things
    bool help = false;
    bool blockOptionGiven = false;
    std::string caption, destination, relativeTo = "current", shortcutTarget, shortcutName, launch;
    std::string startMenu, desktop, sendTo;
};

bool TakesValue(const std::string& name) {
    static const char* const Valued[] = {"--stub", "--method", "--archive", "--caption", "--destination",
                                         "--relative-to", "--shortcut-target", "--shortcut-name", "--start-menu",
                                         "--desktop", "--send-to", "--launch", "--exclude"};
    for (const char* v : Valued)
        if (name == v) return true;
    return false;
}

std::string NearestPackOption(const std::string& name) {
    std::vector<std::string> names = {"--help", "--fast", "--best", "--archive-only", "--no-dialog",
                                      "--allow-missing", "--follow-links", "--force", "--allow-damaged"};
    for (const char* valued : {"--stub", "--method", "--archive", "--caption", "--destination", "--relative-to",
                               "--shortcut-target", "--shortcut-name", "--start-menu", "--desktop", "--send-to",
                               "--launch", "--exclude"})
        names.push_back(valued);
    return DidYouMean(name, names);
}

// "cache/" names the folder cache, as "cache" does.
void AddExclude(PackOptions& o, std::string pattern) {
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
    o.excludes.push_back(pattern);
}

void SetLevel(PackOptions& o, const std::string& name) {
    const EncodeLevel level = name == "--fast" ? EncodeLevel::Fast : EncodeLevel::Best;
    if (o.level != EncodeLevel::Default && o.level != level) o.contradiction = "--fast and --best contradict each other";
    o.level = level;
}

std::string ParseArguments(int argc, char** argv, PackOptions& o) {
    bool onlyPaths = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyPaths || arg.size() < 2 || arg[0] != '-' || arg == "-") {
            (o.output.empty() ? o.output : o.paths.emplace_back()) = arg;
            continue;
        }
        if (arg == "--") {
            onlyPaths = true;
            continue;
        }
        std::string name = arg, value;
        bool hasValue = false;
        if (size_t eq = arg.find('='); eq != std::string::npos && arg.compare(0, 2, "--") == 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (TakesValue(name) && !hasValue) {
            if (i + 1 >= argc) return name + " needs a value";
            value = argv[++i];
        } else if (!TakesValue(name) && hasValue) {
            return name + " takes no value";
        }
        auto block = [&](std::string& field) {
            field = value;
            o.blockOptionGiven = true;
        };
        if (name == "--help" || name == "-h") o.help = true;
        else if (name == "--stub") o.stub = value;
        else if (name == "--method") o.method = value;
        else if (name == "--fast" || name == "--best") SetLevel(o, name);
        else if (name == "--archive") o.existingArchive = value;
        else if (name == "--archive-only") o.archiveOnly = true;
        else if (name == "--no-dialog") o.noDialog = true;
        else if (name == "--allow-missing") o.allowMissing = true;
        else if (name == "--follow-links") o.followLinks = true;
        else if (name == "--caption") block(o.caption);
        else if (name == "--destination") block(o.destination);
        else if (name == "--relative-to") block(o.relativeTo);
        else if (name == "--shortcut-target") block(o.shortcutTarget);
        else if (name == "--shortcut-name") block(o.shortcutName);
        else if (name == "--start-menu") block(o.startMenu);
        else if (name == "--desktop") block(o.desktop);
        else if (name == "--send-to") block(o.sendTo);
        else if (name == "--launch") block(o.launch);
        else if (name == "--exclude") AddExclude(o, value);
        else if (name == "--force") o.force = true;
        else if (name == "--allow-damaged") o.allowDamaged = true;
        else return "unknown option " + name + NearestPackOption(name);
    }
    return {};
}

// Options that ask for opposite things are refused rather than one silently winning.
std::string CheckOptionsAgree(const PackOptions& o) {
    if (!o.contradiction.empty()) return o.contradiction;
    if (o.archiveOnly && o.stub != "i686") return "--archive-only writes no stub, so it takes no --stub";
    if (o.allowDamaged && o.existingArchive.empty()) return "--allow-damaged is about --archive, which is not given";
    if (!o.existingArchive.empty() && (o.level != EncodeLevel::Default || o.method != "lh7" || !o.excludes.empty()))
        return "--archive appends the archive as it is: --method, --fast, --best and --exclude do not apply";
    return {};
}

bool ParseShortcutOption(const std::string& text, bool haveTarget, uint8_t& option) {
    if (text.empty()) option = haveTarget ? OptionEditable : 0;
    else if (text == "off") option = OptionEditable;
    else if (text == "on") option = OptionEditable | OptionChecked;
    else if (text == "on-locked") option = OptionChecked;
    else if (text == "off-locked") option = 0;
    else return false;
    return true;
}

// A path in the block: Windows separators.
std::u16string BlockPath(const std::u16string& path) {
    std::u16string out = path;
    for (char16_t& unit : out)
        if (unit == u'/') unit = u'\\';
    return out;
}

// The form in which a block path and a member path are compared.
std::u16string ComparablePath(std::u16string path) {
    for (char16_t& unit : path)
        if (unit == u'\\') unit = u'/';
    while (path.compare(0, 2, u"./") == 0) path.erase(0, 2);
    while (!path.empty() && path.back() == u'/') path.pop_back();
    return FoldCase(path);
}

std::string BuildConfig(const PackOptions& o, PackConfig& config) {
    config.dialog = !o.noDialog;
    if (o.noDialog) {
        if (o.blockOptionGiven) return "--no-dialog writes no configuration, so it takes no block options";
        return {};
    }
    std::pair<const std::string*, std::u16string*> texts[] = {
        {&o.caption, &config.caption},         {&o.destination, &config.destination},
        {&o.shortcutTarget, &config.shortcutTarget}, {&o.launch, &config.launchProgram},
        {&o.shortcutName, &config.shortcutName},
    };
    for (auto& [text, field] : texts)
        if (!Utf8ToUtf16(*text, *field)) return "'" + *text + "' is not valid UTF-8";
    config.destination = BlockPath(config.destination);
    config.shortcutTarget = BlockPath(config.shortcutTarget);
    config.launchProgram = BlockPath(config.launchProgram);
    if (o.relativeTo != "current" && o.relativeTo != "program-files" && o.relativeTo != "user")
        return "--relative-to takes program-files, current or user";
    config.programFilesBase = o.relativeTo == "program-files";
    if (o.relativeTo == "user") {
        if (config.destination.empty() || config.destination.find(u':') != std::u16string::npos ||
            config.destination[0] == u'\\' || config.destination[0] == u'%')
            return "--relative-to user needs a --destination below the user's programs folder, such as Kavi\\Tool";
        config.destination = u"%LOCALAPPDATA%\\Programs\\" + config.destination;
    }
    // The stub refuses these; a package that names them would only say so to its user.
    for (auto [option, path] : {std::pair{"--shortcut-target", &config.shortcutTarget}, {"--launch", &config.launchProgram}})
        if (!StaysInDestination(WideString(path->c_str())))
            return std::string(option) + " " + Utf16ToUtf8(*path) +
                   ": the path must stay inside the destination (no drive, no leading \\, no ..)";
    const bool haveTarget = !o.shortcutTarget.empty();
    const std::pair<const std::string*, uint8_t*> options[] = {
        {&o.startMenu, &config.startMenuOption}, {&o.desktop, &config.desktopOption}, {&o.sendTo, &config.sendToOption}};
    for (auto& [text, field] : options) {
        if (!ParseShortcutOption(*text, haveTarget, *field))
            return "'" + *text + "': shortcut options are off, on, on-locked or off-locked";
        if ((*field & OptionChecked) && !haveTarget) return "a checked shortcut needs --shortcut-target";
    }
    // The stub saves the shortcut under this name, silently failing on one Windows refuses.
    if (std::string problem = config.shortcutName.empty() ? "" : WindowsNameProblem(config.shortcutName + u".lnk");
        !problem.empty())
        return "--shortcut-name: Windows does not accept " + problem;
    return ConfigProblem(config);
}

// The cause when `path` cannot be opened for reading, else an empty text.
std::string CannotRead(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return path + ": " + std::strerror(errno);
    std::fclose(file);
    return {};
}

// --stub names one of the stubs built into this program, or a file.
bool IsBuiltInStub(const std::string& which) { return which == "i686" || which == "x86_64"; }

std::string LoadStub(const std::string& which, std::vector<uint8_t>& image) {
    if (IsBuiltInStub(which)) {
        if (!EmbeddedStub(which, image))
            return "this kavisfx was built without the Windows stubs (MinGW-w64 was missing): give --stub FILE";
    } else {
        std::ifstream in(which, std::ios::binary);
        if (!in) return which + ": " + std::strerror(errno);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string problem = PrepareStub(image);
    return problem.empty() ? problem : which + ": " + problem;
}

bool ParseMethod(const std::string& text, PackMethod& method) {
    if (text == "lh7") method = PackMethod::Lh7;
    else if (text == "lh6") method = PackMethod::Lh6;
    else if (text == "lh5") method = PackMethod::Lh5;
    else if (text == "lh0") method = PackMethod::Lh0;
    else return false;
    return true;
}

// The package is renamed over OUTPUT: when that is one of the files read (the stub, the
// archive or a file to pack), the file would be lost and the next run would read the package.
std::string OutputAmongInputs(const PackOptions& o, const std::vector<PackEntry>& entries) {
    struct stat out, in;
    if (::lstat(o.output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return {};
    auto same = [&](const std::string& path) {
        return ::stat(path.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
    };
    std::vector<std::string> inputs{o.existingArchive};
    if (!o.archiveOnly && !IsBuiltInStub(o.stub)) inputs.push_back(o.stub);
    for (const PackEntry& entry : entries)
        if (!entry.folder) inputs.push_back(entry.hostPath);
    for (const std::string& path : inputs)
        if (!path.empty() && same(path)) return path + " is the output; it would be replaced by the package";
    return {};
}

// Checks that the block's shortcut target and launch program name packed members.
std::string CheckBlockTargets(const PackConfig& config, const std::vector<std::u16string>& files,
                              const std::vector<std::u16string>& folders) {
    auto contains = [](const std::vector<std::u16string>& list, const std::u16string& path) {
        std::u16string wanted = ComparablePath(path);
        for (const std::u16string& p : list)
            if (ComparablePath(p) == wanted) return true;
        return false;
    };
    // A trailing separator names a folder, which the stub cannot start.
    auto namesFile = [&](const std::u16string& path) { return path.back() != u'\\' && contains(files, path); };
    if (!config.launchProgram.empty() && !namesFile(config.launchProgram))
        return "--launch " + Utf16ToUtf8(config.launchProgram) +
               " is not among the packed files (--allow-missing accepts it)";
    if (!config.shortcutTarget.empty() && !namesFile(config.shortcutTarget) &&
        !contains(folders, config.shortcutTarget))
        return "--shortcut-target " + Utf16ToUtf8(config.shortcutTarget) +
               " is not among the packed files (--allow-missing accepts it)";
    return {};
}

std::string ReadSourceDateEpoch(TreeOptions& tree) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text) return {};
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno || *end || value < 0) return std::string("SOURCE_DATE_EPOCH is not a count of seconds: ") + text;
    tree.newestTime = value;
    return {};
}

void OnSignal(int signal) {
    static const char Interrupted[] = "kavisfx pack: interrupted, nothing written\n";
    ClearProgressLineFromSignal();
    RemovePendingOutput();
    (void)!::write(STDERR_FILENO, Interrupted, sizeof Interrupted - 1);
    std::_Exit(128 + signal);
}

// Names whose CP932 form differs: tools that read only that form show '_' for what it
// cannot hold. Told once, naming the first of them.
void WarnAboutInexactNames(const std::vector<PackEntry>& entries) {
    constexpr size_t Named = 20;
    std::vector<std::string> names;
    for (const PackEntry& entry : entries) {
        std::u16string folder, name;
        SplitMemberPath(entry.memberPath, folder, name);
        bool exact = true;
        ToMultiByteName(name, exact);
        if (!exact) names.push_back(Utf16ToUtf8(entry.memberPath));
    }
    if (names.empty()) return;
    std::fprintf(stderr,
                 "kavisfx pack: warning: %zu name%s cannot be written in CP932; tools that read only the CP932 "
                 "name will show '_' in place of those characters:\n",
                 names.size(), names.size() == 1 ? "" : "s");
    for (size_t i = 0; i < names.size() && i < Named; ++i)
        std::fprintf(stderr, "  %s\n", TerminalText(names[i]).c_str());
    if (names.size() > Named) std::fprintf(stderr, "  and %zu more\n", names.size() - Named);
}

// Messages name files as the folders and archives spell them: escaped line by line.
void Say(const std::string& text) {
    std::string shown;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        shown += TerminalText(text.substr(start, end - start)) + "\n";
    std::fprintf(stderr, "kavisfx pack: %s\n", (shown + TerminalText(text.substr(start))).c_str());
}

int Fail(const std::string& problem, int status) {
    Say(problem);
    return status;
}

// --stub names a built-in stub or a file; a name that is neither gets the choices.
std::string CheckStubChoice(const std::string& stub) {
    if (IsBuiltInStub(stub)) return {};
    // What looks like a path is one: its own error says best what is wrong with it.
    if (::access(stub.c_str(), F_OK) == 0 || stub.find('/') != std::string::npos || stub.find('.') != std::string::npos)
        return CannotRead(stub);
    return "--stub " + stub + ": no such stub; the choices are i686 (the default), x86_64, or a stub's file" +
           DidYouMean(stub, {"i686", "x86_64"});
}

// A file in OUTPUT's place is replaced only when it is a package or an archive, which a
// run before this one may have made, or empty; anything else (`pack notes.txt dir`)
// takes --force.
std::string CheckReplaceable(const PackOptions& o) {
    struct stat st;
    if (o.force || ::stat(o.output.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return {};
    if (HoldsPackageOrArchive(o.output)) return {};
    return o.output + " exists and is neither a package nor an LHA archive; --force replaces it";
}

// "12 files, 3 folders, 204 MB in, 61 MB out (the archive 29% of the input), 2.4 s"
void PrintSummary(const PackageRequest& request, uint64_t files, uint64_t folders, uint64_t bytesIn,
                  std::chrono::steady_clock::time_point started) {
    struct stat st;
    const uint64_t bytesOut = ::stat(request.output.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    const uint64_t front = request.archiveOnly ? 0 : request.stub.size() + BuildConfigBlock(request.config).size();
    const uint64_t archive = bytesOut > front ? bytesOut - front : 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string ratio = bytesIn ? " (the archive " + std::to_string((archive * 100 + bytesIn / 2) / bytesIn) +
                                      "% of the input)" : "";
    std::printf("%s %s, %s %s, %s in, %s out%s, %.1f s\n", std::to_string(files).c_str(),
                files == 1 ? "file" : "files", std::to_string(folders).c_str(), folders == 1 ? "folder" : "folders",
                SizeText(bytesIn).c_str(), SizeText(bytesOut).c_str(), ratio.c_str(), seconds);
}

}  // namespace

int RunPack(int argc, char** argv) {
    PackOptions o;
    if (std::string problem = ParseArguments(argc, argv, o); !problem.empty()) return Fail(problem, 2);
    if (o.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (o.output.empty()) return Fail("no OUTPUT given (see kavisfx pack --help)", 2);
    if (std::string problem = CheckOptionsAgree(o); !problem.empty()) return Fail(problem, 2);
    if (o.paths.empty() == o.existingArchive.empty())
        return Fail(o.paths.empty() ? "nothing to pack: give PATHs or --archive FILE"
                                    : "give either PATHs or --archive FILE, not both",
                    2);

    PackageRequest request;
    request.output = o.output;
    request.archiveOnly = o.archiveOnly;
    request.level = o.level;
    if (!ParseMethod(o.method, request.method)) return Fail("--method takes lh7, lh6, lh5 or lh0", 2);
    if (o.archiveOnly && (o.blockOptionGiven || o.noDialog))
        return Fail("--archive-only writes no configuration block, so it takes no block options", 2);
    if (std::string problem = BuildConfig(o, request.config); !problem.empty()) return Fail(problem, 2);
    TreeOptions tree;
    if (std::string problem = ReadSourceDateEpoch(tree); !problem.empty()) return Fail(problem, 2);
    if (!o.existingArchive.empty())
        if (std::string problem = CannotRead(o.existingArchive); !problem.empty()) return Fail(problem, 2);
    if (!o.archiveOnly)
        if (std::string problem = CheckStubChoice(o.stub); !problem.empty()) return Fail(problem, 2);
    if (std::string problem = CheckReplaceable(o); !problem.empty()) return Fail(problem, 2);
    if (!o.archiveOnly)
        if (std::string problem = LoadStub(o.stub, request.stub); !problem.empty()) return Fail(problem, 1);
    if (!o.archiveOnly && IsPerUser(request.config))
        if (std::string problem = RequestInvokerLevel(request.stub); !problem.empty()) return Fail(o.stub + ": " + problem, 1);

    std::vector<std::u16string> files, folders;
    uint64_t total = 0;
    if (!o.existingArchive.empty()) {
        ArchiveSummary summary;
        if (std::string problem = CheckExistingArchive(o.existingArchive, !o.allowDamaged, summary); !problem.empty())
            return Fail(o.existingArchive + ": " + problem, 1);
        for (const std::string& warning : summary.warnings) Say("warning: " + o.existingArchive + ": " + warning);
        request.existingArchive = o.existingArchive;
        for (const std::u16string& path : summary.paths)
            (!path.empty() && path.back() == u'/' ? folders : files).push_back(path);
        total = summary.totalOriginal;
    } else {
        tree.followLinks = o.followLinks;
        tree.excludes = o.excludes;
        TreeReport report;
        std::string problem = CollectEntries(o.paths, tree, request.entries, report);
        for (const std::string& link : report.skippedLinks)
            Say("warning: " + link + ": a link, skipped (--follow-links packs what it points to)");
        for (const std::string& folder : report.repeatedFolders) Say("warning: " + folder);
        if (!problem.empty()) return Fail(problem, report.unreadable ? 2 : 1);
        WarnAboutInexactNames(request.entries);
        for (const PackEntry& entry : request.entries) {
            if (entry.size > 0xFFFFFFFFull)
                return Fail(entry.hostPath + ": 4 GiB or larger; a member holds at most 4 GiB - 1 byte", 1);
            total += entry.size;
            (entry.folder ? folders : files).push_back(entry.memberPath);
        }
    }
    if (total > 0xFFFFFFFFull) return Fail("the members add up to 4 GiB or more; a package holds less", 1);
    if (std::string problem = OutputAmongInputs(o, request.entries); !problem.empty()) return Fail(problem, 2);
    if (!o.allowMissing && !o.archiveOnly)
        if (std::string problem = CheckBlockTargets(request.config, files, folders); !problem.empty())
            return Fail(problem, 1);

    const auto started = std::chrono::steady_clock::now();
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    // Past the file-size limit a write fails (EFBIG) and the temporary file is removed,
    // where the signal would kill the run and leave it behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // Small runs end before a line would be worth drawing.
    ProgressLine progress(::isatty(STDERR_FILENO) && total >= (uint64_t(4) << 20));
    request.progress = [&](const std::u16string& member, uint64_t done, uint64_t all) {
        progress.Show(TerminalText(Utf16ToUtf8(member)), static_cast<uint32_t>(all ? done * 100 / all : 0));
    };
    std::string problem = BuildPackage(request);
    progress.Clear();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    if (!problem.empty()) return Fail(problem, 1);
    PrintSummary(request, files.size(), folders.size(), total, started);
    return 0;
}
