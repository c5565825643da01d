// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The I/O test window: one row per module of a station, its bits as check
// boxes that light up while set, its words as numbers (in hex and decimal).
// A click on an output bit, or Space on it, forces the bit the other way; a
// number typed into an output word and Return force the word. It shows what
// MakeIoView gives and forwards every event to the IoTest; closing it gives
// forced outputs back.
#include "io/io_test.h"
#include "io/io_view.h"

#include <QDialog>
#include <map>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace meridan {

class IoWindow : public QDialog {
    Q_OBJECT
public:
    // The station of record `rec` (a copy is taken) on the board `com` is connected to.
    IoWindow(Context &ctx, Commissioning &com, const Record &rec, QWidget *parent = nullptr);
    ~IoWindow() override;

    io::IoTest &test() { return *test_; }
    int station() const { return test_->station().station; }
    // The pause between two reads now.
    int intervalMs() const;
    void showView();

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Build();
    void Bit_Click(const io::IoChannel &c);
    void Word_Return(const io::IoChannel &c, QLineEdit *edit);
    void ReleaseAll_Click();
    void Report(const Outcome &out);

    Context &ctx_;
    std::unique_ptr<io::IoTest> test_;
    std::unique_ptr<io::IoPoll> poll_;
    QLabel *status_ = nullptr;
    QLabel *message_ = nullptr;
    QPushButton *release_ = nullptr;
    std::map<QString, QCheckBox *> bits_;
    std::map<QString, QLineEdit *> words_;   // output words
    std::map<QString, QLabel *> values_;     // input words
};

} // namespace meridan
