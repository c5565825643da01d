// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/serialio.h"

#include "iface/logging.h"

#include <QSerialPort>

namespace meridan::iface {

namespace {
// Bound for handing written bytes to the device; a pty or UART takes a
// command of a few bytes at once.
constexpr int kWriteMs = 500;
} // namespace

QtSerialIo::QtSerialIo() : port_(std::make_unique<QSerialPort>())
{
    QObject::connect(port_.get(), &QSerialPort::errorOccurred, port_.get(), [this](QSerialPort::SerialPortError e) {
        // A wait that ran out reports TimeoutError: not a fault of the line.
        if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError || !port_->isOpen())
            return;
        error_ = port_->errorString();
        qCDebug(lcSerial) << "port error" << e << error_ << "- closing";
        if (depth_ > 0)
            errorPending_ = true;
        else
            port_->close();
    });
}

QtSerialIo::~QtSerialIo() = default;

void QtSerialIo::checkError()
{
    if (errorPending_ && depth_ == 0) {
        errorPending_ = false;
        port_->close();
    }
}

bool QtSerialIo::open(const QString &device, int baud)
{
    close();
    error_.clear();
    port_->setPortName(device);
    port_->setBaudRate(baud);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        error_ = port_->errorString();
        qCDebug(lcSerial) << "cannot open" << device << error_;
        return false;
    }
    discardInput();
    return true;
}

void QtSerialIo::discardInput()
{
    if (!port_->isOpen())
        return;
    ++depth_;
    port_->clear(QSerialPort::Input);
    port_->readAll();
    --depth_;
    checkError();
}

void QtSerialIo::close()
{
    errorPending_ = false;
    if (port_->isOpen())
        port_->close();
}

bool QtSerialIo::isOpen() const
{
    return port_->isOpen();
}

qint64 QtSerialIo::bytesAvailable()
{
    return port_->isOpen() ? port_->bytesAvailable() : 0;
}

QByteArray QtSerialIo::read(qint64 max)
{
    if (!port_->isOpen() || max <= 0)
        return {};
    ++depth_;
    QByteArray b = port_->read(max);
    --depth_;
    checkError();
    return b;
}

void QtSerialIo::write(const QByteArray &bytes)
{
    if (!port_->isOpen())
        return;
    ++depth_;
    port_->write(bytes);
    while (port_->isOpen() && port_->bytesToWrite() > 0 && !errorPending_) {
        if (!port_->waitForBytesWritten(kWriteMs))
            break;
    }
    --depth_;
    checkError();
}

bool QtSerialIo::waitForReadyRead(int ms)
{
    if (!port_->isOpen())
        return false;
    ++depth_;
    const bool got = port_->waitForReadyRead(ms);
    --depth_;
    checkError();
    return got;
}

} // namespace meridan::iface
