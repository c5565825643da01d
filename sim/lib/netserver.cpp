// SPDX-License-Identifier: GPL-3.0-or-later
#include "netserver.h"

#include <QHostAddress>

namespace meridan::sim {

NetServer::NetServer(Firmware &fw, DpRam &ram, QString boardName, std::uint8_t variant,
                     std::function<std::int64_t()> now, QObject *parent)
    : QObject(parent), fw_(fw), ram_(ram), name_(std::move(boardName)), variant_(variant),
      now_(std::move(now))
{
    connect(&server_, &QTcpServer::newConnection, this, &NetServer::onNewConnection);
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, [this] {
        if (protocol_)
            apply(protocol_->tick(now_()));
    });
}

NetServer::~NetServer()
{
    if (client_) {
        disconnect(client_, nullptr, this, nullptr);
        client_->abort();
        delete client_;
    }
}

bool NetServer::listen(const QString &host, quint16 port, QString *error)
{
    QHostAddress addr;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        addr = QHostAddress::LocalHost;
    else if (!addr.setAddress(host)) {
        if (error)
            *error = host + QStringLiteral(": not an IP address");
        return false;
    }
    if (!server_.listen(addr, port)) {
        if (error)
            *error = QStringLiteral("%1:%2: %3").arg(host).arg(port).arg(server_.errorString());
        return false;
    }
    return true;
}

void NetServer::onNewConnection()
{
    while (QTcpSocket *s = server_.nextPendingConnection()) {
        if (client_) {
            ++refused_;
            if (log)
                log("tcp: second client refused");
            Bytes f = NetProtocol::errorFrame(0, NetProtocol::Busy,
                                              "board busy: another client is connected");
            s->write(reinterpret_cast<const char *>(f.data()), static_cast<qint64>(f.size()));
            s->disconnectFromHost();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            Q_EMIT activity();
            continue;
        }
        client_ = s;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        protocol_ = std::make_unique<NetProtocol>(fw_, ram_, name_.toStdString(), variant_, now_());
        protocol_->log = log;
        connect(s, &QTcpSocket::readyRead, this, &NetServer::onReadyRead);
        connect(s, &QTcpSocket::disconnected, this, &NetServer::onDisconnected);
        tick_.start();
        if (log)
            log("tcp: client connected from " + s->peerAddress().toString().toStdString());
        Q_EMIT activity();
    }
}

void NetServer::onReadyRead()
{
    if (!client_ || !protocol_)
        return;
    QByteArray in = client_->readAll();
    apply(protocol_->feed(reinterpret_cast<const std::uint8_t *>(in.constData()),
                          static_cast<std::size_t>(in.size()), now_()));
    Q_EMIT activity();
}

void NetServer::apply(const NetProtocol::Output &out)
{
    if (!client_)
        return;
    if (!out.bytes.empty())
        client_->write(reinterpret_cast<const char *>(out.bytes.data()),
                       static_cast<qint64>(out.bytes.size()));
    if (out.close)
        client_->disconnectFromHost();
}

void NetServer::onDisconnected()
{
    if (sender() != static_cast<QObject *>(client_))
        return;
    if (log)
        log("tcp: client disconnected");
    if (protocol_)
        lastTimeout_ = protocol_->timeoutMs();
    protocol_.reset();
    tick_.stop();
    disconnect(client_, nullptr, this, nullptr);
    client_->deleteLater();
    client_ = nullptr;
    Q_EMIT activity();
}

} // namespace meridan::sim
