// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// meridan-boardsim as a child process for integration tests and benchmarks:
// the demo set of boards in a given root folder, its TCP boards on ports the
// system picks, and the host's zelpci.cfg pointing at them.
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace meridan::test {

class BoardSim {
public:
    // The simulator binary: $MERIDAN_BOARDSIM, else the one built with the
    // tests; empty when there is none.
    static QString binary();

    ~BoardSim();

    // Starts the demo boards in `rootDir` (extra arguments appended) and
    // waits, at most 15 s, until they are ready. False with `error` set.
    bool start(const QString &rootDir, const QStringList &extra = {});
    // SIGKILL: the board dies without tidying up.
    void kill();
    // SIGSTOP / SIGCONT: the board stops answering, then goes on.
    void freeze(bool frozen);
    // SIGTERM. The simulator must then end cleanly: exit status 0, and no
    // sanitizer report or crash in what it printed; anything else fails the
    // running test. Also when it ended on its own before (unless killed).
    void stop();

    // The state snapshot of board `name` ("Tessel", "Dromon", ...).
    QJsonObject state(const QString &name) const;
    // What the simulator printed so far.
    QByteArray output();

    QString error;

private:
    QProcess proc_;
    bool started_ = false;
    bool killed_ = false;
    QString root_;
    QByteArray out_;
};

} // namespace meridan::test
