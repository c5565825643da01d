// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tooltips_window.h"

#include "core/context.h"

#include <QLabel>

namespace meridan {

void ApplyTips(QWidget &root, const Context &ctx, std::span<const Tip> tips)
{
    const auto listed = [&](const QWidget *w) {
        for (const Tip &t : tips)
            if (w->objectName() == QLatin1String(t.control))
                return true;
        return false;
    };
    for (const Tip &t : tips) {
        QWidget *w = root.findChild<QWidget *>(QString::fromLatin1(t.control));
        if (!w)
            continue;
        const QString tip = ctx.tr(QString::fromUtf8(t.english), QString::fromUtf8(t.german));
        w->setToolTip(tip);
        if (auto *label = qobject_cast<QLabel *>(w); label && label->buddy() && !listed(label->buddy()))
            label->buddy()->setToolTip(tip);
    }
}

} // namespace meridan
