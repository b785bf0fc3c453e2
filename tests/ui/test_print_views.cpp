// Printing: the list laid out as a grid, records and lists spread over
// pages that end between rows, headers and footers on each page.
#include <gtest/gtest.h>

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "support/QtPrinters.h"
#include "ui/TextRecorder.h"
#include "views/BMDetailsView.h"
#include "views/BMListPrintView.h"
#include "views/BMPrintDocument.h"
#include "views/TextBlock.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

// A list table: columns by identifier, cells by (column, row).
class FakeListTable : public BMListPrintSource {
public:
    int numberOfRowsInTableView() const override { return rows; }
    QList<BMListPrintColumn> tableColumns() const override { return columns; }
    QString tableViewForPrinting(const QString& column, int row) const override
    {
        return cells.value(column).value(row);
    }
    int rows = 0;
    QList<BMListPrintColumn> columns;
    QHash<QString, QStringList> cells;
};

int pdfPageCount(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return static_cast<int>(QString::fromLatin1(bytes).count(page));
}

class PrintViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        database.caches().mCurrentUser()->setMUsername(QStringLiteral("alice"));
    }

    // Prints on an A4 PDF at screen resolution; the number of pages printed.
    int printToPDF(const BMPrintDocument& document, const QString& name)
    {
        QPdfWriter writer(dir.filePath(name));
        writer.setResolution(96);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        return printDocument(writer, document);
    }

    TVXDataBase database;
    QTemporaryDir dir;
};

TEST(Pagination, PagesEndAtTheLastRowThatFits)
{
    const QList<qreal> rows{40, 80, 120, 160, 200, 240};
    const auto slices = paginate(240, 100, rows);
    ASSERT_EQ(slices.size(), 3);
    EXPECT_DOUBLE_EQ(slices[0].bottom, 80);
    EXPECT_DOUBLE_EQ(slices[1].top, 80);
    EXPECT_DOUBLE_EQ(slices[1].bottom, 160);
    EXPECT_DOUBLE_EQ(slices[2].bottom, 240);
}

TEST(Pagination, ARowTallerThanAPageIsCutAndNothingIsLost)
{
    const auto slices = paginate(500, 100, {450, 500});
    ASSERT_EQ(slices.size(), 5);
    EXPECT_DOUBLE_EQ(slices[0].bottom, 100);
    EXPECT_DOUBLE_EQ(slices[4].top, 400);
    EXPECT_DOUBLE_EQ(slices[4].bottom, 500);
    // Nothing at all still gives the one page the header goes on.
    EXPECT_EQ(paginate(0, 100, {}).size(), 1);
}

TEST_F(PrintViewTest, IconAndAttachmentColumnsNeverPrint)
{
    FakeListTable table;
    table.rows = 2;
    table.columns = {{"0", 20}, {"1", 80}, {"3", 80}, {"14", 20}};
    table.cells["0"] = QStringList{"icon", "icon"};
    table.cells["1"] = QStringList{"Web log-in", "Card"};
    table.cells["3"] = QStringList{"Bank", "Visa"};
    table.cells["14"] = QStringList{"yes", "no"};
    BMListPrintView view(nullptr, &database.caches());
    view.setStringsFromTableView(table);
    ASSERT_EQ(view.stringArray().size(), 2);
    EXPECT_EQ(view.stringArray()[0], QStringList({"Web log-in", "Card"}));
    EXPECT_EQ(view.stringArray()[1], QStringList({"Bank", "Visa"}));

    // "14" anywhere but last is an ordinary column.
    table.columns = {{"0", 20}, {"14", 40}, {"3", 80}};
    view.setStringsFromTableView(table);
    EXPECT_EQ(view.stringArray().size(), 2);
}

TEST_F(PrintViewTest, LongNotesWrapAt200AndTheRowGrows)
{
    FakeListTable table;
    table.rows = 2;
    table.columns = {{"0", 20}, {"3", 100}, {"13", 60}};
    table.cells["3"] = QStringList{"Bank", "Visa"};
    table.cells["13"] = QStringList{QString(300, QLatin1Char('n')), "short"};
    BMListPrintView view(nullptr, &database.caches());
    view.setStringsFromTableView(table);
    ASSERT_EQ(view.columnWidths().size(), 2);
    EXPECT_EQ(view.columnWidths()[1], BMListPrintView::kNotesWrapWidth);
    const int oneLine = static_cast<int>(std::ceil(textblock::lineHeight(view.textFont())));
    EXPECT_GT(view.rowHeights()[0], 2 * oneLine);
    EXPECT_EQ(view.rowHeights()[1], oneLine);
    // A fitting value takes its one-line width plus 5.
    const int bankWidth = static_cast<int>(std::ceil(textblock::oneLineWidth("Bank", view.textFont()))) + 5;
    const int visaWidth = static_cast<int>(std::ceil(textblock::oneLineWidth("Visa", view.textFont()))) + 5;
    EXPECT_EQ(view.columnWidths()[0], std::max(bankWidth, visaWidth));
}

TEST_F(PrintViewTest, EmptyColumnsTakeNoWidthAndAnEmptyListNoHeight)
{
    FakeListTable table;
    table.rows = 1;
    table.columns = {{"0", 20}, {"3", 100}, {"4", 100}};
    table.cells["3"] = QStringList{"Bank"};
    table.cells["4"] = QStringList{""};
    BMListPrintView view(nullptr, &database.caches());
    view.setStringsFromTableView(table);
    ASSERT_EQ(view.columnWidths().size(), 2);
    EXPECT_EQ(view.columnWidths()[1], 0);
    EXPECT_DOUBLE_EQ(view.contentSize().width(), view.columnWidths()[0] + BMListPrintView::kColumnGap);

    FakeListTable empty;
    empty.columns = table.columns;
    view.setPaperSize(QSizeF(0, 0));
    view.setStringsFromTableView(empty);
    EXPECT_DOUBLE_EQ(view.contentSize().height(), 0);
    // The paper size is the smallest the view becomes.
    view.setPaperSize(QSizeF(500, 700));
    view.setStringsFromTableView(empty);
    EXPECT_EQ(view.size(), QSize(500, 700));

    // The header names the signed-in user and still prints on the one page.
    EXPECT_EQ(view.pageHeader(), QStringLiteral("Tolvanex Enterprise Alert! Print Report for alice"));
    EXPECT_EQ(printToPDF(documentForListPrintView(view), "empty.pdf"), 1);
    EXPECT_EQ(pdfPageCount(dir.filePath("empty.pdf")), 1);
}

TEST_F(PrintViewTest, ALongListSpreadsOverPagesWithItsHeaderOnEach)
{
    FakeListTable table;
    table.rows = 300;
    table.columns = {{"0", 20}, {"1", 80}, {"3", 120}};
    for (int row = 0; row < table.rows; ++row) {
        table.cells["1"] << QStringLiteral("Type %1").arg(row);
        table.cells["3"] << QStringLiteral("Record %1").arg(row);
    }
    BMListPrintView view(nullptr, &database.caches());
    view.setStringsFromTableView(table);
    const BMPrintDocument document = documentForListPrintView(view);
    const int pages = printToPDF(document, "list.pdf");
    EXPECT_GT(pages, 3);
    EXPECT_EQ(pdfPageCount(dir.filePath("list.pdf")), pages);

    // Every row is drawn once, across the pages.
    tvxtest::TextRecorder recorder;
    QPainter painter(&recorder);
    view.drawContents(painter);
    painter.end();
    EXPECT_TRUE(recorder.texts().contains("Record 0"));
    EXPECT_TRUE(recorder.texts().contains("Record 299"));
    EXPECT_EQ(recorder.texts().count("Record 150"), 1);
}

TEST_F(PrintViewTest, ARecordPrintsWithItsFooterAndHonoursTheMask)
{
    auto group = std::make_shared<BMGroup>();
    group->setMGroupName(QStringLiteral("Finance"));
    auto type = TVXType::createType();
    type->setMField4(QStringLiteral("Password"));
    type->setMTypeMask(0b1000);
    auto record = TVXRecord::createRecord();
    record->setMGroup(group);
    record->setMType(type);
    record->setMValue1(QStringLiteral("Bank"));
    record->setMValue4(QStringLiteral("s3cret"));

    BMDetailsView view(nullptr, &database);
    view.setShouldMask(true);
    view.showRecord(record);
    view.resize(600, 100);
    view.setFrames();
    EXPECT_GT(view.height(), BMDetailsView::kHeaderHeight + 2 * BMDetailsView::kInset);

    tvxtest::TextRecorder recorder;
    QPainter painter(&recorder);
    view.drawForPrint(painter);
    painter.end();
    EXPECT_TRUE(recorder.joined().contains("Bank"));
    EXPECT_TRUE(recorder.joined().contains("******"));
    EXPECT_FALSE(recorder.joined().contains("s3cret"));

    const BMPrintDocument document = documentForDetailsView(view, recordPrintFooter("alice"));
    EXPECT_EQ(document.footer, QStringLiteral("Tolvanex Enterprise Print Report for: alice"));
    EXPECT_EQ(printToPDF(document, "record.pdf"), 1);
    EXPECT_EQ(pdfPageCount(dir.filePath("record.pdf")), 1);
}

TEST_F(PrintViewTest, APrintFileIsItsOwnersAloneOrNotWritten)
{
    BMPrintDocument document;
    document.size = QSizeF(300, 200);
    document.draw = [](QPainter& painter) { painter.drawText(QPointF(10, 20), QStringLiteral("s3cret")); };
    const auto printTo = [&](const QString& path) {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        return printOnPrinter(printer, document);
    };
    const mode_t previous = ::umask(022); // as a desktop session's usual mask
    // A new file, and one that was readable by everyone before.
    const QString fresh = dir.filePath("fresh.pdf");
    const QString existing = dir.filePath("existing.pdf");
    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    ::chmod(QFile::encodeName(existing).constData(), 0644);
    for (const QString& path : {fresh, existing}) {
        EXPECT_EQ(printTo(path), 1);
        EXPECT_EQ(pdfPageCount(path), 1);
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u) << path.toStdString();
    }
    // Through a symbolic link: nothing is printed, and its target is untouched.
    const QString target = dir.filePath("target");
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(target, dir.filePath("link.pdf")));
    EXPECT_EQ(printTo(dir.filePath("link.pdf")), 0);
    EXPECT_EQ(QFileInfo(target).size(), 0);
    // Where no file can be made: nothing is printed.
    EXPECT_EQ(printTo(dir.filePath("missing/folder/out.pdf")), 0);
    ::umask(previous);
}

} // namespace
