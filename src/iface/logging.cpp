// SPDX-License-Identifier: GPL-3.0-or-later
#include "iface/logging.h"

namespace meridan::iface {
Q_LOGGING_CATEGORY(lcDriver, "meridan.iface.driver", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNet, "meridan.iface.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSerial, "meridan.iface.serial", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMailbox, "meridan.iface.mailbox", QtWarningMsg)
} // namespace meridan::iface
