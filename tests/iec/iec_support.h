// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Configurations for the IEC export tests, golden files, the independent
// syntax check and file systems that fail on purpose.
#include "core/context.h"
#include "config/configfile.h"
#include "app/demo_config.h"
#include "config/image.h"
#include "iec/iomap.h"
#include "io/io_support.h"
#include "slave/record.h"
#include "support/fixture.h"
#include "support/golden.h"

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
inline void PutSlave(Context &ctx, int station, const std::vector<uint8_t> &cfg, int in = 0, int out = 0)
{
    StoreSlave(ctx, station, cfg, in, out, 0, nullptr);
}

// Saves the image with a default master, as a configuration file.
inline bool SaveConfig(Context &ctx, const QString &path)
{
    PutDemoMaster(ctx.st, 6);
    return SaveConfigFile(ctx, path);
}

// A project folder proj/ below the fixture's root; with a variables file
// globals.vb when `globals` is given.
struct Project : Fixture {
    QString dir = file("proj");
    explicit Project(const QByteArray &globals = {})
    {
        QDir().mkpath(dir);
        st.projectFolder = dir + "/";
        if (!globals.isNull())
            WriteFile(vars(), globals);
    }
    QString vars() const { return dir + "/globals.vb"; }
    QString cnf() const { return dir + "/Ioconfig.cnf"; }
    QString old() const { return dir + "/IoConfig.old"; }
    iec::IoMap map() const { return iec::BuildIoMap(st.image); }
};

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

#include "slave/slave_editor.h"

#include <QRegularExpression>
#include <map>

namespace meridan::test {

// A small modular device: digital, analog (words) and a module with two
// identifiers.
inline QByteArray BlockIoGsd()
{
    return "#Profibus_DP\r\nVendor_Name=\"Test Works\"\r\nModel_Name=\"Block IO\"\r\nIdent_Number=0x4711\r\n"
           "Modular_Station=1\r\nMax_Module=8\r\n"
           "Module=\"DI 16\" 0x11\r\nEndModule\r\n"
           "Module=\"DO 16\" 0x21\r\nEndModule\r\n"
           "Module=\"AI 2\" 0x51\r\nEndModule\r\n"
           "Module=\"Mixed\" 0x10,0x20\r\nEndModule\r\n";
}

// A modular slave built the way the slave editor builds it: the device file
// through "GSD", then the modules in order; stored at `station`. The GSD
// tables describe it afterwards.
inline void PutModularSlave(Fixture &f, int station, std::initializer_list<int> modules)
{
    const QString gsd = f.root.gsdDir() + QStringLiteral("/BLOC4711.GSD");
    WriteFile(gsd, BlockIoGsd());
    f.st.currentStation = station;
    SlaveEditor ed(f.ctx);
    ed.Form_Activate();
    f.ui.files.push_back(gsd);
    ed.GSD_Click(QStringLiteral("0"), QStringLiteral("Block IO"));
    for (int m : modules)
        ed.Modul_Click(m);
    ed.F2_Exit_Click(QString::number(station));
}

// Every variable placed on a channel lies inside the I/O block of its
// station and direction, BOOL only on bits and INT only on words. Read with
// patterns of its own, not with the program's parsers.
inline void ExpectVarsInsideBlocks(const QByteArray &ioconfig, const QByteArray &vars)
{
    static const QRegularExpression block(QStringLiteral(
        "PROGRAM (in|out)(\\d+)[^\\n]*\\n\\(\\r?\\n\\s*VAR_ADR :=\\s+(\\d+) ,\\r?\\n\\s*END_VAR_ADR :=\\s+(\\d+) ,"));
    static const QRegularExpression located(QStringLiteral(
        "AT %([IQ])([XW])(\\d+)(?:\\.(\\d+))? :(BOOL|INT)\\s+(?::=[^;]*)?;\\s+\\(\\* #S(\\d+)M\\d+K\\d+ \\*\\)"));
    std::map<std::pair<QString, int>, std::pair<int, int>> ranges;
    for (auto it = block.globalMatch(QString::fromLatin1(ioconfig)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        ranges[{m.captured(1), m.captured(2).toInt()}] = {m.captured(3).toInt(), m.captured(4).toInt()};
    }
    int checked = 0;
    for (auto it = located.globalMatch(QString::fromLatin1(vars)); it.hasNext(); ++checked) {
        const QRegularExpressionMatch m = it.next();
        const QString dir = m.captured(1) == QLatin1String("I") ? QStringLiteral("in") : QStringLiteral("out");
        const bool word = m.captured(2) == QLatin1String("W");
        EXPECT_EQ(word, m.captured(5) == QLatin1String("INT")) << qPrintable(m.captured(0));
        const auto r = ranges.find({dir, m.captured(6).toInt()});
        ASSERT_NE(r, ranges.end()) << "no block for " << qPrintable(m.captured(0));
        const int address = m.captured(3).toInt();
        EXPECT_GE(address, r->second.first) << qPrintable(m.captured(0));
        EXPECT_LE(address + (word ? 1 : 0), r->second.second) << qPrintable(m.captured(0));
        if (!word) {
            EXPECT_LE(m.captured(4).toInt(), 7);
        }
    }
    EXPECT_EQ(checked, vars.count("(* #S")) << "a located variable the check could not read";
}

} // namespace meridan::test
