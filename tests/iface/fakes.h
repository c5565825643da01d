// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test doubles for the interface stack: a serial port on byte arrays, a
// DP-RAM file the test can poke at, a serial monitor, and a fixture with the
// environment links are made in.
#include "iface/driver.h"
#include "iface/link.h"
#include "support/fixture.h"

#include <QFile>
#include <deque>
#include <functional>

namespace meridan::test {

// A serial port whose other end is the test: bytes the host writes collect in
// `tx`, bytes for the host wait in `rx`. Waiting advances virtual time.
class FakeSerial : public iface::SerialIo {
public:
    explicit FakeSerial(Pump &pump) : pump_(pump) {}
    bool open(const QString &dev, int b) override
    {
        device = dev;
        baud = b;
        opened = !failOpen;
        return opened;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    qint64 bytesAvailable() override { return opened ? rx.size() : 0; }
    QByteArray read(qint64 max) override
    {
        if (!opened)
            return {};
        const QByteArray b = rx.left(max);
        rx.remove(0, b.size());
        return b;
    }
    void write(const QByteArray &bytes) override
    {
        if (!opened)
            return;
        tx += bytes;
        if (onWrite)
            onWrite(bytes);
    }
    bool waitForReadyRead(int ms) override
    {
        const qsizetype before = rx.size();
        pump_.sleepMs(ms);
        return opened && rx.size() > before;
    }

    QString device;
    int baud = 0;
    bool opened = false;
    bool failOpen = false;
    QByteArray rx;
    QByteArray tx;
    std::function<void(const QByteArray &)> onWrite;

private:
    Pump &pump_;
};

// A DP-RAM file of `size` bytes, mapped for the test's side of the board.
class DpramFile {
public:
    DpramFile(const QString &path, qint64 size) : file_(path)
    {
        file_.open(QIODevice::ReadWrite | QIODevice::Truncate);
        file_.resize(size);
        mem_ = file_.map(0, size);
    }
    uint8_t &operator[](uint32_t addr) { return mem_[addr]; }
    void put(uint32_t addr, const QByteArray &bytes)
    {
        for (int i = 0; i < bytes.size(); ++i)
            mem_[addr + uint32_t(i)] = uchar(bytes[i]);
    }

private:
    QFile file_;
    uchar *mem_ = nullptr;
};

// The boot loader's side of the Tessel card, run on every pump: each command
// is taken and noted; END is answered with `endStatus`, and a 331 image that
// loaded well brings the firmware up when the card `boots`.
struct FakeLoader {
    explicit FakeLoader(DpramFile &r) : ram(r) {}
    DpramFile &ram;
    QList<uint8_t> commands, cpus, ended; // cpus as BEGIN names them, ended as END does
    QList<int> seqs, chunks; // each DATA command's sequence number and length
    uint8_t endStatus = 0;
    bool boots = true;

    void step()
    {
        const uint8_t cmd = ram[0x0D30];
        if (cmd == 0)
            return;
        commands << cmd;
        if (cmd == 1)
            cpus << ram[0x0D32];
        if (cmd == 2) {
            seqs << (ram[0x0D36] << 8 | ram[0x0D37]);
            chunks << (ram[0x0D34] << 8 | ram[0x0D35]);
        }
        ram[0x0D31] = cmd == 3 ? endStatus : 0;
        if (cmd == 3) {
            ended << ram[0x0D32];
            if (ram[0x0D32] == 0x31 && endStatus == 0 && boots)
                ram[0x0400] = 0x52;
        }
        ram[0x0D30] = 0;
    }
};

// The master's serial monitor, as far as the tests need it: "R", "W", "L",
// "P" commands on a 16 KiB memory, "V" with a version, "!" with mode "P".
// Replies go into the port at once unless `mute`.
struct FakeMonitor {
    FakeSerial &port;
    std::array<uint8_t, 0x4000> ram{};
    QByteArray version = "5.2";
    QByteArray mode = "P";
    bool mute = false;
    QByteArray line;

    explicit FakeMonitor(FakeSerial &p) : port(p)
    {
        port.onWrite = [this](const QByteArray &b) { take(b); };
    }
    void take(const QByteArray &bytes)
    {
        for (char c : bytes) {
            if (line.isEmpty() && c == 'V') {
                reply(version);
                continue;
            }
            if (c != '\r') {
                line += c;
                continue;
            }
            answer(line);
            line.clear();
        }
    }
    void answer(const QByteArray &cmd)
    {
        const QList<QByteArray> parts = cmd.mid(1).split(',');
        const uint addr = parts[0].toUInt(nullptr, 16) & 0x3FFF;
        switch (cmd.isEmpty() ? 0 : cmd[0]) {
        case 'R':
        case 'L':
            reply(cmd.left(1) + QByteArray::number(ram[addr], 16).rightJustified(2, '0').toUpper());
            break;
        case 'W':
        case 'P':
            if (parts.size() == 2)
                ram[addr] = uint8_t(parts[1].toUInt(nullptr, 16));
            if (cmd == "P")
                mode = mode == "P" ? "O" : "P"; // the mode switch has no reply
            else
                reply(cmd.left(1));
            break;
        case '!':
            reply("!\r\n" + mode);
            break;
        default:
            break;
        }
    }
    void reply(const QByteArray &b)
    {
        if (!mute)
            port.rx += b;
    }
};

// What a serial link is given as its port: a stand-in that forwards to a
// FakeSerial the test keeps, so the test can look at the port after the
// link that used it is gone.
class PortProxy : public iface::SerialIo {
public:
    explicit PortProxy(FakeSerial &port) : p_(port) {}
    bool open(const QString &device, int baud) override { return p_.open(device, baud); }
    void close() override { p_.close(); }
    bool isOpen() const override { return p_.isOpen(); }
    qint64 bytesAvailable() override { return p_.bytesAvailable(); }
    QByteArray read(qint64 max) override { return p_.read(max); }
    void write(const QByteArray &bytes) override { p_.write(bytes); }
    bool waitForReadyRead(int ms) override { return p_.waitForReadyRead(ms); }

private:
    FakeSerial &p_;
};

// The environment a link is made in. Every serial link gets a new scripted
// port; `serial` is the one opened last, `monitor` the monitor behind it when
// the test asked for one.
struct LinkFixture : Fixture {
    std::deque<std::unique_ptr<FakeSerial>> ports;
    std::deque<std::unique_ptr<FakeMonitor>> monitors;
    FakeSerial *serial = nullptr;
    FakeMonitor *monitor = nullptr;
    std::function<void(FakeSerial &)> onNewPort;
    int timeouts = 0;
    iface::LinkEnv env{root, pump, st.mbuf, [this] { ++timeouts; }, [this] { return newPort(); }};

    std::unique_ptr<iface::SerialIo> newPort()
    {
        ports.push_back(std::make_unique<FakeSerial>(pump));
        serial = ports.back().get();
        if (onNewPort)
            onNewPort(*serial);
        return std::make_unique<PortProxy>(*serial);
    }
    // The next ports opened have a monitor behind them, set up by `setUp`.
    void monitorOnNextPort(std::function<void(FakeMonitor &)> setUp)
    {
        onNewPort = [this, setUp](FakeSerial &port) {
            monitors.push_back(std::make_unique<FakeMonitor>(port));
            monitor = monitors.back().get();
            setUp(*monitor);
        };
    }

    // The Tessel card's DP-RAM file at its default place, signature and "R" set.
    std::unique_ptr<DpramFile> tesselFile(uint8_t version = 0x53)
    {
        auto f = std::make_unique<DpramFile>(root.path(QStringLiteral("driver/tessel.dpram")), 0x4000);
        f->put(0x000C, "ZEL");
        (*f)[0x0400] = 0x52;
        (*f)[0x1953] = version;
        return f;
    }
};

// The driver library alone.
struct DriverFixture : LinkFixture {
    iface::DriverLibrary lib{root, pump};
};

} // namespace meridan::test
