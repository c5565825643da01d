// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the .dp1 parts reader and to the configuration
// text reader. A file the first reads whole must come back byte for byte
// through its text and equal itself; a text the second takes must give a
// file whose text reads back again.
#include "config/configdiff.h"
#include "config/configtext.h"
#include "core/texts.h"

#include <cstdlib>

using namespace meridan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString why;
    if (const auto file = ParseDp1(bytes, &why)) {
        if (ExportConfigText(bytes, {}, kEnglish, &why).isEmpty())
            std::abort(); // a byte the text does not give back
        if (!CompareConfigs(*file, *file, {}, kEnglish).empty())
            std::abort();
    }
    if (const auto file = ReadConfigText(bytes, kEnglish, &why)) {
        if (ExportConfigText(Dp1Bytes(*file), {}, kEnglish, &why).isEmpty())
            std::abort();
    }
    return 0;
}
