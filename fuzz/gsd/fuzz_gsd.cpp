// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the GSD reader as the file of a new slave record,
// then checks that the record is still one the master can take; the same
// bytes go through the compatibility check and the catalogue's head reader.
#include "core/context.h"
#include "slave/gsd.h"
#include "slave/gsd_catalogue.h"
#include "slave/gsd_check.h"
#include "slave/record.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace meridan;

namespace {

CliPrompts Quiet()
{
    CliPrompts p;
    p.quiet = true;
    return p;
}

struct Setup {
    State st;
    CliPrompts ui = Quiet();
    VirtualPump pump;
    Root root{QStringLiteral("/nonexistent")};
    Context ctx{st, ui, pump, root};
};

bool HasFlag(int argc, char **argv, const char *flag)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0)
            return true;
    }
    return false;
}

} // namespace

// Real device files reach 200 KB, but the reader's paths show in a few KB;
// smaller inputs give many more runs. The keyword dictionary lets mutations
// form lines the reader acts on. Both only when the command line has none.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<char *> args;
    static char maxLen[] = "-max_len=8192";
    static char dict[] = "-dict=" MERIDAN_GSD_DICT;
    args.assign(*argv, *argv + *argc);
    if (!HasFlag(*argc, *argv, "-max_len="))
        args.insert(args.begin() + 1, maxLen);
    if (!HasFlag(*argc, *argv, "-dict="))
        args.insert(args.begin() + 1, dict);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup *s = new Setup;
    s->st.currentStation = 12;
    NewSlaveRecord(s->st);
    const QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)CheckGsdBytes(raw);
    (void)ReadGsdHeader(raw);
    // Bytes without the head line are refused at once; with it they reach
    // every path of the reader.
    const QByteArray bytes = LooksLikeGsd(raw) ? raw : QByteArray("#Profibus_DP\n") + raw;
    LoadGsdBytes(s->ctx, bytes, QStringLiteral("FUZZ.GSD"));

    const Record &rec = s->st.record;
    const SlaveLayout l = SlaveLayout::of(rec);
    if (l.u < 0 || l.u > kMaxUserPrm || l.c < 0 || l.c > kMaxCfg || 8 + ReadWord(rec, 8) > 511)
        std::abort();
    DecodeIoLengths(s->st);
    (void)ModuleList(rec);

    // What the slave editor does with the tables afterwards.
    const GsdTables &t = s->st.gsd;
    for (int m = 0; m <= t.moduleCount && m <= kMaxGsdModules; ++m) {
        try {
            (void)ModuleConfigBytes(t.moduleLine(m));
        } catch (const GsdError &) {
        }
        (void)ModuleName(t.moduleLine(m));
        for (int k = 0; k < 24; ++k)
            (void)t.extPrmName(t.prmRefNumber(m, k));
    }
    for (const auto &[n, p] : t.extPrms())
        (void)t.lookUpText(p.textRef, p.defaultValue);
    return 0;
}
