// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_dialog.h"

#include "core/licence.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace meridan {

AboutDialog::AboutDialog(const QString &caption, bool german, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("Info"));
    auto *title = new QLabel(caption, this);
    title->setObjectName(QStringLiteral("AboutCaption"));
    QFont big = title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    title->setFont(big);
    auto *version = new QLabel(QStringLiteral("Version ") + QStringLiteral(MERIDAN_VERSION), this);
    version->setObjectName(QStringLiteral("AboutVersion"));
    auto *what = new QLabel(german ? QStringLiteral("Konfiguration und Inbetriebnahme eines PROFIBUS-DP Masters (Klasse 1)")
                                   : QStringLiteral("Configuration and commissioning of a PROFIBUS-DP master (class 1)"),
                            this);
    what->setWordWrap(true);
    auto *qt = new QLabel(QStringLiteral("Qt ") + QString::fromLatin1(qVersion()), this);
    // The licence as the program's --version gives it, with its link live.
    QString notice = QString::fromUtf8(kLicenceNotice).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    notice.replace(QStringLiteral("&lt;https://gnu.org/licenses/gpl.html&gt;"),
                   QStringLiteral("&lt;<a href=\"https://gnu.org/licenses/gpl.html\">https://gnu.org/licenses/gpl.html</a>&gt;"));
    auto *licence = new QLabel(QString::fromUtf8(kCopyrightLine).toHtmlEscaped() + QStringLiteral("<br>") + notice, this);
    licence->setObjectName(QStringLiteral("AboutLicence"));
    licence->setTextFormat(Qt::RichText);
    licence->setOpenExternalLinks(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(version);
    layout->addWidget(what);
    layout->addWidget(qt);
    layout->addWidget(licence);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace meridan
