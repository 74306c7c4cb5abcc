#pragma once
// The overwrite question of a run: what to do with an output name that exists.

#include "app/ConversionRun.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kapto {

struct TOverwriteQuestion;

class TOWDialog : public QDialog, public TOverwritePrompt
{
    Q_OBJECT

public:
    explicit TOWDialog(QWidget* owner);

    // Shows the dialog modally; the answer is its modal result and the check box.
    TOverwriteAnswer Ask(const std::string& outputName) override;
    // The same, telling the source too, and what the output is to it or to this run.
    TOverwriteAnswer Ask(const TOverwriteQuestion& question);

    QLabel* Label1;
    QLabel* Label2; // the output path asked about
    QLabel* Label3; // the source path
    QLabel* Label4; // "元のファイルを置き換えます (透過や色数は失われます)", when it does
    QLabel* Label5; // the earlier source of the run that wrote the output, when one did
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QCheckBox* CheckBox1;

protected:
    void showEvent(QShowEvent* event) override;
    // Closing the window is "保存しない".
    void reject() override;

private:
    // Places the buttons and the check box under the lines shown, and sizes the dialog.
    void Arrange();
    QPushButton* m_focusFirst = nullptr;
};

} // namespace kapto
