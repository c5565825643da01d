// Feeds arbitrary bytes to the GSD reader as the file of a new slave record,
// then checks that the record is still one the master can take.
#include "app/context.h"
#include "slave/gsd.h"
#include "slave/record.h"

#include <cstdlib>

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

struct Setup {
    State st;
    NoPrompts ui;
    VirtualPump pump;
    Root root{QStringLiteral("/nonexistent")};
    Context ctx{st, ui, pump, root};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup *s = new Setup;
    s->st.currentStation = 12;
    NewSlaveRecord(s->st);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
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
