#pragma once
// The main window (Form1).
#include "app/context.h"

#include <QMainWindow>

class QListWidget;
class QLineEdit;

namespace meridan {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Context &ctx, QWidget *parent = nullptr);

    void UpdateListe();
    void SetLanguageTexts();

private:
    Context &ctx_;
    QListWidget *list1_ = nullptr;
    QLineEdit *melde1_ = nullptr;
};

} // namespace meridan
