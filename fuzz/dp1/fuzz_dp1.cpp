// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the .dp1 reader, then saves and dumps what it read.
#include "core/context.h"
#include "config/configfile.h"
#include "config/dump.h"

#include <QBuffer>
#include <QCoreApplication>

using namespace meridan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static State st;
    static CliPrompts prompts = [] { CliPrompts p; p.quiet = true; return p; }();
    static VirtualPump pump;
    static Root root(QStringLiteral("/nonexistent-fuzz-root"));
    Context ctx{st, prompts, pump, root};
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    LoadConfigDevice(ctx, buf);
    try {
        (void)DumpConfig(st.image);
    } catch (const std::exception &) {
        // a damaged record is reported, not a crash
    }
    return 0;
}
