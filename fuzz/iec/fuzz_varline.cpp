// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the variables file reader (ParseVarLine on every
// line). A save that changes no entry must give the file back byte for byte,
// and a line written for an entry must read back to the same name and type.
#include "iec/vars.h"

#include <cstdlib>

using namespace meridan;
using namespace meridan::iec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // Every line goes through ParseVarLine, a comment carried from line to line.
    VarTable t = ParseVars(bytes);
    for (VarEntry &e : t.entries)
        e.module = -1; // nothing attached, nothing changed
    const IoMap none;
    if (!bytes.isEmpty() && MergeVars(bytes, t, none, 0, 0) != bytes)
        std::abort();

    for (VarEntry &e : t.entries) {
        e.state = 1;
        const QByteArray line = FormatVarLine(e, none, 0, 0);
        bool c = false;
        const std::optional<VarDecl> d = ParseVarLine(line, c).decl;
        if (!d || QString::fromLatin1(d->name) != e.name || d->type != e.type)
            std::abort();
    }
    return 0;
}
