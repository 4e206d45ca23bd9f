// velmora-guide-pdf: turns one user guide, written in Markdown, into a PDF.
//
//     velmora-guide-pdf INPUT.md OUTPUT.pdf
//
// Run at build time with QT_QPA_PLATFORM=offscreen. The text is laid out by
// QTextDocument, with the pictures it names (relative to its own folder), and
// paginated onto A4 pages by QPdfWriter (QTextDocument::print keeps a 2 cm
// margin and numbers the pages at their foot). The output is written through
// QSaveFile, so a failed run leaves no half-written guide behind and keeps any
// earlier one.
// Exit status 0 on success, 1 on any failure (with one line on stderr).
#include <QColor>
#include <QFile>
#include <QFont>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextTable>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "velmora-guide-pdf: %s\n", qUtf8Printable(message));
    return 1;
}

// The guide's title: the text of its first level-one heading, or an empty
// string when it has none.
QString guideTitle(const QString& markdown)
{
    static const QRegularExpression heading(QStringLiteral("^#[ \\t]+(.+?)[ \\t#]*$"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = heading.match(markdown);
    return m.hasMatch() ? m.captured(1) : QString();
}

// Tables read better with some air in their cells and a single thin rule.
void openUpTables(QTextDocument& document)
{
    const QList<QTextFrame*> frames = document.rootFrame()->childFrames();
    for (QTextFrame* frame : frames) {
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
            QTextTableFormat format = table->format();
            format.setCellPadding(4);
            format.setCellSpacing(0);
            format.setBorderCollapse(true);
            format.setBorder(1);
            format.setBorderBrush(QColor(0x99, 0x99, 0x99));
            table->setFormat(format);
        }
    }
}

// Loads every picture the guide shows, named relative to the guide's own
// folder, into the document. Returns the name of the first picture that
// cannot be read, or an empty string when all are there: a guide must not go
// out with a hole where a picture should be.
QString loadPictures(QTextDocument& document, const QDir& folder)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            const QImage picture(folder.filePath(name));
            if (picture.isNull())
                return name;
            document.addResource(QTextDocument::ImageResource, QUrl(name), picture);
        }
    }
    return {};
}

}  // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 3)
        return fail(QStringLiteral("usage: velmora-guide-pdf INPUT.md OUTPUT.pdf"));
    const QString inputPath = args.at(1);
    const QString outputPath = args.at(2);

    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(inputPath, input.errorString()));
    const QString markdown = QString::fromUtf8(input.readAll());
    input.close();
    const QString title = guideTitle(markdown);
    if (title.isEmpty())
        return fail(QStringLiteral("%1 has no title (a line starting with \"# \")").arg(inputPath));

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setMarkdown(markdown);
    openUpTables(document);
    const QString missing = loadPictures(document, QFileInfo(inputPath).dir());
    if (!missing.isEmpty())
        return fail(QStringLiteral("%1 shows %2, which cannot be read").arg(inputPath, missing));
    document.setMetaInformation(QTextDocument::DocumentTitle, title);

    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(outputPath, output.errorString()));
    {
        QPdfWriter writer(&output);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Velmora"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        document.print(&writer);
    }  // the writer finishes the file when it goes
    if (output.size() == 0) {
        output.cancelWriting();
        return fail(QStringLiteral("nothing was written for %1").arg(outputPath));
    }
    if (!output.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(outputPath, output.errorString()));
    return 0;
}
