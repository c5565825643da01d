// SPDX-License-Identifier: GPL-3.0-or-later
// One simulated board: the firmware core, its DP-RAM, its EEPROM and the connection the
// host reaches it through (DP-RAM file, pseudo-terminal or TCP).
#pragma once

#include "firmware.h"
#include "netserver.h"
#include "ptyport.h"
#include "serialmonitor.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace meridan::sim {

struct BoardConfig {
    QString name;          // e.g. "Tessel", "OS9Target"
    BoardKind kind = BoardKind::Tessel;
    QString dpramPath;     // DP-RAM boards
    QString serialPath;    // serial boards: the symlink
    QString tcpHost = QStringLiteral("127.0.0.1");
    int tcpPort = -1;      // network boards; 0 = ephemeral
    QString eepromPath;    // empty = memory only
    std::vector<std::pair<std::uint32_t, int>> weakCells; // EEPROM address, writes that do not take
    std::vector<Flap> flaps; // slaves that drop out or show diagnosis periodically
    SimBus bus = SimBus::demo();
    std::uint8_t version = 0x53;
    bool pace = true;
    bool terminalMode = false;
};

class Board : public QObject {
    Q_OBJECT
public:
    explicit Board(BoardConfig config, QObject *parent = nullptr);
    ~Board() override;

    bool start(QString *error);
    const BoardConfig &config() const { return cfg_; }
    quint16 tcpPort() const { return net_ ? net_->port() : 0; }
    QString endpoint() const;
    Firmware &firmware() { return *fw_; }
    QJsonObject snapshot() const;
    std::int64_t now() const { return clock_.elapsed(); }

Q_SIGNALS:
    void changed();

private:
    void pollOnce();
    void onSerial(const QByteArray &bytes);
    void logLine(const std::string &s) const;

    BoardConfig cfg_;
    QElapsedTimer clock_;
    std::unique_ptr<DpRam> ram_;
    std::unique_ptr<Eeprom> eeprom_;
    std::unique_ptr<Firmware> fw_;
    std::unique_ptr<SerialMonitor> monitor_;
    std::unique_ptr<PtyPort> pty_;
    std::unique_ptr<NetServer> net_;
    QTimer poll_;
    std::int64_t lastActivity_ = -1000000;
    bool createdDpram_ = false;
};

} // namespace meridan::sim
