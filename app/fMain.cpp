#include "app/fMain.h"

#include "app/FolderWalk.h"
#include "app/QtTranslations.h"
#include "app/VersionInfo.h"
#include "app/fAbout.h"
#include "app/fMoreOptions.h"
#include "app/fResizing.h"
#include "app/fResults.h"
#include "app/fTriarIdioma.h"
#include "batch/PictureFormats.h"
#include "batch/ResizeEngine.h"
#include "i18n/uIdiomes.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSet>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

// Every picture the engine reads first, so that HEIC, WebP, AVIF and TIFF
// files show without choosing a filter.
const QString TfrmMain::addFileFilter =
    QStringLiteral("Im\u00E1genes|") + PictureNameFilters().join(QLatin1Char(';')) +
    QStringLiteral("|Imagen JPEG|*.jpg|Bitmap de Windows|*.bmp|Imagen PNG|*.png|Todos los archivos|*.*");

QString toQtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            // "*.*" means every file, also those without a dot in their name.
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        entries << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 0x20)
        ++first;
    while (last > first && text[last - 1].unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}

// ---------------------------------------------------------------------------
// Dropped files

namespace {

QStringList droppedFiles(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (info.isFile() || info.isDir()) paths << path;
    }
    return paths;
}

}  // namespace

void TFileListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFileListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFileListBox::dropEvent(QDropEvent* event) {
    const QStringList paths = droppedFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onFilesDropped)
        onFilesDropped(paths);
}

// ---------------------------------------------------------------------------
// Layout

namespace {

const char* const kSizeOptionKeys[presetCount] = {
    "0,3 MPixels (640x480)",  "1,2 MPixels (1280x960)",  "2,0 MPixels (1600x1200)", "3,0 MPixels (2048x1536)",
    "5,3 MPixels (3008x1960)", "6,3 MPixels (3088x2056)", "11,1 MPixels (4064x2704)",
};


QLineEdit* numberEdit(QWidget* parent, const QString& text) {
    auto* edit = new QLineEdit(text, parent);
    edit->setMaxLength(4);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

// A whole number greater than 0, or 0.
int32_t positiveNumber(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok && v > 0 ? v : 0;
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : TForm<QWidget>(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                 Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Velmora"));
    setFixedSize(618, 360);
    move(0, 0);

    GroupBox1 = own(new QGroupBox(QStringLiteral("Imágenes:"), this));
    GroupBox1->setGeometry(8, 8, 257, 323);
    ListBox1 = own(new TFileListBox(GroupBox1));
    ListBox1->setGeometry(8, 20, 153, 293);
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // One line of text per item: a list of thousands lays out at once.
    ListBox1->setUniformItemSizes(true);
    ListBox1->setAcceptDrops(true);
    ListBox1->setDragDropMode(QAbstractItemView::DropOnly);
    ListBox1->viewport()->setAcceptDrops(true);
    ListBox1->onFilesDropped = [this](const QStringList& paths) { AddPaths(paths); };
    btnAnadir = own(new QPushButton(QStringLiteral("Añadir..."), GroupBox1));
    btnAnadir->setGeometry(165, 25, 86, 25);
    btnQuitar = own(new QPushButton(QStringLiteral("Quitar"), GroupBox1));
    btnQuitar->setGeometry(165, 56, 86, 25);
    btnQuitar->setEnabled(false);
    btnQuitarTodo = own(new QPushButton(QStringLiteral("Quitar todo"), GroupBox1));
    btnQuitarTodo->setGeometry(165, 88, 86, 25);
    btnQuitarTodo->setEnabled(false);
    btnAnadirCarpeta = own(new QPushButton(QStringLiteral("Añadir carpeta..."), GroupBox1));
    btnAnadirCarpeta->setGeometry(165, 120, 86, 25);

    GroupBox2 = own(new QGroupBox(QStringLiteral("Opciones de salida:"), this));
    GroupBox2->setGeometry(271, 8, 225, 323);
    Label4 = own(new QLabel(QStringLiteral("Carpeta de salida:"), GroupBox2));
    Label4->setGeometry(8, 22, 177, 17);
    txtOutputFolder = own(new QLineEdit(GroupBox2));
    txtOutputFolder->setGeometry(8, 41, 177, 21);
    txtOutputFolder->setEnabled(false);
    BitBtn1 = own(new QPushButton(GroupBox2));
    BitBtn1->setGeometry(191, 38, 23, 25);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    Label1 = own(new QLabel(QStringLiteral("Tamaño:"), GroupBox2));
    Label1->setGeometry(10, 86, 200, 17);

    QRadioButton** presets[presetCount] = {&rb03mpx, &rb12mpx, &rb20mpx, &rb30mpx, &rb53mpx, &rb63mpx, &rb111mpx};
    for (int i = 0; i < presetCount; ++i) {
        *presets[i] = own(new QRadioButton(QString::fromUtf8(kSizeOptionKeys[i]), GroupBox2));
        (*presets[i])->setGeometry(9, 105 + 23 * i, 210, 17);
    }
    // The fixed sides leave room for the longest of their translations
    // ("Amplada:").
    rbAmple = own(new QRadioButton(QStringLiteral("Ancho:"), GroupBox2));
    rbAmple->setGeometry(9, 266, 82, 17);
    txtWidth = own(numberEdit(GroupBox2, QStringLiteral("640")));
    txtWidth->setGeometry(91, 265, 49, 21);
    lblWPixels = own(new QLabel(QStringLiteral("Pixels"), GroupBox2));
    lblWPixels->setGeometry(146, 267, 70, 17);
    rbAlt = own(new QRadioButton(QStringLiteral("Alto:"), GroupBox2));
    rbAlt->setGeometry(9, 289, 82, 17);
    txtHeight = own(numberEdit(GroupBox2, QStringLiteral("480")));
    txtHeight->setGeometry(91, 289, 49, 21);
    lblHPixels = own(new QLabel(QStringLiteral("Pixels"), GroupBox2));
    lblHPixels->setGeometry(146, 292, 70, 17);
    // No option is selected until the settings are read.
    for (QRadioButton* rb : sizeButtons()) {
        rb->setAutoExclusive(false);
        rb->setChecked(false);
        rb->setAutoExclusive(true);
        connect(rb, &QRadioButton::clicked, this, [this] { UpdateWidthHeight(llegirIndexTamany()); });
    }

    btnAbout = own(new QPushButton(QStringLiteral("Acerca de..."), this));
    btnAbout->setGeometry(504, 20, 106, 25);
    btnAyuda = own(new QPushButton(QStringLiteral("Ayuda"), this));
    btnAyuda->setGeometry(504, 51, 106, 25);
    // The language action; its text is no line of the tables and reads the
    // same in every language.
    btnLenguaje = own(new QPushButton(QStringLiteral("Idioma/Language"), this));
    btnLenguaje->setGeometry(504, 82, 106, 25);
    btnMasOpciones = own(new QPushButton(QStringLiteral("Más opciones..."), this));
    btnMasOpciones->setGeometry(504, 113, 106, 25);
    btnResize = own(new QPushButton(QStringLiteral("¡Redimensiona!"), this));
    btnResize->setGeometry(504, 281, 106, 50);
    btnResize->setDefault(true);

    StatusBar1 = own(new TStatusBar(this));
    StatusBar1->AddPanel(QStringLiteral("Versión 1.0"));
    StatusBar1->AddPanel(QString());
    StatusBar1->setGeometry(0, 338, 618, 22);
    btnAbrirSalida = own(new QPushButton(QStringLiteral("Abrir la carpeta de salida"), StatusBar1));
    StatusBar1->addPermanentWidget(btnAbrirSalida);
    btnAbrirSalida->hide();

    // What a screen reader says for the controls whose text does not name
    // them (the edits would otherwise take their group box's title).
    name(ListBox1, QStringLiteral("Imágenes"),
         QStringLiteral("Arrastre aquí imágenes o carpetas. Supr quita las seleccionadas y Ctrl+A las selecciona "
                        "todas."));
    name(txtOutputFolder, QStringLiteral("Carpeta de salida"));
    name(BitBtn1, QStringLiteral("Elegir la carpeta de salida"));
    name(txtWidth, QStringLiteral("Ancho en píxeles"));
    name(txtHeight, QStringLiteral("Alto en píxeles"));
    name(btnResize, QStringLiteral("¡Redimensiona!"), QStringLiteral("Escape cancela la conversión en curso"));
    BitBtn1->setToolTip(BitBtn1->accessibleName());

    // Tab follows the layout: the list column, the output column, the
    // buttons on the right.
    QWidget* order[] = {
        ListBox1, btnAnadir, btnQuitar, btnQuitarTodo, btnAnadirCarpeta, txtOutputFolder, BitBtn1,   rb03mpx,
        rb12mpx,  rb20mpx,   rb30mpx,   rb53mpx,       rb63mpx,          rb111mpx,        rbAmple,   txtWidth,
        rbAlt,    txtHeight, btnAbout,  btnAyuda,      btnLenguaje,      btnMasOpciones,  btnResize, btnAbrirSalida};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    // Delete and Ctrl+A act on the list wherever the focus is, except in an
    // edit, which keeps them for its text.
    auto* remove = new QShortcut(QKeySequence::Delete, this);
    connect(remove, &QShortcut::activated, this, [this] { btnQuitarClick(); });
    auto* selectAll = new QShortcut(QKeySequence::SelectAll, this);
    connect(selectAll, &QShortcut::activated, this, [this] { ListBox1->selectAll(); });
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { btnAyudaClick(); });
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { ShowSelectedSize(); });

    connect(btnAnadir, &QPushButton::clicked, this, [this] { btnAnadirClick(); });
    connect(btnQuitar, &QPushButton::clicked, this, [this] { btnQuitarClick(); });
    connect(btnQuitarTodo, &QPushButton::clicked, this, [this] { btnQuitarTodoClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(btnResize, &QPushButton::clicked, this, [this] { btnResizeClick(); });
    connect(btnAbout, &QPushButton::clicked, this, [this] { btnAboutClick(); });
    connect(btnAyuda, &QPushButton::clicked, this, [this] { btnAyudaClick(); });
    connect(btnLenguaje, &QPushButton::clicked, this, [this] { btnLenguajeClick(); });
    connect(btnAnadirCarpeta, &QPushButton::clicked, this, [this] { btnAnadirCarpetaClick(); });
    connect(btnMasOpciones, &QPushButton::clicked, this, [this] { btnMasOpcionesClick(); });
    connect(btnAbrirSalida, &QPushButton::clicked, this, [this] { openFolderWithDesktop(this, lastRunDir_); });
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::SetPeers(TfrmResizing* resizing, TfrmAbout* about, TfrmTriarIdioma* chooser) {
    frmResizing_ = resizing;
    frmAbout_ = about;
    frmTriarIdioma_ = chooser;
}

void TfrmMain::SetMorePeers(TfrmMoreOptions* options, TfrmResults* results) {
    frmMoreOptions_ = options;
    frmResults_ = results;
}

std::array<QRadioButton*, 9> TfrmMain::sizeButtons() const {
    return {rb03mpx, rb12mpx, rb20mpx, rb30mpx, rb53mpx, rb63mpx, rb111mpx, rbAmple, rbAlt};
}

// ---------------------------------------------------------------------------
// Start-up and shutdown

void TfrmMain::showEvent(QShowEvent* event) {
    TForm<QWidget>::showEvent(event);
    if (!started_) {
        started_ = true;
        FormShow();
    }
}

void TfrmMain::FormShow() {
    loadLanguages();
    FileList.clear();
    loadSettings();
    escriureNomUsuari();
    if (!StartPaths.isEmpty()) AddPaths(StartPaths);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A run in progress is cancelled and its end awaited (work under way is
    // dropped, nothing partial stays) before the settings are written.
    if (frmResizing_) frmResizing_->CancelAndWait();
    FormClose();
    event->accept();
}

// Enter presses the focused button, or else the default button, Resize.
void TfrmMain::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* target = focused && focused->isEnabled() ? focused : btnResize;
        event->accept();
        target->click();
        return;
    }
    TForm<QWidget>::keyPressEvent(event);
}

void TfrmMain::FormClose() {
    if (closed_ || !started_)
        return;
    closed_ = true;
    saveSettings();
}

void TfrmMain::applyLanguage(int32_t language) {
    setLanguage(language);
    loadQtTranslations(currentLanguage);
}

void TfrmMain::escriureNomUsuari() {
    StatusBar1->SetPanelText(0, translate(QStringLiteral("Versión ")) + QLatin1Char(' ') + getVersionString());
}

// ---------------------------------------------------------------------------
// The file list

void TfrmMain::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        const QString full = QDir::cleanPath(path);
        FileList << full;
        FileRoots << QString();
        ListBox1->addItem(TResizeEngine::FileNamePart(full));
        LastDir = full.left(full.lastIndexOf(QLatin1Char('/')) + 1);
        btnQuitar->setEnabled(true);
        btnQuitarTodo->setEnabled(true);
    }
}

void TfrmMain::btnAnadirClick() {
    QFileDialog ofdAddFile(this, QString(), LastDir, toQtFileFilter(addFileFilter));
    ofdAddFile.setFileMode(QFileDialog::ExistingFiles);
    ofdAddFile.setAcceptMode(QFileDialog::AcceptOpen);
    ofdAddFile.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = ofdAddFile.nameFilters();
    if (!filters.isEmpty())
        ofdAddFile.selectNameFilter(filters.first());
    if (ofdAddFile.exec() == QDialog::Accepted)
        AddFiles(ofdAddFile.selectedFiles());
}

void TfrmMain::AddFolder(const QString& path, QStringList& problems) {
    const QString root = QDir::cleanPath(path);
    const TFolderWalk walk = walkFolder(root, Options.subfolders);
    problems << walk.problems;
    QSet<QString> listed(FileList.begin(), FileList.end());
    QStringList names;
    ListBox1->setUpdatesEnabled(false);
    for (const QString& picture : walk.pictures) {
        if (listed.contains(picture)) continue;
        listed.insert(picture);
        FileList << picture;
        FileRoots << root;
        names << TResizeEngine::FileNamePart(picture);
    }
    ListBox1->addItems(names);
    ListBox1->setUpdatesEnabled(true);
    if (!names.isEmpty()) {
        btnQuitar->setEnabled(true);
        btnQuitarTodo->setEnabled(true);
    }
}

void TfrmMain::AddPaths(const QStringList& paths) {
    QStringList problems;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            AddFolder(path, problems);
        else if (info.isFile())
            AddFiles({path});
        else
            problems << translate(QStringLiteral("No se encuentra el fichero %1")).arg(path);
    }
    if (!problems.isEmpty())
        QMessageBox::warning(this, QCoreApplication::applicationName(), problems.join(QLatin1Char('\n')));
}

void TfrmMain::btnAnadirCarpetaClick() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QString(), LastDir);
    if (chosen.isEmpty()) return;
    LastDir = QDir::cleanPath(chosen) + QLatin1Char('/');
    AddPaths({chosen});
}

void TfrmMain::btnMasOpcionesClick() {
    if (frmMoreOptions_) frmMoreOptions_->Edit(Options);
    ShowSelectedSize();
}

void TfrmMain::ShowSelectedSize() {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (selected.size() != 1) {
        StatusBar1->SetPanelText(1, QString());
        return;
    }
    const int row = ListBox1->row(selected.first());
    const QString path = FileList.value(row);
    QString text = TResizeEngine::FileNamePart(path) + QLatin1Char(' ');
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QSize size = reader.size();
    if (!size.isValid()) {
        StatusBar1->SetPanelText(1, text + translate(QStringLiteral("tamaño desconocido")));
        return;
    }
    // A photo turned upright swaps its sides before it is sized.
    if (Options.upright && (reader.transformation() & QImageIOHandler::TransformationRotate90)) size.transpose();
    text += QStringLiteral("%1 × %2").arg(size.width()).arg(size.height());
    TResizeEngine engine(*frmResizing_);
    engine.SetTargetFromControls(txtWidth->text(), txtHeight->text(), rbAlt->isChecked(), rbAmple->isChecked());
    try {
        int32_t w = 0, h = 0;
        engine.calculateSize(size.width(), size.height(), w, h);
        text += QStringLiteral(" → %1 × %2").arg(w).arg(h);
    } catch (const std::exception&) {
    }
    StatusBar1->SetPanelText(1, text);
}

void TfrmMain::ShowRunResults(const TRunResults& results) {
    lastRunDir_ = results.outDir;
    if (results.entries.empty()) {
        StatusBar1->SetPanelText(
            1, translate(QStringLiteral("%1 imágenes escritas en %2")).arg(results.written).arg(results.outDir));
        btnAbrirSalida->show();
        return;
    }
    btnAbrirSalida->hide();
    StatusBar1->SetPanelText(1, QString());
    if (frmResults_) frmResults_->ShowResults(results);
}

void TfrmMain::btnQuitarClick() {
    for (int i = ListBox1->count() - 1; i >= 0; --i) {
        if (ListBox1->item(i)->isSelected()) {
            delete ListBox1->takeItem(i);
            FileList.removeAt(i);
            FileRoots.removeAt(i);
        }
    }
}

void TfrmMain::btnQuitarTodoClick() {
    ListBox1->clear();
    FileList.clear();
    FileRoots.clear();
    btnQuitarTodo->setEnabled(false);
    btnQuitar->setEnabled(false);
}

// ---------------------------------------------------------------------------
// The output folder

void TfrmMain::SetOutputFolder(const QString& path) {
    OutDir = QDir::toNativeSeparators(QDir::cleanPath(path));
    const QString name = QFileInfo(OutDir).fileName();
    OutShowDir = name.isEmpty() ? OutDir : name;  // the root has no name of its own
    txtOutputFolder->setText(OutShowDir);
}

void TfrmMain::BitBtn1Click() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QString(), OutDir);
    if (!chosen.isEmpty())
        SetOutputFolder(chosen);
}

// ---------------------------------------------------------------------------
// Size option

int32_t TfrmMain::llegirIndexTamany() const {
    const auto buttons = sizeButtons();
    for (int i = 0; i < int(buttons.size()); ++i) {
        if (buttons[size_t(i)]->isChecked())
            return i;
    }
    return 0;
}

void TfrmMain::escriureIndexTamany(int32_t Index) {
    if (Index >= 0 && Index < int(sizeButtons().size()))
        sizeButtons()[size_t(Index)]->setChecked(true);
}

void TfrmMain::UpdateWidthHeight(int32_t index) {
    if (index == sizeFixedWidth) {
        txtWidth->setEnabled(true);
        txtHeight->setEnabled(false);
    } else if (index == sizeFixedHeight) {
        txtWidth->setEnabled(false);
        txtHeight->setEnabled(true);
    } else {
        txtWidth->setEnabled(false);
        txtHeight->setEnabled(false);
        if (index >= 0 && index < presetCount) {
            valWidth = presetWidths[index];
            valHeight = presetHeights[index];
        }
    }
    txtWidth->setText(QString::number(valWidth));
    txtHeight->setText(QString::number(valHeight));
    escriureIndexTamany(index);
}

// ---------------------------------------------------------------------------
// Run, about, help, language

void TfrmMain::btnResizeClick() {
    if (ListBox1->count() == 0) {
        QMessageBox::critical(this, QCoreApplication::applicationName(),
                              translate(QStringLiteral("No hay imagenes/ficheros para convertir")));
        return;
    }
    if (rbAmple->isChecked() && positiveNumber(txtWidth->text()) == 0) {
        QMessageBox::critical(this, QCoreApplication::applicationName(),
                              translate(QStringLiteral("Ancho de la imagen incorrecto!")));
        txtWidth->setFocus();
        return;
    }
    if (rbAlt->isChecked() && positiveNumber(txtHeight->text()) == 0) {
        QMessageBox::critical(this, QCoreApplication::applicationName(),
                              translate(QStringLiteral("Alto de la imagen incorrecto!")));
        txtHeight->setFocus();
        return;
    }
    // Without a folder the outputs would land in the root folder: fall back
    // to the pictures folder, or let the user choose one.
    if (trimBlanks(OutDir).isEmpty()) {
        const QString pictures = getMyPicturesFolder();
        if (!pictures.isEmpty()) {
            OutDir = OutShowDir = pictures;
            txtOutputFolder->setText(OutShowDir);
        } else {
            BitBtn1Click();
            if (trimBlanks(OutDir).isEmpty())
                return;
        }
    }
    if (!frmResizing_)
        return;
    frmResizing_->files.clear();
    for (int i = 0; i < ListBox1->count(); ++i)
        frmResizing_->files << ListBox1->item(i)->text();
    frmResizing_->fileList = FileList;
    // Pictures added with a folder keep their place below it.
    frmResizing_->relDirs.clear();
    for (qsizetype i = 0; i < FileList.size(); ++i) {
        const QString root = FileRoots.value(i);
        const QString folder = FileList[i].left(FileList[i].lastIndexOf(QLatin1Char('/')));
        const bool below = !root.isEmpty() && folder.startsWith(root + QLatin1Char('/'));
        frmResizing_->relDirs << (below ? folder.mid(root.size() + 1) : QString());
    }
    frmResizing_->outDir = OutDir;
    frmResizing_->options = Options;
    btnAbrirSalida->hide();
    frmResizing_->exec();
    ShowRunResults(frmResizing_->Results());
}

void TfrmMain::btnAboutClick() {
    if (frmAbout_)
        frmAbout_->exec();
}

QString TfrmMain::userGuidePath() const {
    QString name = translate(QStringLiteral("\\Manual.pdf"));
    // The name begins with a backslash standing for the separator.
    while (name.startsWith(QLatin1Char('\\')) || name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

// A desktop without a program for the guide (or without the guide) gets a
// message naming the guide's full path, so it can be opened by hand.
void TfrmMain::btnAyudaClick() {
    const QString guide = userGuidePath();
    if (!QFileInfo(guide).isFile()) {
        QMessageBox::information(this, QCoreApplication::applicationName(),
                                 translate(QStringLiteral("No se encuentra la guía del usuario: %1")).arg(guide));
        return;
    }
    openOrExplain(
        this, QUrl::fromLocalFile(guide),
        translate(QStringLiteral("Ningún programa de este escritorio abre la guía del usuario. Ábrala a mano: %1"))
            .arg(guide));
}

void TfrmMain::btnLenguajeClick() {
    if (frmTriarIdioma_)
        frmTriarIdioma_->exec();
    applyLanguage(selectedLanguage);
    escriureNomUsuari();
    ShowSelectedSize();
}
