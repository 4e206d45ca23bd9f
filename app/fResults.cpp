#include "app/fResults.h"

#include "app/fAbout.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QUrl>

QString resultStatusText(TResultStatus status) {
    switch (status) {
    case TResultStatus::Skipped: return translate(QStringLiteral("Omitida"));
    case TResultStatus::Failed: return translate(QStringLiteral("Con error"));
    case TResultStatus::ShortData: return translate(QStringLiteral("Datos incompletos"));
    case TResultStatus::NotReached: return translate(QStringLiteral("Cancelada"));
    case TResultStatus::Copied: return translate(QStringLiteral("Copiada"));
    }
    return {};
}

void openFolderWithDesktop(QWidget* parent, const QString& folder) {
    openOrExplain(parent, QUrl::fromLocalFile(folder),
                  translate(QStringLiteral("Ningún programa de este escritorio abre la carpeta %1")).arg(folder));
}

TfrmResults::TfrmResults(QWidget* parent)
    : TForm<QDialog>(parent,
                     Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint) {
    setWindowTitle(QStringLiteral("Resultados"));
    resize(600, 360);
    setMinimumSize(360, 200);
    setSizeGripEnabled(true);

    lblCounts = own(new QLabel(this), 0);
    tblResults = own(new QTableWidget(0, 3, this));
    tblResults->setHorizontalHeaderLabels(
        {QStringLiteral("Fichero"), QStringLiteral("Estado"), QStringLiteral("Causa")});
    tblResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblResults->setSortingEnabled(true);
    tblResults->verticalHeader()->hide();
    tblResults->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < 3; ++c) {
        ownText([this, c] { return tblResults->horizontalHeaderItem(c)->text(); },
                [this, c](const QString& t) { tblResults->horizontalHeaderItem(c)->setText(t); });
    }
    name(tblResults, QStringLiteral("Resultados"),
         QStringLiteral("Ctrl+C copia las filas seleccionadas; pulse un encabezado para ordenar"));
    btnCopy = own(new QPushButton(QStringLiteral("Copiar"), this));
    btnOpenFolder = own(new QPushButton(QStringLiteral("Abrir la carpeta de salida"), this));
    btnClose = own(new QPushButton(QStringLiteral("Cerrar"), this));
    btnClose->setDefault(true);

    auto* copy = new QShortcut(QKeySequence::Copy, tblResults);
    copy->setContext(Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, [this] { QApplication::clipboard()->setText(RowsAsText()); });
    connect(btnCopy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(RowsAsText()); });
    connect(btnOpenFolder, &QPushButton::clicked, this, [this] { openFolderWithDesktop(this, outDir_); });
    connect(btnClose, &QPushButton::clicked, this, [this] { accept(); });
    setTabOrder(tblResults, btnCopy);
    setTabOrder(btnCopy, btnOpenFolder);
    setTabOrder(btnOpenFolder, btnClose);
}

void TfrmResults::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    lblCounts->setGeometry(8, 8, w - 16, 17);
    tblResults->setGeometry(8, 30, w - 16, h - 72);
    btnCopy->setGeometry(8, h - 35, 90, 25);
    btnOpenFolder->setGeometry(w - 316, h - 35, 210, 25);
    btnClose->setGeometry(w - 98, h - 35, 90, 25);
}

void TfrmResults::Fill(const TRunResults& r) {
    outDir_ = r.outDir;
    tblResults->setSortingEnabled(false);
    tblResults->setRowCount(int(r.entries.size()));
    for (int i = 0; i < int(r.entries.size()); ++i) {
        const TResultEntry& e = r.entries[size_t(i)];
        tblResults->setItem(i, 0, new QTableWidgetItem(e.file));
        tblResults->setItem(i, 1, new QTableWidgetItem(resultStatusText(e.status)));
        tblResults->setItem(i, 2, new QTableWidgetItem(e.cause));
    }
    tblResults->setSortingEnabled(true);
    tblResults->resizeColumnToContents(0);
    lblCounts->setText(translate(QStringLiteral("Escritas: %1 · Omitidas: %2 · Con error: %3 · Sin hacer: %4"))
                           .arg(r.written)
                           .arg(r.skipped)
                           .arg(r.failed)
                           .arg(r.notReached));
    btnOpenFolder->setEnabled(!outDir_.isEmpty());
}

// Not modal: the results stay at hand while the next run is prepared.
void TfrmResults::ShowResults(const TRunResults& results) {
    Fill(results);
    show();
    raise();
    activateWindow();
    tblResults->setFocus();
}

QString TfrmResults::RowsAsText() const {
    const bool selectedOnly = !tblResults->selectedItems().isEmpty();
    QStringList lines;
    for (int row = 0; row < tblResults->rowCount(); ++row) {
        if (selectedOnly && !tblResults->item(row, 0)->isSelected()) continue;
        QStringList cells;
        for (int c = 0; c < 3; ++c) cells << tblResults->item(row, c)->text();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}
