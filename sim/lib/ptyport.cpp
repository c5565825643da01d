// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptyport.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace meridan::sim {

Q_LOGGING_CATEGORY(lcSerial, "meridan.sim.serial", QtWarningMsg)

std::unique_ptr<PtyPort> PtyPort::open(const QString &linkPath, int baud, QString *error)
{
    QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        // A link left by an earlier run that did not stop cleanly.
        QFile::remove(linkPath);
    } else if (existing.exists()) {
        if (error)
            *error = linkPath + ": exists and is not a symlink; not replaced";
        return nullptr;
    }
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    // Raw on both sides: no echo, no line editing, no CR/LF translation.
    for (int fd : {master, slave}) {
        termios t{};
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Owner-only: anyone else on the machine could otherwise talk to the board.
    ::fchmod(slave, 0600);
    QString slaveName = QString::fromLocal8Bit(name);
    if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
        if (error)
            *error = linkPath + QStringLiteral(": cannot create symlink: ") +
                     QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        ::close(slave);
        return nullptr;
    }
    return std::unique_ptr<PtyPort>(new PtyPort(master, slave, slaveName, linkPath, baud));
}

PtyPort::PtyPort(int master, int slave, QString slaveName, QString link, int baud)
    : master_(master), slave_(slave), slaveName_(std::move(slaveName)), link_(std::move(link)),
      baud_(baud), pacer_(baud), rxPacer_(baud)
{
    clock_.start();
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyPort::readSome);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyPort::writeSome);
    paceTimer_.setTimerType(Qt::PreciseTimer);
    paceTimer_.setInterval(1);
    connect(&paceTimer_, &QTimer::timeout, this, &PtyPort::writeSome);
    rxTimer_.setTimerType(Qt::PreciseTimer);
    rxTimer_.setInterval(1);
    connect(&rxTimer_, &QTimer::timeout, this, &PtyPort::deliverSome);
}

PtyPort::~PtyPort()
{
    QFileInfo link(link_);
    if (link.isSymLink() && link.symLinkTarget() == slaveName_)
        QFile::remove(link_);
    ::close(master_);
    ::close(slave_);
}

void PtyPort::readSome()
{
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            if (baud_ <= 0) {
                Q_EMIT received(QByteArray(buf, static_cast<int>(n)));
                continue;
            }
            if (in_.isEmpty())
                rxPacer_.restart(clock_.nsecsElapsed());
            if (in_.size() + n > MaxBacklog) {
                qCWarning(lcSerial) << link_ << "input backlog full, bytes dropped";
                continue;
            }
            in_.append(buf, static_cast<int>(n));
            deliverSome();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: drained. EIO cannot happen while we hold the slave open, but never spin.
        if (n < 0 && errno != EAGAIN)
            qCWarning(lcSerial) << link_ << "read:" << std::strerror(errno);
        return;
    }
}

void PtyPort::deliverSome()
{
    const std::size_t allowed = rxPacer_.allowance(clock_.nsecsElapsed(), static_cast<std::size_t>(in_.size()));
    if (allowed > 0) {
        const QByteArray now = in_.left(static_cast<int>(allowed));
        in_.remove(0, static_cast<int>(allowed));
        rxPacer_.spent(allowed);
        Q_EMIT received(now);
    }
    if (in_.isEmpty())
        rxTimer_.stop();
    else if (!rxTimer_.isActive())
        rxTimer_.start();
}

void PtyPort::send(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (out_.size() + bytes.size() > MaxBacklog) {
        // Nobody reads the line: keep memory bounded, as a real UART would lose bytes.
        qCWarning(lcSerial) << link_ << "output backlog full, bytes dropped";
        return;
    }
    if (out_.isEmpty())
        pacer_.restart(clock_.nsecsElapsed());
    out_.append(bytes);
    if (baud_ > 0 && !paceTimer_.isActive())
        paceTimer_.start();
    writeSome();
}

void PtyPort::writeSome()
{
    std::size_t allowed =
        pacer_.allowance(clock_.nsecsElapsed(), static_cast<std::size_t>(out_.size()));
    if (allowed > 0) {
        ssize_t n = ::write(master_, out_.constData(), allowed);
        if (n > 0) {
            out_.remove(0, static_cast<int>(n));
            pacer_.spent(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            qCWarning(lcSerial) << link_ << "write:" << std::strerror(errno) << "- output dropped";
            out_.clear();
        }
    }
    if (out_.isEmpty()) {
        paceTimer_.stop();
        writeNotifier_->setEnabled(false);
    } else if (baud_ == 0) {
        writeNotifier_->setEnabled(true);
    }
}

} // namespace meridan::sim
