// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an operation did, as data: done, or why not. The window makes its
// message-line texts as it always has; the command-line tool and the tests
// decide by this value, never by a text.
#include <QString>
#include <QStringList>

namespace meridan {

enum class Failure : uint8_t {
    None,              // done
    Refused,           // a rule of the program or of the configuration says no
    NeedsConfirmation, // would go ahead only when someone confirms it
    NoBoard,           // no board connected, or none answered the connection
    NoAnswer,          // the board did not answer within the operation's budget
    LineFault,         // the line or the connection to the board broke
    BoardError,        // the board answered with an error code
    BadInput,          // unreadable or invalid input: a file, a value
    Cancelled,         // the person in front of the program said no
};

// "refused", "needs-confirmation", "no-board", "no-answer", "line-fault",
// "board-error", "bad-input", "cancelled"; "done" for None. Stable: scripts
// read these words.
QString FailureWord(Failure f);

struct Outcome {
    Failure failure = Failure::None;
    // For a person: what went wrong, in the program's language. Empty when done.
    QString why;
    // Failure::BoardError: the code the board answered with.
    int boardCode = 0;
    // Files the operation wrote.
    QStringList written;

    bool done() const { return failure == Failure::None; }
    explicit operator bool() const { return done(); }

    static Outcome Fail(Failure f, QString why, int code = 0)
    {
        Outcome o;
        o.failure = f;
        o.why = std::move(why);
        o.boardCode = code;
        return o;
    }
};

} // namespace meridan
