// The detail pane and its rows: what a user sees of the selected record,
// what the buttons copy, where links lead and what a double click does.
#include <gtest/gtest.h>

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Workspace.h"
#include "store/TVXDataBase.h"
#include "support/QtPrinters.h"
#include "support/UiTestSupport.h"
#include "ui/TextRecorder.h"
#include "views/BMDetailsView.h"
#include "views/BandedPaint.h"
#include "views/BMTextTable.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QTest>

namespace {

// Collects the addresses the workspace was asked to open.
class OpenedURLs {
public:
    OpenedURLs()
    {
        mPrevious = platform::Workspace::setURLOpener([this](const QUrl& url) {
            urls << url.toString();
            return true;
        });
    }
    ~OpenedURLs() { platform::Workspace::setURLOpener(mPrevious); }
    QStringList urls;

private:
    platform::Workspace::URLOpener mPrevious;
};

class DetailPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        group = std::make_shared<BMGroup>();
        group->setMGroupUID(QStringLiteral("00000000000000A1"));
        group->setMGroupName(QStringLiteral("Finance"));
        type = TVXType::createType();
        type->setMTypeName(QStringLiteral("Web log-in"));
        type->setMTypeIconID(12);
        const QStringList names{"Site", "  URL \n", "User", "Password", "PIN", "Field 6", "Field 7",
                                "Field 8", "Field 9", "Changed"};
        for (int i = 0; i < names.size(); ++i)
            type->setFieldAtIndex(i, names[i]);
        type->setMTypeMask(0b1000); // field 4 (password) is masked
        record = TVXRecord::createRecord();
        record->setMGroup(group);
        record->setMType(type);
        record->setMValue1(QStringLiteral("Bank"));
        record->setMValue2(QStringLiteral("www.bank.example"));
        record->setMValue3(QStringLiteral("alice"));
        record->setMValue4(QStringLiteral("s3cret"));
        record->setMValue10(QStringLiteral("2009-05-12 10:31:02 +0000"));
        view = std::make_unique<BMDetailsView>(nullptr, &database);
        view->resize(340, 520);
    }

    void show(const std::shared_ptr<TVXRecord>& r)
    {
        view->setHeaderTitle(r->mValue1());
        view->setDetailInfo(r);
    }

    // Row values that are shown (rows 0 to 10), in order.
    QStringList shownRows() const
    {
        QStringList rows;
        for (int row = 0; row <= BMTextTable::kAttachmentRow; ++row) {
            if (!table()->value(row).isEmpty())
                rows << table()->key(row) + QLatin1Char(' ') + table()->value(row);
        }
        return rows;
    }

    BMTextTable* table() const { return view->infoView(); }

    TVXDataBase database;
    std::shared_ptr<BMGroup> group;
    std::shared_ptr<TVXType> type;
    std::shared_ptr<TVXRecord> record;
    std::unique_ptr<BMDetailsView> view;
};

TEST_F(DetailPaneTest, RowsFollowTheFieldsSkippingEmptyOnesAndMaskingWhileMaskingIsOn)
{
    view->setShouldMask(true);
    show(record);
    EXPECT_EQ(shownRows(), QStringList({"Group: Finance", "URL: www.bank.example", "User: alice",
                                        "Password: ******", "Date Mod: May 12,2009"}));
    // A masked value is never what a row button copies.
    EXPECT_EQ(table()->pasteboardString(3), BMTextTable::kNull);
    EXPECT_FALSE(table()->rowButton(3)->isEnabled());
    EXPECT_EQ(table()->pasteboardString(2), QStringLiteral("alice"));

    view->setShouldMask(false);
    EXPECT_EQ(table()->value(3), QStringLiteral("s3cret"));
    EXPECT_EQ(table()->pasteboardString(3), QStringLiteral("s3cret"));
    EXPECT_TRUE(table()->rowButton(3)->isEnabled());
}

TEST_F(DetailPaneTest, OnlyTitleAndDateGiveTheGroupAndDateRows)
{
    auto bare = TVXRecord::createRecord();
    bare->setMGroup(group);
    bare->setMType(type);
    bare->setMValue1(QStringLiteral("Only a title"));
    bare->setMValue10(QStringLiteral("2011-01-02 03:04:05 +0000"));
    show(bare);
    EXPECT_EQ(shownRows(), QStringList({"Group: Finance", "Date Mod: January 02,2011"}));
    EXPECT_EQ(table()->value(BMTextTable::kNoteRow), QString());
}

TEST_F(DetailPaneTest, ANoteAloneStillGetsItsHeading)
{
    auto noteOnly = std::make_shared<TVXRecord>();
    noteOnly->setMNotes(QStringLiteral("just a note"));
    show(noteOnly);
    tvxtest::TextRecorder page;
    QPainter painter(&page);
    table()->drawForRecordPrint(painter);
    painter.end();
    EXPECT_TRUE(page.texts().contains(QStringLiteral("Notes:")));
    EXPECT_TRUE(page.joined().contains(QStringLiteral("just a note")));
    // The heading and its gap are counted: more than the note's own height.
    EXPECT_GT(table()->totalHeight(), table()->rowHeight(BMTextTable::kNoteRow));
}

TEST_F(DetailPaneTest, TitleIsMaskedLinkedOrPlain)
{
    view->setShouldMask(true);
    type->setMTypeMask(0b1);
    show(record);
    EXPECT_EQ(view->displayedTitle(), QStringLiteral("******"));
    EXPECT_FALSE(view->titleIsLink());

    view->setShouldMask(false);
    EXPECT_EQ(view->displayedTitle(), QStringLiteral("Bank"));

    record->setMValue1(QStringLiteral("www.bank.example"));
    show(record);
    EXPECT_TRUE(view->titleIsLink());
    record->setMValue1(QStringLiteral("ftp://files.example"));
    show(record);
    EXPECT_FALSE(view->titleIsLink());

    // A custom type governs over the record's type.
    auto custom = TVXType::createCopyforType(*type);
    custom->setMTypeMask(0);
    record->setMRecordCustomType(custom);
    record->setMIsCustomized(true);
    view->setShouldMask(true);
    show(record);
    EXPECT_EQ(view->displayedTitle(), QStringLiteral("ftp://files.example"));
}

TEST(TextTableLinks, WhatCountsAsALink)
{
    EXPECT_TRUE(BMTextTable::isHyperLink(QStringLiteral("https://secure.example/login")));
    EXPECT_TRUE(BMTextTable::isHyperLink(QStringLiteral("http://plain.example")));
    EXPECT_TRUE(BMTextTable::isHyperLink(QStringLiteral("www.example.com")));
    EXPECT_FALSE(BMTextTable::isHyperLink(QStringLiteral(" www.example.com")));
    EXPECT_FALSE(BMTextTable::isHyperLink(QStringLiteral("ftp://files.example")));
    EXPECT_FALSE(BMTextTable::isHyperLink(QStringLiteral("HTTP://upper.example")));
    EXPECT_EQ(BMTextTable::linkAddress(QStringLiteral("www.example.com")), QStringLiteral("http://www.example.com"));
    EXPECT_EQ(BMTextTable::linkAddress(QStringLiteral("https://a.example")), QStringLiteral("https://a.example"));
}

TEST_F(DetailPaneTest, ClickingLinksOpensTheirAddresses)
{
    OpenedURLs opened;
    record->setMValue1(QStringLiteral("www.bank.example"));
    record->setMValue3(QStringLiteral("https://login.example/x"));
    view->show();
    show(record);
    ASSERT_TRUE(view->titleRect().isValid());
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, view->titleRect().center().toPoint());
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QStringLiteral("http://www.bank.example"));

    // Two links among the rows: the URL field and the user field.
    const auto& links = table()->trackingRects();
    ASSERT_EQ(links.size(), 2);
    QTest::mouseClick(table(), Qt::LeftButton, {}, links[1].rect.center().toPoint());
    ASSERT_EQ(opened.urls.size(), 2);
    EXPECT_EQ(opened.urls[1], QStringLiteral("https://login.example/x"));

    // A click beside the links opens nothing.
    QTest::mouseClick(table(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(opened.urls.size(), 2);
    view->hide();
}

TEST_F(DetailPaneTest, OnlyTheAttachmentButtonAsksForTheAttachmentMenu)
{
    record->setMHasAttachment(true);
    record->setMAttachmentName(QStringLiteral("a.txt"));
    view->show();
    show(record);
    EXPECT_EQ(table()->key(BMTextTable::kAttachmentRow), QStringLiteral("Attachment:"));
    EXPECT_EQ(table()->value(BMTextTable::kAttachmentRow), QStringLiteral("a.txt"));
    QList<QWidget*> posted;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(BMTextTable::kAddExtractAttachmentMenuNotification,
                                          [&](const platform::Notification& n) {
                                              posted << std::any_cast<QWidget*>(n.object);
                                          });
    QTest::mouseClick(table()->rowButton(2), Qt::LeftButton);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(platform::Pasteboard::generalPasteboard().string(), QStringLiteral("alice"));
    QTest::mouseClick(table()->rowButton(BMTextTable::kAttachmentRow), Qt::LeftButton);
    center.removeObserver(token);
    ASSERT_EQ(posted.size(), 1);
    EXPECT_EQ(posted[0], table()->rowButton(BMTextTable::kAttachmentRow));
    // The attachment button copies nothing: the clipboard keeps what it had.
    EXPECT_EQ(platform::Pasteboard::generalPasteboard().string(), QStringLiteral("alice"));
    view->hide();
}

TEST_F(DetailPaneTest, RowsGrowForLongValuesAndStartAfreshOnTheNextRecord)
{
    view->show();
    record->setMValue5(QString(400, QLatin1Char('x')));
    show(record);
    const int longRow = table()->rowHeight(4);
    EXPECT_GT(longRow, 3 * BMTextTable::kMinimumRowHeight);
    record->setMValue5(QStringLiteral("1234"));
    show(record);
    EXPECT_EQ(table()->rowHeight(4), BMTextTable::kMinimumRowHeight);
    // A record taller than the pane scrolls.
    record->setMNotes(QString(4000, QLatin1Char('n')));
    show(record);
    EXPECT_TRUE(table()->scrollerVisible());
    EXPECT_GT(table()->height(), view->infoViewScroller()->viewport()->height());
    view->hide();
}

// A delegate that plays the main window.
class FakeDelegate : public BMDetailsViewDelegate {
public:
    QMenu* extendMenu(QContextMenuEvent*, BMDetailsView*) override
    {
        ++menusAsked;
        return &menu;
    }
    void deleteSelected() override { ++deletes; }
    void showStoredChanges() override { ++tableUpdates; }
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() override { return selected; }
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup*) override
    {
        askedMask = mask;
        return allowed;
    }
    std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& r, int& operation) override
    {
        ++sheetsRun;
        sheetOperationIn = operation;
        operation = sheetAnswer;
        return sheetAnswer == 3 ? nullptr : r;
    }

    QMenu menu;
    std::shared_ptr<TVXRecord> selected;
    bool allowed = true;
    int sheetAnswer = 3;
    int menusAsked = 0, deletes = 0, tableUpdates = 0, sheetsRun = 0, sheetOperationIn = 0;
    uint16_t askedMask = 0;
};

TEST_F(DetailPaneTest, DoubleClickEditsTheSelectedRecordOnlyWhenAllowed)
{
    FakeDelegate delegate;
    view->setDelegate(&delegate);
    view->show();
    show(record);

    // Nothing selected: no sheet.
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(40, 200));
    EXPECT_EQ(delegate.sheetsRun, 0);
    EXPECT_EQ(delegate.deletes, 0);

    // Selected but not allowed to edit.
    delegate.selected = record;
    delegate.allowed = false;
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(40, 200));
    EXPECT_EQ(delegate.askedMask, kPermissionEdit);
    EXPECT_EQ(delegate.sheetsRun, 0);

    // Allowed; the sheet answers "delete": the main window deletes.
    delegate.allowed = true;
    QTest::mouseDClick(view.get(), Qt::LeftButton, {}, QPoint(40, 200));
    EXPECT_EQ(delegate.sheetsRun, 1);
    EXPECT_EQ(delegate.sheetOperationIn, 1);
    EXPECT_EQ(delegate.deletes, 1);
    EXPECT_GE(delegate.tableUpdates, 1);
    view->hide();
}

TEST_F(DetailPaneTest, ContextMenuComesFromTheDelegateOnlyWithARecord)
{
    FakeDelegate delegate;
    view->setDelegate(&delegate);
    show(record);
    QContextMenuEvent withRecord(QContextMenuEvent::Mouse, QPoint(30, 30), QPoint(30, 30));
    QApplication::sendEvent(view.get(), &withRecord);
    EXPECT_EQ(delegate.menusAsked, 1);
    delegate.menu.hide();

    // A right click on the rows asks the pane too.
    QContextMenuEvent onRows(QContextMenuEvent::Mouse, QPoint(5, 5), table()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(table(), &onRows);
    EXPECT_EQ(delegate.menusAsked, 2);
    delegate.menu.hide();

    view->resetDetailInfo();
    QContextMenuEvent withoutRecord(QContextMenuEvent::Mouse, QPoint(30, 30), QPoint(30, 30));
    QApplication::sendEvent(view.get(), &withoutRecord);
    EXPECT_EQ(delegate.menusAsked, 2);
}

} // namespace

namespace {

TEST_F(DetailPaneTest, AnEmptyPaneIsDrawnWithoutMakingARecord)
{
    // A record made anywhere tells every search entry to look at its record
    // again: an empty pane drawn at each refresh made a million-record search
    // check a million records every time.
    view->show();
    show(record);
    TVXRecord::changeEpoch();
    const uint64_t before = TVXRecord::changeEpoch();
    view->resetDetailInfo();
    view->resize(360, 500);
    view->setShouldMask(false);
    view->repaint();
    QApplication::processEvents();
    EXPECT_EQ(TVXRecord::changeEpoch(), before);
    EXPECT_TRUE(shownRows().isEmpty());
}

} // namespace

// The pane's box painted in bands is the box painted at once, to the pixel:
// no seam, no row blended twice, nothing outside the caller's own clip.
TEST(BandedPaint, BandsGiveThePixelsOfOnePaint)
{
    const auto paintBox = [](bool banded, int rows, const QRect& clip) {
        QImage image(300, 517, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(236, 240, 245));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!clip.isNull())
            painter.setClipRect(clip);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(10.5, 37.5, 279.25, 470.75), 10, 10);
        painter.setPen(QPen(QColor::fromRgbF(0.3, 0.3, 0.3, 0.95), 1));
        painter.setBrush(QColor::fromRgbF(0.3, 0.3, 0.3, 0.15));
        if (banded)
            bmpaint::paintInBands(painter, image.rect(), [&] { painter.drawPath(rounded); }, rows);
        else
            painter.drawPath(rounded);
        painter.end();
        return image;
    };
    const QImage once = paintBox(false, 0, QRect());
    EXPECT_EQ(paintBox(true, bmpaint::kBandRows, QRect()), once);
    EXPECT_EQ(paintBox(true, 7, QRect()), once) << "a last band shorter than the others";
    EXPECT_EQ(paintBox(true, 1000, QRect()), once) << "a single band";
    const QRect clip(40, 100, 120, 250);
    EXPECT_EQ(paintBox(true, bmpaint::kBandRows, clip), paintBox(false, 0, clip));
    EXPECT_NE(paintBox(false, 0, clip), once);
}
