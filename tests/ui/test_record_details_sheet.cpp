// The record sheet as a user meets it: what it shows for a record, the
// refusals that keep it open, the date picker, the attachment button, and
// what the caller receives. No server: the caches are filled by hand.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMPasswordWindowController.h"
#include "views/BMImageMatrix.h"

#include <QApplication>
#include <QListWidget>

using namespace recorddetails;

namespace {

const QString kGroupA = QStringLiteral("00000000000000A1");
const QString kGroupB = QStringLiteral("00000000000000A2");
const QString kServerType = QStringLiteral("00000000000000C2");

int endOf(const BMDetailsWindowController& sheet) { return sheet.requestedEnd().value_or(-1001); }

class RecordSheet : public ::testing::Test {
protected:
    void SetUp() override
    {
        addGroup(kGroupA, "Finance");
        addGroup(kGroupB, "Servers");
        web = addType(kWebLoginUID, "Web log-in", 12, 0b100, {"URL", "User", "Password", "Expiry Date"});
        server = addType(kServerType, "Server", 20, 0, {"Host", "DATE", "Field 3"});
        db.caches().mCurrentUser()->setMRecordPermissionsBit(7);
        db.caches().mCurrentUser()->setMDataPermissionsBit(1);
    }

    std::shared_ptr<BMGroup> addGroup(const QString& uid, const QString& name)
    {
        auto group = BMGroup::newGroup();
        group->setMGroupUID(uid);
        group->setMGroupName(name);
        db.caches().mGroups().insert(uid, group);
        return group;
    }

    std::shared_ptr<TVXType> addType(const QString& uid, const QString& name, int icon, int mask,
                                     const QStringList& fields)
    {
        auto type = TVXType::createType();
        type->setMTypeUID(uid);
        type->setMTypeName(name);
        type->setMTypeIconID(icon);
        type->setMTypeMask(mask);
        for (int i = 0; i < fields.size(); ++i)
            type->setFieldAtIndex(i, fields[i]);
        db.caches().mTypes().insert(uid, type);
        return type;
    }

    std::shared_ptr<TVXRecord> record(const std::shared_ptr<TVXType>& type, const QStringList& values)
    {
        auto r = TVXRecord::createRecord();
        r->setMGroup(db.caches().mGroups().value(kGroupB));
        r->setMType(type);
        for (int i = 0; i < values.size(); ++i)
            r->setValueAtIndex(i, values[i]);
        return r;
    }

    QString fileOfSize(const QString& name, qint64 size)
    {
        QFile file(files.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
        return file.fileName();
    }

    TVXDataBase db;
    std::shared_ptr<TVXType> web;
    std::shared_ptr<TVXType> server;
    QTemporaryDir files;
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
};

TEST_F(RecordSheet, OpensWithTheRecordsGroupTypeLabelsAndValues)
{
    BMDetailsWindowController sheet(db);
    auto r = record(web, {"https://bank.example", "alice", "s3cret", "5/4/09"});
    r->setMNotes("branch 12");
    r->setMValue10("2009-05-04 10:31:02 +0200");
    script.then([&](QWidget*) {
        EXPECT_EQ(sheet.groupPopup()->currentText(), "Servers");
        EXPECT_EQ(sheet.typePopup()->currentText(), "Web log-in");
        EXPECT_EQ(sheet.fieldLabel(0)->text(), "URL");
        EXPECT_EQ(sheet.fieldLabel(4)->text(), "Field 5");
        EXPECT_EQ(sheet.maskMark(2)->text(), "*");
        EXPECT_EQ(sheet.maskMark(0)->text(), "");
        EXPECT_FALSE(sheet.dateButton(0)->isVisibleTo(sheet.window()));
        EXPECT_TRUE(sheet.dateButton(3)->isVisibleTo(sheet.window()));
        EXPECT_EQ(sheet.valueField(2)->text(), "s3cret");
        EXPECT_EQ(sheet.valueField(9)->text(), "May 04,2009");
        EXPECT_EQ(sheet.notesView()->toPlainText(), "branch 12");
        EXPECT_EQ(sheet.iconNumberShown(), 12);
        EXPECT_TRUE(sheet.autoFillButton()->isVisibleTo(sheet.window()));
        EXPECT_TRUE(sheet.deleteButton()->isEnabled());
        EXPECT_TRUE(sheet.isVisible());

        // Another type: its labels and icon, the values typed stay; no AutoFill.
        sheet.typePopup()->setCurrentIndex(sheet.typePopup()->findText("Server"));
        sheet.changeTypeSelection();
        EXPECT_EQ(sheet.fieldLabel(0)->text(), "Host");
        EXPECT_TRUE(sheet.dateButton(1)->isVisibleTo(sheet.window()));
        EXPECT_FALSE(sheet.dateButton(2)->isVisibleTo(sheet.window()));
        EXPECT_EQ(sheet.maskMark(2)->text(), "");
        EXPECT_EQ(sheet.iconNumberShown(), 20);
        EXPECT_FALSE(sheet.autoFillButton()->isVisibleTo(sheet.window()));
        EXPECT_EQ(sheet.valueField(0)->text(), "https://bank.example");
        return -1001;
    });
    int operation = kOperationEdit;
    EXPECT_EQ(sheet.orderFrontDetailsWindowWithInfo(r, operation), nullptr);
    EXPECT_EQ(operation, kOperationEdit);
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(RecordSheet, RefusalsKeepTheSheetOpenWithItsContents)
{
    BMDetailsWindowController sheet(db);
    script.then([&](QWidget*) {
        // The note is cut as the message says, on a character's start, and shown before it is stored.
        sheet.notesView()->setPlainText(QString(3999, 'n') + QStringLiteral("\u00e9\u00e9"));
        sheet.okButton()->click();
        EXPECT_FALSE(sheet.requestedEnd().has_value());
        EXPECT_EQ(alerts.lastMessage(), "The Note Field was truncated to 4000 characters.");
        EXPECT_EQ(alerts.lastTitle(), "Tolvanex Enterprise Alert!");
        EXPECT_EQ(sheet.notesView()->toPlainText(), QString(3999, 'n'));

        sheet.notesView()->setPlainText(QString(4000, 'n'));
        db.caches().mCurrentUser()->setMRecordPermissionsBit(kPermissionEdit); // no add
        sheet.okButton()->click();
        EXPECT_FALSE(sheet.requestedEnd().has_value());
        EXPECT_EQ(alerts.lastMessage(), "You don't have sufficient privileges to add record for selected group.");

        // A group whose permissions prevail decides, whatever the user's own bits.
        db.caches().mGroups().value(kGroupB)->setMPreferencePermissions(true);
        db.caches().mGroups().value(kGroupB)->setMRecordLevelPermissions(kPermissionAdd);
        QTest::keyClick(sheet.valueField(1), Qt::Key_Return); // Return is OK
        return endOf(sheet);
    });
    int operation = kOperationAdd;
    auto result = sheet.orderFrontDetailsWindowWithInfo(record(server, {"host"}), operation);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->mNotes().size(), 4000);
    EXPECT_EQ(alerts.alerts().size(), 2u);
}

TEST_F(RecordSheet, WithoutTypesOKAsksForOne)
{
    db.caches().mTypes().clear();
    BMDetailsWindowController sheet(db);
    script.then([&](QWidget*) {
        EXPECT_FALSE(sheet.typePopup()->isEnabled());
        sheet.okButton()->click();
        EXPECT_EQ(alerts.lastMessage(), "Record must belong to some type. Please add a type.");
        sheet.duplicateButton()->click();
        EXPECT_EQ(alerts.lastMessage(), "You need to set the group and type first");
        return endOf(sheet);
    });
    int operation = kOperationAdd;
    auto r = TVXRecord::createRecord();
    EXPECT_EQ(sheet.orderFrontDetailsWindowWithInfo(r, operation), nullptr);
    EXPECT_EQ(operation, kOperationAdd);
}

TEST_F(RecordSheet, DeleteAndClosingTheWindow)
{
    BMDetailsWindowController sheet(db);
    script.then([&](QWidget*) {
        sheet.deleteButton()->click();
        return endOf(sheet);
    });
    int operation = kOperationEdit;
    EXPECT_EQ(sheet.orderFrontDetailsWindowWithInfo(record(server, {"a"}), operation), nullptr);
    EXPECT_EQ(operation, kOperationDelete);

    // Closing the window stores nothing: no check has passed.
    db.caches().mCurrentUser()->setMRecordPermissionsBit(0);
    script.then([&](QWidget* window) {
        window->close();
        return -1000;
    });
    operation = kOperationAdd;
    EXPECT_EQ(sheet.orderFrontDetailsWindowWithInfo(record(server, {"a"}), operation), nullptr);
}

TEST_F(RecordSheet, ThePickerOpensOnTheFieldsDateAndWritesTheShortForm)
{
    BMDetailsWindowController sheet(db);
    sheet.window()->resize(700, 760);
    auto r = record(web, {"u", "n", "p", "5/4/09"});
    script.then([&](QWidget*) {
        sheet.dateButton(3)->click();
        EXPECT_TRUE(sheet.datePicker()->isVisibleTo(sheet.window()));
        EXPECT_EQ(sheet.datePicker()->selectedDate(), QDate(2009, 5, 4));
        sheet.disposeDatePicker(QDate(2011, 12, 25));
        EXPECT_EQ(sheet.valueField(3)->text(), "12/25/11");
        EXPECT_FALSE(sheet.datePicker()->isVisibleTo(sheet.window()));

        // A click outside puts it away and writes nothing.
        sheet.valueField(3)->setText("garbage");
        sheet.dateButton(3)->click();
        EXPECT_EQ(sheet.datePicker()->selectedDate(), QDate::currentDate());
        const QPoint inside = sheet.datePicker()->geometry().center();
        sheet.removeDatePicker(inside);
        EXPECT_TRUE(sheet.datePicker()->isVisibleTo(sheet.window()));
        QTest::mouseClick(sheet.valueField(0), Qt::LeftButton);
        EXPECT_FALSE(sheet.datePicker()->isVisibleTo(sheet.window()));
        EXPECT_EQ(sheet.valueField(3)->text(), "garbage");
        return -1001;
    });
    sheet.window()->show(); // clicks reach shown widgets only
    int operation = kOperationEdit;
    sheet.orderFrontDetailsWindowWithInfo(r, operation);
}

TEST_F(RecordSheet, AttachingChecksTheSizeAndRemovingAsksFirst)
{
    BMDetailsWindowController sheet(db);
    QString offered;
    sheet.setFileChooser({[&](QWidget*) { return offered; }, [](QWidget*) { return QStringList(); }});
    const QString tooLarge = fileOfSize("big.bin", 1048576);
    const QString fits = fileOfSize("notes.txt", 1048575);
    script.then([&](QWidget*) {
        EXPECT_FALSE(sheet.hasAttachment());
        offered = tooLarge;
        sheet.attachmentButton()->click();
        EXPECT_EQ(alerts.lastMessage(), "The attachment size exceeds 1MB limit.");
        EXPECT_FALSE(sheet.hasAttachment());
        EXPECT_TRUE(sheet.attachmentNameField()->text().isEmpty());

        offered = fits;
        sheet.attachmentButton()->click();
        EXPECT_TRUE(sheet.hasAttachment());
        EXPECT_EQ(sheet.attachmentNameField()->text(), "notes.txt");
        EXPECT_EQ(sheet.attachmentButton()->toolTip(), "Delete Attachment");
        sheet.okButton()->click();
        return endOf(sheet);
    });
    int operation = kOperationAdd;
    auto added = sheet.orderFrontDetailsWindowWithInfo(record(server, {"a"}), operation);
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(added->mHasAttachment());
    EXPECT_EQ(added->mAttachmentState(), kAttachmentStateStoreNewFile);
    EXPECT_EQ(added->mAttachmentPath(), fits);

    // Removing: "No" (the default) keeps it, "Yes" takes it away.
    auto attached = record(server, {"b"});
    attached->setMHasAttachment(true);
    attached->setMAttachmentName("key.pem");
    script.then([&](QWidget*) {
        EXPECT_EQ(sheet.attachmentNameField()->text(), "key.pem");
        sheet.attachmentButton()->click();
        EXPECT_EQ(alerts.lastMessage(), "Are you sure you want to delete attachment?");
        EXPECT_EQ(alerts.alerts().back().defaultButton, "No");
        EXPECT_EQ(alerts.alerts().back().alternateButton, "Yes");
        EXPECT_TRUE(sheet.hasAttachment());
        alerts.answerNext(platform::kAlertAlternateReturn);
        sheet.attachmentButton()->click();
        EXPECT_FALSE(sheet.hasAttachment());
        sheet.okButton()->click();
        return endOf(sheet);
    });
    operation = kOperationEdit;
    auto edited = sheet.orderFrontDetailsWindowWithInfo(attached, operation);
    ASSERT_NE(edited, nullptr);
    EXPECT_FALSE(edited->mHasAttachment());
    EXPECT_EQ(edited->mAttachmentState(), kAttachmentStateRemoved);
}

TEST_F(RecordSheet, TheIconPanelChangesTheIconAndCustomisesTheRecord)
{
    BMDetailsWindowController sheet(db);
    script.then([&](QWidget*) {
        sheet.iconButton()->click();       // the panel: Cancel keeps the icon
        EXPECT_EQ(sheet.iconNumberShown(), 20);
        sheet.iconButton()->click();       // the panel: OK on icon 33
        EXPECT_EQ(sheet.iconNumberShown(), 33);
        sheet.okButton()->click();
        return endOf(sheet);
    });
    script.then([&](QWidget* panel) {
        EXPECT_EQ(panel->objectName(), "IconSelectionPanel");
        EXPECT_EQ(sheet.imageMatrix()->selectedIconNumber(), 20); // the current icon is selected
        sheet.imageMatrix()->setSelectedImage(33);
        return -1001;
    });
    script.then([&](QWidget*) {
        sheet.imageMatrix()->setSelectedImage(33);
        return -1000;
    });
    int operation = kOperationEdit;
    auto result = sheet.orderFrontDetailsWindowWithInfo(record(server, {"a"}), operation);
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->mIsCustomized());
    ASSERT_NE(result->mRecordCustomType(), nullptr);
    EXPECT_EQ(result->mRecordCustomType()->mTypeIconID(), 33);
    EXPECT_EQ(result->mRecordCustomType()->mField1(), "Host");
    EXPECT_EQ(server->mTypeIconID(), 20);
    EXPECT_FALSE(sheet.isCustomizing()); // left off once the sheet closed
}

TEST_F(RecordSheet, TheCustomiseButtonRunsTheFieldSetSheetOnACopy)
{
    BMDetailsWindowController sheet(db);
    EXPECT_FALSE(sheet.customiseButton()->isVisibleTo(sheet.window()));
    std::shared_ptr<TVXType> handed;
    int handedOperation = -1;
    sheet.setCustomFieldsRunner([&](QWidget*, std::shared_ptr<TVXType> fields, std::shared_ptr<TVXType> reset, int& op) {
        handed = fields;
        handedOperation = op;
        EXPECT_EQ(reset, server);
        EXPECT_TRUE(sheet.isPanelDisplayed());
        auto result = TVXType::createCopyforType(*fields);
        result->setMField1("Database host");
        result->setMTypeMask(1);
        return result;
    });
    EXPECT_TRUE(sheet.customiseButton()->isVisibleTo(sheet.window()));
    script.then([&](QWidget*) {
        sheet.customiseButton()->click();
        EXPECT_EQ(sheet.fieldLabel(0)->text(), "Database host");
        EXPECT_EQ(sheet.maskMark(0)->text(), "*");
        sheet.okButton()->click();
        return endOf(sheet);
    });
    int operation = kOperationEdit;
    auto result = sheet.orderFrontDetailsWindowWithInfo(record(server, {"a"}), operation);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(handedOperation, kOperationCustomType);
    ASSERT_NE(handed, nullptr);
    EXPECT_NE(handed, server);
    EXPECT_EQ(server->mField1(), "Host");
    ASSERT_TRUE(result->mIsCustomized());
    EXPECT_EQ(result->mRecordCustomType()->mField1(), "Database host");
}

TEST_F(RecordSheet, EscapeOverTypedChangesAsksAndNoKeepsTheInput)
{
    BMDetailsWindowController sheet(db);
    const auto previous = platform::setModalResponder({});
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { platform::stopModalWithCode(-1); });
    const auto escape = [&sheet] {
        QTest::keyClick(sheet.valueField(1), Qt::Key_Escape);
        QApplication::processEvents();
    };

    // As it opened: Escape leaves without a word.
    QTimer::singleShot(0, [&] {
        QApplication::setActiveWindow(sheet.window());
        escape();
    });
    guard.start(5000);
    int operation = kOperationEdit;
    EXPECT_FALSE(sheet.orderFrontDetailsWindowWithInfo(record(web, {"https://bank.example", "alice"}), operation));
    EXPECT_TRUE(guard.isActive()) << "Escape did not end the run";
    EXPECT_TRUE(alerts.alerts().empty());

    // A long typed edit: No keeps it, Yes throws it away.
    const QString edit(5000, QLatin1Char('x'));
    QString kept;
    QTimer::singleShot(0, [&] {
        QApplication::setActiveWindow(sheet.window());
        sheet.valueField(1)->setText(edit);
        escape(); // answered No
        kept = sheet.valueField(1)->text();
        alerts.answerNext(platform::kAlertAlternateReturn);
        escape();
    });
    guard.start(5000);
    operation = kOperationEdit;
    EXPECT_FALSE(sheet.orderFrontDetailsWindowWithInfo(record(web, {"https://bank.example", "alice"}), operation));
    EXPECT_TRUE(guard.isActive()) << "Escape did not end the run";
    EXPECT_EQ(kept, edit);
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.alerts().front().message, "You have made changes. Do you want to discard them?");
    EXPECT_EQ(operation, kOperationEdit);

    // Another type chosen is a change too.
    QTimer::singleShot(0, [&] {
        QApplication::setActiveWindow(sheet.window());
        sheet.typePopup()->setCurrentIndex(sheet.typePopup()->findText("Server"));
        alerts.answerNext(platform::kAlertAlternateReturn);
        escape();
    });
    guard.start(5000);
    EXPECT_FALSE(sheet.orderFrontDetailsWindowWithInfo(record(web, {"https://bank.example"}), operation));
    guard.stop();
    EXPECT_EQ(alerts.alerts().size(), 3u);
    platform::setModalResponder(previous);
}

TEST_F(RecordSheet, ThePasswordButtonFillsThePasswordFieldWhateverHasTheFocusAndCancelLeavesIt)
{
    BMDetailsWindowController sheet(db);
    int generated = 0;
    BMPasswordWindowController generator(BMPasswordWindowController::Backend{
        [] { return uint8_t(7); }, [](uint8_t) {},
        [&](uint16_t, uint16_t) { return QStringLiteral("Gen%1").arg(++generated); }});
    sheet.setPasswordController(&generator);
    const auto cancelGenerator = [&](QWidget*) {
        generator.cancelButton()->click();
        return *generator.requestedEnd();
    };
    const auto chooseThird = [&](QWidget*) {
        EXPECT_TRUE(sheet.isPanelDisplayed());
        generator.passwordList()->setCurrentRow(2);
        generator.okButton()->click();
        return *generator.requestedEnd();
    };

    // A web log-in: its "Password" field, though the focus is in the first.
    script.then([&](QWidget*) {
        sheet.valueField(2)->setText("old");
        sheet.valueField(0)->setFocus();
        QApplication::processEvents();
        sheet.passwordButton()->click(); // cancelled
        EXPECT_EQ(sheet.valueField(2)->text(), "old");
        generated = 0;
        sheet.passwordButton()->click(); // third proposal chosen
        EXPECT_EQ(sheet.valueField(2)->text(), "Gen3");
        EXPECT_EQ(sheet.valueField(0)->text(), "https://bank.example");
        return -1001;
    });
    script.then(cancelGenerator);
    script.then(chooseThird);
    sheet.window()->show();
    int operation = kOperationEdit;
    sheet.orderFrontDetailsWindowWithInfo(record(web, {"https://bank.example"}), operation);

    sheet.window()->hide();
    EXPECT_FALSE(sheet.isPanelDisplayed());
}

} // namespace
