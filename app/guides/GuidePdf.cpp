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
// With SOURCE_DATE_EPOCH set (seconds since 1970), the PDF's creation date is
// that time instead of the present, so that the same guide gives the same
// bytes in every build; Qt lays fonts out in the order of its hash seed, so
// reproducible builds also run the tool with QT_HASH_SEED=0.
// Exit status 0 on success, 1 on any failure (with one line on stderr).
#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cstdio>
#include <optional>

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

// SOURCE_DATE_EPOCH as a time, absent when the variable is unset or empty. A value
// that is not a whole number of seconds (0 to 253402300799, the end of the
// year 9999) is refused, leaving `valid` false.
std::optional<QDateTime> sourceDateEpoch(bool& valid) {
    valid = true;
    const QString text = qEnvironmentVariable("SOURCE_DATE_EPOCH");
    if (text.isEmpty()) return std::nullopt;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
    const qint64 seconds = digits.match(text).hasMatch() ? text.toLongLong() : -1;
    valid = seconds >= 0 && seconds <= 253402300799;
    if (!valid) return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

// Writes `when` over the creation date QPdfWriter put in the document
// information ("/CreationDate (D:YYYYMMDDHHmmSS" and the zone). Both dates are
// written in UTC ("Z"), so the bytes keep their length and every offset of the
// file stays right. False when the date is not found as expected.
bool setCreationDate(QByteArray& pdf, const QDateTime& when) {
    const QByteArray key("/CreationDate (D:");
    const qsizetype start = pdf.indexOf(key);
    if (start < 0 || pdf.indexOf(key, start + 1) >= 0) return false;
    const qsizetype at = start + key.size();
    const QByteArray date = when.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "Z)";
    if (pdf.size() < at + date.size() || pdf.at(at + date.size() - 2) != 'Z' || pdf.at(at + date.size() - 1) != ')')
        return false;
    pdf.replace(at, date.size(), date);
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    bool epochValid = true;
    const std::optional<QDateTime> epoch = sourceDateEpoch(epochValid);
    if (epoch) qputenv("TZ", "UTC");  // the writer then states its date in UTC, as the epoch's
    QGuiApplication app(argc, argv);
    if (!epochValid)
        return fail(QStringLiteral("SOURCE_DATE_EPOCH is not a number of seconds: %1")
                        .arg(qEnvironmentVariable("SOURCE_DATE_EPOCH")));
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

    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Velmora"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        document.print(&writer);
    }  // the writer finishes the document when it goes
    if (pdf.isEmpty()) return fail(QStringLiteral("nothing was written for %1").arg(outputPath));
    if (epoch && !setCreationDate(pdf, *epoch))
        return fail(QStringLiteral("no creation date to set in %1").arg(outputPath));

    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly) || output.write(pdf) != pdf.size())
        return fail(QStringLiteral("cannot write %1: %2").arg(outputPath, output.errorString()));
    if (!output.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(outputPath, output.errorString()));
    return 0;
}
