// Message boxes on real dialogs: whose window they belong to and where the
// focus goes after them.
#include "app/qt_prompts_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace meridan;

TEST(QtPrompts, aRefusedEntrysBoxBelongsToItsEditorAndGivesTheFocusBack)
{
    QWidget main;
    QtPrompts prompts(&main);
    auto *editor = new QWidget(&main, Qt::Window); // a non-modal editor over the main window
    auto *field = new QLineEdit(editor);
    auto *next = new QLineEdit(editor);
    auto *layout = new QVBoxLayout(editor);
    layout->addWidget(field);
    layout->addWidget(next);
    QObject::connect(field, &QLineEdit::editingFinished, [&] { prompts.message("wrong input", "range", Icon::None, Ok); });
    main.show();
    editor->show();
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
    field->setFocus();
    QWidget *owner = nullptr;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            owner = box->parentWidget();
            box->accept();
        }
    });
    QTest::keyClicks(field, "abc");
    QTest::keyClick(field, Qt::Key_Tab); // leaves the field: the entry is checked
    EXPECT_EQ(owner, editor);
    EXPECT_EQ(editor->focusWidget(), field);
}
