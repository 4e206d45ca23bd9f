// The main window: the list of input files, the output folder, the size
// option, and the buttons that start a run, show the about box, open the
// user guide and choose the language. It reads the settings once when first
// shown and writes them once when closed.
#pragma once

#include "app/DesktopOptions.h"
#include "app/TForm.h"

#include <QListWidget>
#include <QSettings>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TfrmAbout;
class TfrmMoreOptions;
class TfrmResizing;
class TfrmResults;
struct TRunResults;
class TfrmTriarIdioma;

// The file list box; it also takes local files dropped from a file manager.
class TFileListBox : public QListWidget {
public:
    using QListWidget::QListWidget;
    // Called with the dropped files' full paths, in drop order.
    std::function<void(const QStringList&)> onFilesDropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The add dialog's filter, "Name|pattern|Name|pattern...", in Qt's form
// ("Name (pattern);;..."). "*.*" stands for every file.
QString toQtFileFilter(const QString& filter);

// A string with the characters U+0000..U+0020 removed from both ends.
QString trimBlanks(const QString& text);

class TfrmMain : public TForm<QWidget> {
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    void SetPeers(TfrmResizing* resizing, TfrmAbout* about, TfrmTriarIdioma* chooser);
    void SetMorePeers(TfrmMoreOptions* options, TfrmResults* results);

    QGroupBox* GroupBox1;
    TFileListBox* ListBox1;
    QPushButton* btnAnadir;
    QPushButton* btnQuitar;
    QPushButton* btnQuitarTodo;
    QPushButton* btnAnadirCarpeta;
    QGroupBox* GroupBox2;
    QLabel* Label4;
    QLineEdit* txtOutputFolder;
    QPushButton* BitBtn1;
    QLabel* Label1;
    QRadioButton* rb03mpx;
    QRadioButton* rb12mpx;
    QRadioButton* rb20mpx;
    QRadioButton* rb30mpx;
    QRadioButton* rb53mpx;
    QRadioButton* rb63mpx;
    QRadioButton* rb111mpx;
    QRadioButton* rbAmple;
    QLineEdit* txtWidth;
    QLabel* lblWPixels;
    QRadioButton* rbAlt;
    QLineEdit* txtHeight;
    QLabel* lblHPixels;
    QPushButton* btnAbout;
    QPushButton* btnAyuda;
    QPushButton* btnLenguaje;
    QPushButton* btnMasOpciones;
    QPushButton* btnResize;
    TStatusBar* StatusBar1;
    QPushButton* btnAbrirSalida;  // in the status bar, after a run that wrote everything

    // Full paths of the input files; entry i belongs to ListBox1's item i.
    QStringList FileList;
    // Entry i: the folder that was added when FileList[i] came from one (its
    // output keeps the tree below that folder), else empty.
    QStringList FileRoots;
    // The "More options" values.
    TDesktopOptions Options;
    // Paths given on the command line, added when the window is first shown.
    QStringList StartPaths;
    QString LastDir;     // folder of the last file added, with a trailing separator
    QString OutDir;      // the output folder handed to a run
    QString OutShowDir;  // the output folder as displayed
    std::unique_ptr<QSettings> reg;
    int32_t Size = 0;
    int32_t valWidth = 0;
    int32_t valHeight = 0;

    // The file filter of the add dialog; it is not translated.
    static const QString addFileFilter;

    void btnAnadirClick();
    void btnQuitarClick();
    void btnQuitarTodoClick();
    void BitBtn1Click();
    void btnResizeClick();
    void btnAboutClick();
    void btnAyudaClick();
    void btnLenguajeClick();
    void btnAnadirCarpetaClick();
    void btnMasOpcionesClick();

    // Appends files as the add dialog returns them: full path to FileList,
    // file name to the list box, LastDir to the file's folder; enables Remove
    // and Remove all.
    void AddFiles(const QStringList& paths);
    // Adds the pictures of a folder (and of its subfolders when the option is
    // on), in name order, leaving out pictures already listed. Problems met
    // (a folder that cannot be read, a link back to a folder already read)
    // are appended to `problems`.
    void AddFolder(const QString& path, QStringList& problems);
    // Files as AddFiles, folders as AddFolder; anything else is a problem.
    // Problems are shown in one message box at the end.
    void AddPaths(const QStringList& paths);
    // The selected file's size and its size after the run, in the status bar.
    void ShowSelectedSize();
    // After a run: the results window, or the count in the status bar.
    void ShowRunResults(const TRunResults& results);
    // Takes a folder chosen in the folder browser.
    void SetOutputFolder(const QString& path);

    int32_t llegirIndexTamany() const;
    void escriureIndexTamany(int32_t Index);
    void UpdateWidthHeight(int32_t index);
    void escriureNomUsuari();

    // The user guide of the current language, in the program's folder.
    QString userGuidePath() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void loadSettings();
    void saveSettings();
    void applyLanguage(int32_t language);

    std::array<QRadioButton*, 9> sizeButtons() const;

    TfrmResizing* frmResizing_ = nullptr;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmTriarIdioma* frmTriarIdioma_ = nullptr;
    TfrmMoreOptions* frmMoreOptions_ = nullptr;
    TfrmResults* frmResults_ = nullptr;
    QString lastRunDir_;
    bool started_ = false;
    bool closed_ = false;
};
