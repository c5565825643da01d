#pragma once
// Configurations for the IEC export tests, golden files, the independent
// syntax check and file systems that fail on purpose.
#include "core/context.h"
#include "iec/iomap.h"
#include "slave/record.h"
#include "support/fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <initializer_list>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace meridan::test {

// A slave record for `station` with the identifier bytes `cfg` and the
// given offsets in the master's I/O data, stored into the image.
inline void PutSlave(Context &ctx, int station, std::initializer_list<uint8_t> cfg, int in = 0, int out = 0)
{
    State &st = ctx.st;
    st.currentStation = station;
    st.slave.inputOffset = in;
    st.slave.outputOffset = out;
    NewSlaveRecord(st);
    RemoveCfg(st);
    int i = 0;
    for (uint8_t b : cfg)
        st.slave.cfg[i++] = b;
    st.slave.c = i;
    InsertCfg(ctx);
    st.image.slot(station) = st.record;
}

inline QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QString GoldenPath(const QString &name)
{
    return QStringLiteral(MERIDAN_IEC_GOLDEN "/") + name;
}

// Compares with the golden file byte for byte; MERIDAN_UPDATE_GOLDEN=1
// writes it instead (review the difference before committing it).
inline void ExpectGolden(const QString &name, const QByteArray &actual)
{
    if (qEnvironmentVariableIntValue("MERIDAN_UPDATE_GOLDEN") == 1) {
        ASSERT_TRUE(WriteAll(GoldenPath(name), actual)) << qPrintable(name);
    }
    const QByteArray expected = ReadAll(GoldenPath(name));
    ASSERT_FALSE(expected.isEmpty()) << "no golden file " << qPrintable(name);
    EXPECT_TRUE(actual == expected) << qPrintable(name) << " differs:\n" << actual.toStdString();
}

// Runs the grammar check of tests/iec/check_iec.py (`kind` ioconfig or
// vars) over `bytes`. Without python3-lark it says so and passes.
inline void ExpectSyntax(const char *kind, const QByteArray &bytes)
{
    QTemporaryFile f(QDir::tempPath() + QStringLiteral("/meridan-iec-XXXXXX"));
    ASSERT_TRUE(f.open());
    f.write(bytes);
    f.flush();
    QProcess p;
    p.start(QStringLiteral(MERIDAN_PYTHON3),
            {QStringLiteral(MERIDAN_IEC_CHECK), QString::fromLatin1(kind), f.fileName()});
    if (!p.waitForStarted(10000)) {
        std::printf("[ note ] no python3: syntax check skipped\n");
        return;
    }
    ASSERT_TRUE(p.waitForFinished(60000)) << "the syntax check did not finish";
    const QByteArray said = p.readAllStandardOutput() + p.readAllStandardError();
    if (p.exitCode() == 77) {
        std::printf("[ note ] %s", said.constData());
        return;
    }
    EXPECT_EQ(p.exitCode(), 0) << said.toStdString() << bytes.toStdString();
}

// A tmpfs of `kib` KiB mounted on a fresh folder, for a full or read-only
// file system; unusable (ok() false) where mounting is not allowed.
struct SmallFs {
    QTemporaryDir dir;
    bool mounted = false;
    explicit SmallFs(int kib)
    {
        const QByteArray opts = "size=" + QByteArray::number(kib) + "k";
        mounted = dir.isValid() && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, opts.constData()) == 0;
    }
    ~SmallFs()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    bool ok() const { return mounted; }
    QString path() const { return dir.path(); }
    bool makeReadOnly() const
    {
        return ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Fills the file system so that no further byte fits.
    void fill() const
    {
        const QByteArray name = QFile::encodeName(dir.path() + QStringLiteral("/filler"));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return;
        const QByteArray block(4096, 'x');
        for (std::size_t n = 4096; n > 0; n /= 2)
            while (::write(fd, block.constData(), n) == ssize_t(n)) {
            }
        ::close(fd);
    }
};

} // namespace meridan::test
