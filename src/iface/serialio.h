// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The byte pipe under the serial link: a real QSerialPort, or a scripted
// port in tests. The link needs only these few operations.
#include <QByteArray>
#include <QString>
#include <memory>

class QSerialPort;

namespace meridan::iface {

class SerialIo {
public:
    virtual ~SerialIo() = default;
    virtual bool open(const QString &device, int baud) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual qint64 bytesAvailable() = 0;
    virtual QByteArray read(qint64 max) = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // Waits at most `ms` for new bytes; true when some arrived.
    virtual bool waitForReadyRead(int ms) = 0;
    // Discards everything received so far.
    virtual void discardInput() { read(bytesAvailable()); }
    // Why the last open failed, for logs.
    virtual QString errorText() const { return {}; }
};

// QSerialPort, 8N1 without flow control. Any port error closes the port: a
// pty whose other end hung up otherwise reports a read error in a tight loop.
// Opening drops whatever the line received before: a board that answered a
// former session late has its reply waiting there.
class QtSerialIo : public SerialIo {
public:
    QtSerialIo();
    ~QtSerialIo() override;
    bool open(const QString &device, int baud) override;
    void close() override;
    bool isOpen() const override;
    qint64 bytesAvailable() override;
    QByteArray read(qint64 max) override;
    void write(const QByteArray &bytes) override;
    bool waitForReadyRead(int ms) override;
    // Also what the driver holds that nobody has read yet.
    void discardInput() override;
    QString errorText() const override { return error_; }

private:
    void checkError();
    std::unique_ptr<QSerialPort> port_;
    QString error_;
    int depth_ = 0;        // inside one of our calls: close afterwards, not in the middle
    bool errorPending_ = false;
};

} // namespace meridan::iface
