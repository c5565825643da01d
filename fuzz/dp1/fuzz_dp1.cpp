// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the .dp1 reader. (The dump of damaged files has
// its own tests; here every execution goes to the reader.)
#include "core/context.h"
#include "config/configfile.h"

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
    return 0;
}
