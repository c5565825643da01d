// Feeds arbitrary bytes to the .dp1 loader through a temporary file, then
// walks the image the way the status poll and the exporters do.
#include "app/context.h"
#include "config/configfile.h"
#include "config/image.h"
#include "config/listline.h"
#include "slave/record.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace meridan;

namespace {

class NoPrompts : public Prompts {
public:
    int message(const QString &, const QString &, Icon, int) override { return Ok; }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> openFile(const FileDialogSpec &) override { return {}; }
    std::optional<QString> saveFile(const FileDialogSpec &) override { return {}; }
    void setBusy(bool) override {}
};

// In memory where the system has a tmpfs: one file write per input.
QString TempTemplate()
{
    return QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm/fuzz_dp1-XXXXXX") : QDir::tempPath() + QStringLiteral("/fuzz_dp1-XXXXXX");
}

struct Setup {
    QTemporaryDir tmp{TempTemplate()};
    State st;
    NoPrompts ui;
    VirtualPump pump;
    Root root{tmp.path()};
    Context ctx{st, ui, pump, root};
    QString path = tmp.filePath(QStringLiteral("fuzz.dp1"));
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup *s = new Setup;
    {
        QFile f(s->path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    LoadConfigFile(s->ctx, s->path);
    s->st.currentStation = 0;
    while (NextSlave(s->st)) {
        try {
            (void)DecodeIoLengths(s->st.record);
            (void)ModuleList(s->st.record);
            (void)ListLineFor(s->st.record);
        } catch (const std::exception &) {
            // A damaged record ends the operation at its edge.
        }
    }
    return 0;
}
