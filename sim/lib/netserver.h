// SPDX-License-Identifier: GPL-3.0-or-later
// TCP endpoint of a network board: one client at a time, the protocol of NetProtocol.
#pragma once

#include "netprotocol.h"

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

namespace meridan::sim {

class NetServer : public QObject {
    Q_OBJECT
public:
    // now(): the board clock in ms.
    NetServer(Firmware &fw, DpRam &ram, QString boardName, std::uint8_t variant,
              std::function<std::int64_t()> now, QObject *parent = nullptr);
    ~NetServer() override;
    bool listen(const QString &host, quint16 port, QString *error);
    quint16 port() const { return server_.serverPort(); }
    bool hasClient() const { return client_ != nullptr; }
    int refused() const { return refused_; }
    std::uint32_t timeoutMs() const { return protocol_ ? protocol_->timeoutMs() : lastTimeout_; }

    std::function<void(const std::string &)> log;

Q_SIGNALS:
    void activity();

private:
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();
    void apply(const NetProtocol::Output &out);

    Firmware &fw_;
    DpRam &ram_;
    QString name_;
    std::uint8_t variant_;
    std::function<std::int64_t()> now_;
    QTcpServer server_;
    // Plain pointer: a QPointer<QTcpSocket> would be read as a QTcpSocket while the socket
    // is already half destroyed (it signals "disconnected" from its base destructor).
    QTcpSocket *client_ = nullptr;
    std::unique_ptr<NetProtocol> protocol_;
    QTimer tick_;
    int refused_ = 0;
    std::uint32_t lastTimeout_ = 0;
};

} // namespace meridan::sim
