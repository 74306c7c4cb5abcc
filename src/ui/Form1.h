#pragma once
// The main window: the file list, its filling and trimming, the transparency options and
// the two conversion buttons that start a run.

#include "app/ConversionRun.h"
#include "app/Options.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QColorDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;
class QAction;

namespace kapto {

class TFileListBox;
class TOpenPictureDialog;
class TRunThread;
struct TOverwriteQuestion;
struct TRunEnd;
class TPreviewWindow;
class TRadioGroup;
class TShape;
class TOWDialog;

class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);

    ~TForm1() override;

    // The options as the controls stand now.
    TConversionOptions ReadOptions() const;
    // The listed files, as file names of the system.
    std::vector<std::string> ListedFiles() const;

    TFileListBox* ListBox1;
    QCheckBox* CheckBox1;
    QPushButton* Button1;
    QPushButton* Button2;
    QGroupBox* GroupBox1;
    TShape* Shape1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QRadioButton* RadioButton4;
    QRadioButton* RadioButton5;
    QCheckBox* CheckBox6;
    // The key colour's tolerance and soft edge, in GroupBox1 below the swatch.
    QLabel* Label2;
    QSpinBox* SpinBox1;
    QCheckBox* CheckBox7;
    QProgressBar* ProgressBar1;
    QPushButton* Button3;
    QPushButton* Button4;
    QCheckBox* CheckBox2;
    QScrollBar* ScrollBar1;
    QLabel* Label1;
    QCheckBox* CheckBox3;
    TRadioGroup* RadioGroup1;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    // "ファイルサイズを最適化", below the other options.
    QCheckBox* CheckBox8;
    QMenu* PopupMenu1;
    QAction* N1;
    QAction* N2;
    QAction* N3;
    TOpenPictureDialog* OpenPictureDialog1;
    QColorDialog* ColorDialog1;
    // The preview of the converted picture, made on first use.
    TPreviewWindow* PreviewWindow = nullptr;
    // Under the bar while a run goes and after it: "n / N  FILENAME", then what the run did.
    // Hidden until the first run, so the window at rest keeps its layout.
    QLabel* StatusLine;
    // The run on its own thread; tests give it a slower runner.
    TRunThread* Run;

    bool IsRunning() const;
    // The height of the status line, taken from the list while the line shows.
    static constexpr int kStatusHeight = 16;

signals:
    // A run has ended and the window takes input again.
    void RunFinished();

public slots:
    void Button1Click(QObject* sender);
    void Button2Click();
    void Button4Click();
    void N1Click();
    void N3Click();
    void ScrollBar1Change();
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void Shape1MouseUp();
    // Files and folders dropped on the list.
    void WMDropFiles(const QStringList& paths);
    // Opens the preview of a line of the list (double-click or Enter).
    void OpenPreview(int row);
    // Renders the preview again for the current line and options, when it is open.
    void UpdatePreview();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The window edges a control keeps its distance to when the window is resized.
    enum TAnchor
    {
        akLeft = 1,
        akTop = 2,
        akRight = 4,
        akBottom = 8
    };
    struct TAnchored
    {
        QWidget* Widget;
        QRect Original;
        int Anchors;
    };

    void MakeControls();
    QWidget* MakeKeyGroup();
    void SetUpControls();
    void MakeMenuAndDialogs();
    void ConnectHandlers();
    void FormCreate();
    void Place(QWidget* widget, const QRect& geometry, int anchors);
    // A control's place at a window size that differs from the start size by dx and dy.
    static QRect Arranged(const TAnchored& anchored, int dx, int dy);
    // Widens the controls to their texts in the font in use and sets the window's start
    // geometry and minimum size from them.
    void FitToFont();
    // Moves the controls right of a widened caption in the key group out of its way.
    void MakeRoomInKeyGroup();
    void WidenToText(QWidget* widget);
    // Whether controls that are apart at the start size stay apart, and the list keeps a
    // usable size, at that difference from the start size.
    bool KeepsControlsApart(int dx, int dy) const;
    QSize MinimumClientSize() const;
    void UpdateEdgeVisibility();
    // "許容差" follows "指定色を透過"; "境界をなめらかに" needs a tolerance above 0 too.
    void UpdateToleranceEnabled();

    // Makes room for the status line under the bar, or gives it back to the list.
    void ShowStatusLine(bool shown);
    // Disables what a run must not be disturbed by, or enables it again.
    void SetRunning(bool running, QPushButton* runButton);
    void WireRun();
    void RunEnded(const TRunEnd& end);
    TOverwriteAnswer AskOverwrite(const TOverwriteQuestion& question);
    TFailureAnswer AskFailure(const QString& path, const QString& message);
    // The popup menu greys out what does not apply to the list as it stands.
    void UpdateMenu();

    std::vector<TAnchored> m_anchored;
    // The client size at which every control stands where it was placed.
    QSize m_startSize;
    QPushButton* m_runButton = nullptr;     // the button that started the run, now "中止"
    QString m_runCaption;                   // its caption before the run
    TOWDialog* m_overwriteDialog = nullptr; // one per run
    bool m_skipAllFailures = false;         // "以降もスキップ" was chosen in this run
    QStringList m_skippedFiles;             // files passed over after a failure during the run
    QStringList m_warnedFiles;              // "PATH: MESSAGE" of files written with a warning
};

} // namespace kapto
