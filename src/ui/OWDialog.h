#pragma once
// The overwrite question of a run: what to do with an output name that exists.

#include "app/ConversionRun.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kapto {

class TOWDialog : public QDialog, public TOverwritePrompt
{
    Q_OBJECT

public:
    explicit TOWDialog(QWidget* owner);

    // Shows the dialog modally; the answer is its modal result and the check box.
    TOverwriteAnswer Ask(const std::string& outputName) override;

    QLabel* Label1;
    QLabel* Label2; // the output path asked about
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QCheckBox* CheckBox1;

protected:
    void showEvent(QShowEvent* event) override;
    // Closing the window is "保存しない".
    void reject() override;
};

} // namespace kapto
