// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to ParseGsd and checks what every reader of its
// result relies on: blocks within the bytes a record holds, a stop with its
// line, modules whose identifier bytes are either usable or refused.
#include "core/slave_work.h"
#include "slave/gsd_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace meridan;

namespace {

bool HasFlag(int argc, char **argv, const char *flag)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0)
            return true;
    }
    return false;
}

bool IsDirectory(const char *path)
{
    struct stat s {};
    return stat(path, &s) == 0 && S_ISDIR(s.st_mode);
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckBlock(const GsdBlock &b)
{
    Check(b.prmLen >= 0 && b.prmLen <= kMaxUserPrm && b.prmConst.size() <= std::size_t(b.prmLen));
    for (const GsdPrmRef &r : b.refs)
        Check(r.offset >= 0 && r.offset < kMaxUserPrm && r.number >= 0 && r.number <= 65535);
    for (const GsdConstLine &c : b.consts)
        Check(c.from >= 0 && c.from <= c.to && c.to <= b.prmLen);
}

} // namespace

// The device files of a plant reach 200 KB, but the parser's paths show in a
// few KB: smaller inputs give many more runs. The keyword dictionary lets
// mutations form lines the parser acts on, and the seeds (small files of our
// own, one for each kind of block) start it inside them. Each only when the
// command line has none of its own; the seeds only beside corpus folders.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<char *> args;
    static char maxLen[] = "-max_len=8192";
    static char dict[] = "-dict=" MERIDAN_GSD_DICT;
    static char seeds[] = MERIDAN_GSD_SEEDS;
    args.assign(*argv, *argv + *argc);
    if (!HasFlag(*argc, *argv, "-max_len="))
        args.insert(args.begin() + 1, maxLen);
    if (!HasFlag(*argc, *argv, "-dict="))
        args.insert(args.begin() + 1, dict);
    bool folders = false, files = false;
    for (int i = 1; i < *argc; ++i) {
        if ((*argv)[i][0] == '-')
            continue;
        (IsDirectory((*argv)[i]) ? folders : files) = true;
    }
    if (folders && !files)
        args.push_back(seeds);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const GsdParse p = ParseGsd(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    const GsdFile &f = p.file;
    if (p.error)
        Check(p.error->kind == GsdParseError::Kind::NotGsd || (p.error->line >= 1 && !p.error->reason.isEmpty()));
    Check(f.ident >= -1 && f.ident <= 0xFFFF);
    CheckBlock(f.device);
    for (const GsdFileModule &m : f.modules) {
        CheckBlock(m.prm);
        Check(m.cfgError.isEmpty() || m.cfg.empty());
        (void)f.moduleName(m); // every text decodes from what the file kept
    }
    for (const auto &[n, d] : f.definitions)
        Check(n >= 0 && n <= 65535 && d.list.size() <= std::size_t(kMaxListValues) && (!d.list.empty() || d.min <= d.max));
    for (const auto &[n, list] : f.textLists) {
        Check(n >= 0 && n <= 65535);
        for (const GsdTextEntry &e : list.entries)
            (void)f.text(e.text);
    }
    (void)f.text(f.lastLine);
    return 0;
}
