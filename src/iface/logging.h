// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wire traces of the interface stack, quiet by default. Turn them on with
// QT_LOGGING_RULES="meridan.iface.*=true" when commissioning goes wrong.
#include <QLoggingCategory>

namespace meridan::iface {
Q_DECLARE_LOGGING_CATEGORY(lcDriver)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
Q_DECLARE_LOGGING_CATEGORY(lcMailbox)
} // namespace meridan::iface
