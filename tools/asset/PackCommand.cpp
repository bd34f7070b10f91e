// orbelline-asset pack: create, list and extract resource packs.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "engine/world/ResPacker.h"
#include "tools/asset/Commands.h"

namespace asset {
namespace {

const char kPackHelp[] =
    "usage: orbelline-asset pack SUBCOMMAND [ARGS...]\n"
    "\n"
    "subcommands:\n"
    "  create OUT.pak FILE[=NAME]...  write a pack of the files, in the order given\n"
    "  list PAK                       print NAME<TAB>SIZE for every entry\n"
    "  extract PAK NAME [OUT]         write the data of an entry to OUT or stdout\n"
    "\n"
    "'orbelline-asset pack SUBCOMMAND --help' describes a subcommand.\n";

const char kCreateHelp[] =
    "usage: orbelline-asset pack create OUT.pak FILE[=NAME]...\n"
    "\n"
    "Writes a resource pack holding the files in the order given. Each entry is\n"
    "named NAME, or the file's base name when no NAME is given; the last '='\n"
    "of an argument separates FILE from NAME. Names are at most 259 bytes.\n"
    "Lookups match the first entry whose name starts with the query, case\n"
    "ignored, so a warning is given for an entry hidden by an earlier one.\n"
    "OUT.pak is replaced only once the whole pack is written.\n";

const char kListHelp[] =
    "usage: orbelline-asset pack list PAK\n"
    "\n"
    "Prints one line per entry, NAME<TAB>SIZE, in file order. A damaged entry\n"
    "is reported on stderr after the entries before it, with exit status 1.\n"
    "A pack larger than 1 GiB is refused, as the program refuses it.\n";

const char kExtractHelp[] =
    "usage: orbelline-asset pack extract PAK NAME [OUT]\n"
    "\n"
    "Finds the entry as the engine does (the first entry whose name starts\n"
    "with NAME, case ignored) and writes its data to OUT, or to standard\n"
    "output when OUT is not given.\n";

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string ErrnoText() { return std::strerror(errno); }

// Splits the arguments of a subcommand into positionals; "--" ends options.
// Returns false on an unknown option; `help` is set by --help / -h.
bool ParseArgs(const std::vector<std::string>& args, std::vector<std::string>* positionals, bool* help,
               std::string* badOption) {
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--") {
            options = false;
        } else if (options && IsHelp(a)) {
            *help = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            *badOption = a;
            return false;
        } else {
            positionals->push_back(a);
        }
    }
    return true;
}

// Opens an input by name without waiting on a FIFO: a regular file of at
// most `maxBytes`, or null with the reason.
FilePtr OpenInput(const std::string& path, uint64_t maxBytes, std::string* why) {
    return FilePtr(platform::OpenRegularFile(path, maxBytes, why));
}

// Copies exactly `size` bytes; sets `shortRead` when `in` ends first.
bool CopyBytes(FILE* in, FILE* out, uint64_t size, bool* shortRead, bool* writeFailed) {
    char buffer[64 * 1024];
    while (size > 0) {
        const size_t want = size < sizeof buffer ? static_cast<size_t>(size) : sizeof buffer;
        const size_t got = std::fread(buffer, 1, want, in);
        if (got > 0 && std::fwrite(buffer, 1, got, out) != got) {
            *writeFailed = true;
            return false;
        }
        if (got < want) {
            *shortRead = true;
            return false;
        }
        size -= got;
    }
    return true;
}

bool StartsWithNoCase(const std::string& name, const std::string& prefix) {
    if (prefix.size() > name.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
        if (lower(name[i]) != lower(prefix[i])) return false;
    }
    return true;
}

// ---- create ---------------------------------------------------------------

struct InputSpec {
    std::string path;
    std::string name;
};

int RunCreate(const std::vector<std::string>& args) {
    const std::string where = "pack create";
    std::vector<std::string> pos;
    bool help = false;
    std::string bad;
    if (!ParseArgs(args, &pos, &help, &bad)) return UsageError(where, "unknown option " + Quote(bad));
    if (help) {
        std::fputs(kCreateHelp, stdout);
        return kExitOk;
    }
    if (pos.empty()) return UsageError(where, "missing output pack");
    if (pos.size() < 2) return UsageError(where, "no input files");

    const std::string out = pos[0];
    std::vector<InputSpec> inputs;
    for (size_t i = 1; i < pos.size(); ++i) {
        const std::string& arg = pos[i];
        InputSpec spec;
        const size_t eq = arg.rfind('=');
        if (eq == std::string::npos) {
            spec.path = arg;
            spec.name = std::filesystem::path(arg).filename().string();
            if (spec.name.empty()) return Fail(where + ": " + arg, "no file name to name the entry after");
        } else {
            spec.path = arg.substr(0, eq);
            spec.name = arg.substr(eq + 1);
            if (spec.path.empty()) return UsageError(where, "no file before '=' in " + Quote(arg));
            if (spec.name.empty()) return UsageError(where, "empty entry name in " + Quote(arg));
        }
        if (spec.name.size() > eRES_PACKER_MAX_NAME) {
            return Fail(where + ": " + spec.path, "entry name " + Quote(spec.name) + " is " +
                                                       std::to_string(spec.name.size()) + " bytes long (at most " +
                                                       std::to_string(eRES_PACKER_MAX_NAME) + ")");
        }
        // Lookups take the first entry starting with the query.
        for (const InputSpec& earlier : inputs) {
            if (StartsWithNoCase(earlier.name, spec.name)) {
                std::fprintf(stderr, "%s: %s: warning: entry %s is hidden by the earlier entry %s for lookups\n",
                             kToolName, where.c_str(), Quote(spec.name).c_str(), Quote(earlier.name).c_str());
                break;
            }
        }
        inputs.push_back(spec);
    }

    // A failure names the input it comes from, or the output.
    std::string failedAt = where + ": " + out, failure;
    const bool written = platform::WriteFileAtomically(
        out,
        [&](FILE* output, std::string* why) {
            for (const InputSpec& in : inputs) {
                const std::string at = where + ": " + in.path;
                FilePtr file = OpenInput(in.path, UINT32_MAX, why);
                if (!file) {
                    if (*why == "is larger than 4294967295 bytes") *why = "is too large for a pack entry";
                    failedAt = at;
                    return false;
                }
                struct stat st;
                if (fstat(fileno(file.get()), &st) != 0) {
                    failedAt = at;
                    *why = "cannot read (" + ErrnoText() + ")";
                    return false;
                }
                const uint32_t size = static_cast<uint32_t>(st.st_size);
                if (eFAILURE(eResPackerWriteEntryHeader(output, in.name.c_str(), size))) {
                    *why = "cannot write (" + ErrnoText() + ")";
                    return false;
                }
                bool shortRead = false, writeFailed = false;
                if (!CopyBytes(file.get(), output, size, &shortRead, &writeFailed)) {
                    if (writeFailed) {
                        *why = "cannot write (" + ErrnoText() + ")";
                    } else {
                        failedAt = at;
                        *why = std::ferror(file.get()) ? "cannot read (" + ErrnoText() + ")" : "file shrank while being read";
                    }
                    return false;
                }
                if (std::fgetc(file.get()) != EOF) {
                    failedAt = at;
                    *why = "file grew while being read";
                    return false;
                }
            }
            return true;
        },
        &failure);
    if (!written) return Fail(failedAt, failure);
    return kExitOk;
}

// Walks the entries of a pack in order, calling `visit` with each whole
// entry's name and size (the stream then at its data) until it returns false.
// Returns false with the reason in `damage` when the pack is damaged before
// the walk ends.
bool WalkPack(FILE* f, uint64_t fileSize, std::string* damage,
              const std::function<bool(const std::string&, uint32_t)>& visit) {
    char why[512];
    auto call = [](void* context, const char* name, uint32_t size) {
        return (*static_cast<const std::function<bool(const std::string&, uint32_t)>*>(context))(name, size);
    };
    if (eSUCCEEDED(eResPackerWalk(f, fileSize, call, const_cast<void*>(static_cast<const void*>(&visit)), why,
                                  sizeof why)))
        return true;
    *damage = why;
    return false;
}

// ---- list -----------------------------------------------------------------

int RunList(const std::vector<std::string>& args) {
    const std::string where = "pack list";
    std::vector<std::string> pos;
    bool help = false;
    std::string bad;
    if (!ParseArgs(args, &pos, &help, &bad)) return UsageError(where, "unknown option " + Quote(bad));
    if (help) {
        std::fputs(kListHelp, stdout);
        return kExitOk;
    }
    if (pos.empty()) return UsageError(where, "missing pack");
    if (pos.size() > 1) return UsageError(where, "unexpected argument " + Quote(pos[1]));

    const std::string& pak = pos[0];
    const std::string at = where + ": " + pak;
    std::string why;
    FilePtr file = OpenInput(pak, eRES_PACKER_MAX_FILE, &why);
    if (!file) return Fail(at, why);
    FILE* f = file.get();
    struct stat st;
    if (fstat(fileno(f), &st) != 0) return Fail(at, "cannot read (" + ErrnoText() + ")");
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);

    std::string damage;
    const bool whole = WalkPack(f, fileSize, &damage, [](const std::string& name, uint32_t size) {
        // A name with a tab, a newline or an escape byte would break the
        // NAME<TAB>SIZE lines.
        std::printf("%s\t%u\n", platform::Printable(name).c_str(), static_cast<unsigned>(size));
        return true;
    });
    if (!whole) {
        // After what was listed so far.
        std::fflush(stdout);
        return Fail(at, damage);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail(where, "cannot write to standard output (" + ErrnoText() + ")");
    return kExitOk;
}

// ---- extract --------------------------------------------------------------

int RunExtract(const std::vector<std::string>& args) {
    const std::string where = "pack extract";
    std::vector<std::string> pos;
    bool help = false;
    std::string bad;
    if (!ParseArgs(args, &pos, &help, &bad)) return UsageError(where, "unknown option " + Quote(bad));
    if (help) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    if (pos.empty()) return UsageError(where, "missing pack");
    if (pos.size() < 2) return UsageError(where, "missing entry name");
    if (pos.size() > 3) return UsageError(where, "unexpected argument " + Quote(pos[3]));

    const std::string& pak = pos[0];
    const std::string& query = pos[1];
    const std::string at = where + ": " + pak;
    std::string why;
    FilePtr file = OpenInput(pak, eRES_PACKER_MAX_FILE, &why);
    if (!file) return Fail(at, why);
    struct stat st;
    if (fstat(fileno(file.get()), &st) != 0) return Fail(at, "cannot read (" + ErrnoText() + ")");

    _RES_PACKER packer{};
    packer.m_pFile = file.get();
    if (eFAILURE(eGetResPacker(query.c_str(), &packer))) {
        // The look-up stops at damage; say so rather than "no entry".
        std::string damage;
        if (!WalkPack(file.get(), static_cast<uint64_t>(st.st_size), &damage,
                      [](const std::string&, uint32_t) { return true; }))
            return Fail(at, damage);
        return Fail(at, "no entry matches " + Quote(platform::Printable(query)) + " (see 'orbelline-asset pack list')");
    }
    if (query != packer.m_szName) {
        std::fprintf(stderr, "%s: %s: %s matched the entry %s\n", kToolName, at.c_str(), Quote(query).c_str(),
                     Quote(packer.m_szName).c_str());
    }

    bool shortRead = false, writeFailed = false;
    if (pos.size() == 3) {
        const std::string& out = pos[2];
        bool readFailed = false;
        std::string failure;
        if (!platform::WriteFileAtomically(
                out,
                [&](FILE* output, std::string* why) {
                    if (CopyBytes(file.get(), output, packer.m_dwSize, &shortRead, &writeFailed)) return true;
                    readFailed = !writeFailed;
                    *why = writeFailed ? "cannot write (" + ErrnoText() + ")" : std::string();
                    return false;
                },
                &failure)) {
            if (readFailed) return Fail(at, "entry " + Quote(packer.m_szName) + " cannot be read");
            return Fail(where + ": " + out, failure);
        }
        return kExitOk;
    }
    if (!CopyBytes(file.get(), stdout, packer.m_dwSize, &shortRead, &writeFailed) || std::fflush(stdout) != 0) {
        if (shortRead) return Fail(at, "entry " + Quote(packer.m_szName) + " cannot be read");
        return Fail(where, "cannot write to standard output (" + ErrnoText() + ")");
    }
    return kExitOk;
}

}  // namespace

int RunPack(const std::vector<std::string>& args) {
    if (args.empty()) return UsageError("pack", "missing subcommand");
    const std::string& sub = args[0];
    if (IsHelp(sub)) {
        std::fputs(kPackHelp, stdout);
        return kExitOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (sub == "create") return RunCreate(rest);
    if (sub == "list") return RunList(rest);
    if (sub == "extract") return RunExtract(rest);
    return UsageError("pack", "unknown subcommand " + Quote(sub));
}

}  // namespace asset
