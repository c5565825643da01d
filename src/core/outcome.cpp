// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/outcome.h"

namespace meridan {

QString FailureWord(Failure f)
{
    switch (f) {
    case Failure::None: return QStringLiteral("done");
    case Failure::Refused: return QStringLiteral("refused");
    case Failure::NeedsConfirmation: return QStringLiteral("needs-confirmation");
    case Failure::NoBoard: return QStringLiteral("no-board");
    case Failure::NoAnswer: return QStringLiteral("no-answer");
    case Failure::LineFault: return QStringLiteral("line-fault");
    case Failure::BoardError: return QStringLiteral("board-error");
    case Failure::BadInput: return QStringLiteral("bad-input");
    case Failure::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

} // namespace meridan
