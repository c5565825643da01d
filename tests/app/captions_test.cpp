// SPDX-License-Identifier: GPL-3.0-or-later
// The interface speaks the language chosen in every window, and its windows
// show all they hold.
#include "app/qt_prompts_window.h"
#include "master/form3_window.h"
#include "monitor/diagnosis.h"
#include "monitor/form6_window.h"
#include "slave/form2_window.h"
#include "slave/form7_window.h"
#include "support/fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace meridan;
using namespace meridan::test;

namespace {

template <typename T>
QString Text(const QWidget &w, const char *name)
{
    const T *c = w.findChild<T *>(QString::fromLatin1(name));
    return c ? c->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

} // namespace

// In English, English; in German, the captions as they have always been.
TEST(Captions, slaveParameterMasterAndDiagnosisWindows_speakTheLanguageInForce)
{
    struct Expected {
        int16_t language;
        const char *vendor, *device, *neu, *moduleNo, *moduleOffset, *master, *diagnosis;
    };
    const Expected cases[] = {
        {kEnglish, "Manufacturer", "Device", "&New", "Module No.:", "Module Parameter Offset",
         "PROFIBUS-DP Master Class 1 - Setup", "Station 12 Diagnosis"},
        {kGerman, "Hersteller", "Gerät", "&Neu", "Modul Nr.:", "Modul Parameter Offset", "PROFIBUS-DP Master Klasse 1 - Setup",
         "Station 12 Diagnose"},
    };
    for (const Expected &e : cases) {
        Fixture f;
        f.st.language = e.language;
        f.st.currentStation = 12;
        Form2Window form2(f.ctx);
        EXPECT_EQ(Text<QLabel>(form2, "Label15"), QString::fromUtf8(e.vendor));
        EXPECT_EQ(Text<QLabel>(form2, "Label16"), QString::fromUtf8(e.device));
        EXPECT_EQ(Text<QPushButton>(form2, "Neu"), QString::fromUtf8(e.neu));
        Form7Window form7(f.ctx, {});
        EXPECT_EQ(Text<QLabel>(form7, "Label25"), QString::fromUtf8(e.moduleNo));
        EXPECT_EQ(Text<QLabel>(form7, "Label26"), QString::fromUtf8(e.moduleOffset));
        Form3Window form3(f.ctx);
        EXPECT_EQ(form3.windowTitle(), QString::fromUtf8(e.master));
        DiagView view;
        UpdateDiagView(f.ctx, view, true);
        EXPECT_EQ(view.caption, QString::fromUtf8(e.diagnosis));
    }
}

// Every button of the slave editor can be reached with Alt and a letter, no
// letter twice.
TEST(Captions, slaveEditorButtons_haveMnemonicsOfTheirOwn)
{
    for (int16_t language : {kEnglish, kGerman}) {
        Fixture f;
        f.st.language = language;
        Form2Window form2(f.ctx);
        QString keys;
        for (QPushButton *b : form2.findChildren<QPushButton *>()) {
            const qsizetype amp = b->text().indexOf(QLatin1Char('&'));
            ASSERT_GE(amp, 0) << b->objectName().toStdString();
            const QChar key = b->text().at(amp + 1).toLower();
            EXPECT_FALSE(keys.contains(key)) << b->text().toStdString();
            keys += key;
        }
        EXPECT_EQ(keys.size(), 9);
    }
}

// The bit labels stay whole however the explanation below them wraps: the
// window cannot be made smaller than its content, in either language.
TEST(Captions, diagnosisWindow_atItsSmallestShowsEveryLabelWhole)
{
    for (int16_t language : {kEnglish, kGerman}) {
        Form6Window w;
        w.view.caption = DiagCaption(language, 12);
        w.view.bits[0][6] = true;
        w.view.masterAdr = QStringLiteral("255");
        w.view.identNr = QStringLiteral("4225");
        w.view.extData = QString(QStringLiteral("01 2A ")).repeated(40);
        w.view.explanation = QStringList(4, QStringLiteral("Prm Fault: station 12 answers with ident 4225, the configuration "
                                                           "expects 4224; configure the station from its device file."));
        w.show();
        w.showView();
        w.resize(1, 1); // as small as the window lets itself be made
        QApplication::processEvents();
        for (QLabel *l : w.findChildren<QLabel *>()) {
            if (!l->isVisible())
                continue;
            const int need = l->wordWrap() ? l->heightForWidth(l->width()) : l->minimumSizeHint().height();
            EXPECT_GE(l->height(), need) << l->objectName().toStdString() << " in " << language;
        }
        EXPECT_EQ(w.windowTitle(), language == kGerman ? QStringLiteral("Station 12 Diagnose") : QStringLiteral("Station 12 Diagnosis"));
    }
}

// The question before work is given up, on a real message box: its buttons
// in the language in force, and the answer as the button pressed.
TEST(Captions, saveChangesBox_hasItsButtonsInTheLanguageInForce)
{
    struct Case {
        int16_t language;
        QStringList buttons;
        int press;
        int answer;
    };
    const Case cases[] = {
        {kGerman, {"&Speichern", "&Verwerfen", "Abbrechen"}, 1, Discard},
        {kEnglish, {"&Save", "&Discard", "Cancel"}, 0, Store},
    };
    for (const Case &c : cases) {
        QWidget main;
        QtPrompts prompts(&main);
        prompts.language = &c.language;
        QStringList shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QAbstractButton *pressed = nullptr;
            for (auto standard : {QMessageBox::Save, QMessageBox::Discard, QMessageBox::Cancel}) {
                QAbstractButton *b = box->button(standard);
                shown << (b ? b->text() : QString());
                if (shown.size() - 1 == c.press)
                    pressed = b;
            }
            if (pressed)
                pressed->click();
        });
        EXPECT_EQ(prompts.message(QStringLiteral("Save changes?"), QStringLiteral("t"), Icon::Question, Store | Discard | Cancel), c.answer);
        EXPECT_EQ(shown, c.buttons);
    }
}
