// SPDX-License-Identifier: GPL-3.0-or-later
// A pseudo-terminal that stands for the board's serial port: the host opens the slave
// side through a symlink; the board reads and writes the master side.
#pragma once

#include "pacer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace meridan::sim {

class PtyPort : public QObject {
    Q_OBJECT
public:
    // baud 0 = no pacing.
    static std::unique_ptr<PtyPort> open(const QString &linkPath, int baud, QString *error);
    ~PtyPort() override;

    void send(const QByteArray &bytes);
    // Takes in what the host wrote and nobody read yet (the board was not
    // scheduled): received() gets it before the board decides anything by
    // the clock.
    void takePending() { readSome(); }
    QString slaveName() const { return slaveName_; }
    QString linkPath() const { return link_; }
    qint64 pendingBytes() const { return out_.size(); }
    static constexpr qint64 MaxBacklog = 65536;

Q_SIGNALS:
    void received(const QByteArray &bytes);

private:
    PtyPort(int master, int slave, QString slaveName, QString link, int baud);
    void readSome();
    // Hands received bytes to the board no faster than the line carries them.
    void deliverSome();
    void writeSome();

    int master_;
    int slave_;
    QString slaveName_;
    QString link_;
    int baud_;
    QSocketNotifier *readNotifier_;
    QSocketNotifier *writeNotifier_;
    QTimer paceTimer_;
    QElapsedTimer clock_;
    LinePacer pacer_;
    QByteArray out_;
    // The host's bytes arrive through the pty at once; on a real line each
    // takes its ten bit times, so they are released to the board paced too.
    QTimer rxTimer_;
    LinePacer rxPacer_;
    QByteArray in_;
};

} // namespace meridan::sim
