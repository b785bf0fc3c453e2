// tvx-bench-window [repetitions] [--rtt-ms N]: the main window over the
// benchmark store, driven offscreen as a user drives it; with --rtt-ms through
// a relay of its own that adds N ms to every round trip, as a distant server. For each action it prints the longest
// stretch the main thread spent without answering events (a thread asks it
// every millisecond, as a window manager pings a window) and the time the
// action took. The log-in is compared with a plain load of the same store.
#include "BenchStore.h"
#include "DelayingRelay.h"

#include "app/BMController.h"
#include "app/lock/BMLockPanel.h"
#include "app/startup/BMLoginPanel.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/Keychain.h"
#include "platform/ui/ModalRun.h"
#include "store/TVXDataBase.h"
#include "windows/BMDetailsWindowController.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMCategoryEditWindowController.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/BMGroupSettingsPanel.h"
#include "windows/BMMainWindow.h"
#include "windows/BMOptionsWindowController.h"
#include "windows/BMTypeSettingsPanel.h"

#include <cppconn/connection.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Asks the main thread every millisecond; the longest wait for an answer is
// the longest time the main thread was blocked.
class BlockMeter : public QObject {
public:
    BlockMeter()
    {
        mThread = std::thread([this] {
            while (!mStop.load()) {
                const Clock::time_point sent = Clock::now();
                QMetaObject::invokeMethod(this, [this, sent] { mLongest = std::max(mLongest, msSince(sent)); },
                                          Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~BlockMeter() override
    {
        mStop = true;
        mThread.join();
    }
    void reset() { mLongest = 0; }
    double longest() const { return mLongest; }

private:
    std::atomic<bool> mStop{false};
    std::thread mThread;
    double mLongest = 0;
};

// Lets the window handle what the action left queued (repaints, the meter's asks).
void settle(int ms = 40)
{
    const Clock::time_point start = Clock::now();
    while (msSince(start) < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::usleep(500);
    }
}

class MemoryKeychain : public platform::Keychain {
public:
    std::optional<QString> readSecret(const QString&) override { return std::nullopt; }
    bool writeSecret(const QString&, const QString&) override { return true; }
};

struct Figure {
    std::vector<double> blocks;
    std::vector<double> totals;
    std::vector<double> trips; // round trips through the relay
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class WindowBench {
public:
    WindowBench(int repetitions, DelayingRelay* relay) : mRepetitions(repetitions), mRelay(relay) {}
    int run();

private:
    // Runs the action and records the longest block from its start until
    // the window has settled again, and its own time.
    void measure(const std::string& name, const std::function<void()>& action)
    {
        settle();
        mMeter.reset();
        const uint64_t trips = roundTrips();
        const Clock::time_point start = Clock::now();
        action();
        const double total = msSince(start);
        // What went out behind the window counts for the action too; waited
        // for with the window's events served, as the user meanwhile would.
        while (!mDatabase.writeBehind().isIdle())
            settle(1);
        settle();
        record(name, mMeter.longest(), total, trips);
    }
    void record(const std::string& name, double block, double total, uint64_t tripsBefore)
    {
        mFigures[name].blocks.push_back(block);
        mFigures[name].totals.push_back(total);
        mFigures[name].trips.push_back(double(roundTrips() - tripsBefore));
        mOrder.push_back(name);
    }
    uint64_t roundTrips() const { return mRelay ? mRelay->roundTrips() : 0; }
    void clickRecords();
    // Runs the record sheet on the list's row (an edit) or on a new record; `fill` plays the user before OK.
    void runSheet(const std::string& name, int row, const std::function<void(BMDetailsWindowController&)>& fill);
    void saveRecords();
    void addRecords();
    void deleteRecords();
    double coreLoad();
    bool logIn();
    void switchGroups(const std::string& name);
    void switchView(int view);
    void typeLetter(QLineEdit* field, char letter);
    void typeInSearch(const std::string& name);
    void sortByHeaders();
    void closeRecordSheet();
    void lockAndUnlock();
    void saveOptions();
    // The group and type editor, opened from the main window's menu; `inside` plays the user in it.
    void runEditor(bool types, const std::function<void(BMCategoryEditWindowController&)>& inside);
    // Clicks the editor's button; the action runs from the sheet's OK (or the
    // click, without a sheet) until the store has answered.
    void pressInEditor(const std::string& name, BMCategoryEditWindowController& editor, const char* button);
    void startAction();
    void waitForAnswers();
    int waitForSheet();
    std::shared_ptr<TVXRecord> plainRecord() const;
    void editGroups();
    void saveTypes();
    void reload();
    void print(double coreLoadMs) const;
    void restoreViewCounts() const;

    int mRepetitions;
    DelayingRelay* mRelay;
    BlockMeter mMeter;
    TVXDataBase mDatabase;
    std::unique_ptr<BMController> mController;
    BMMainWindow* mWindow = nullptr;
    std::map<std::string, Figure> mFigures;
    std::vector<std::string> mOrder;
    QStringList mAlerts;
    std::deque<int> mAlertAnswers; // the bench's answers to the next alerts, in turn
    Clock::time_point mActionStart;
    uint64_t mActionTrips = 0;
    std::map<QString, int64_t> mViewCounts; // of the records the bench opened, before it did
    // Of every record at the log-in: a selection that follows a delete or an
    // unlock counts a view too.
    std::map<QString, int64_t> mViewCountsAtLogIn;
    // What the modal runs do while the bench runs; by window name.
    std::map<QString, std::function<int(QWidget*)>> mModal;
};

double WindowBench::coreLoad()
{
    std::vector<double> times;
    for (int i = 0; i < mRepetitions; ++i) {
        TVXDataBase db;
        if (db.startConnectionToServer(bench::loginRequest()) != kTVXDone)
            throw std::runtime_error("log-in failed");
        const Clock::time_point start = Clock::now();
        if (db.initUserDetails(bench::kBenchUser, bench::kBenchPassword) != kTVXDone || db.loadDataBase() != kTVXDone)
            throw std::runtime_error("load failed");
        times.push_back(msSince(start));
    }
    return median(times);
}

bool WindowBench::logIn()
{
    mController = std::make_unique<BMController>(&mDatabase);
    mController->startup().setTerminateHandler([] {});
    Clock::time_point clicked;
    uint64_t loginTrips = 0;
    mModal[QStringLiteral("mConnectionWindow")] = [this, &clicked, &loginTrips](QWidget* window) {
        auto* panel = static_cast<BMLoginPanel*>(window);
        panel->mIPAddressField()->setText(QStringLiteral("127.0.0.1"));
        panel->mPortNumberField()->setText(QString::number(mRelay ? mRelay->port() : bench::serverPort()));
        panel->mLoginUserName()->setText(bench::kBenchUser);
        panel->mUserPassword()->setText(bench::kBenchPassword);
        panel->mMasterPassword()->setText(bench::kBenchMaster);
        // The panel is up and painted before the user connects, as at a real start.
        panel->show();
        settle(200);
        mMeter.reset();
        loginTrips = roundTrips();
        clicked = Clock::now();
        panel->mConnectToServer()->click();
        const auto waitForAttempt = [this] {
            while (mController->startup().isLoginInFlight())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        };
        waitForAttempt();
        // A first log-in to the relay's port asks to trust the server, and the
        // answer starts the attempt again a moment later.
        if (!mAlerts.isEmpty() && mAlerts.last().startsWith(QStringLiteral("Trust this server?"))) {
            for (int i = 0; i < 1000 && !mController->startup().isLoginInFlight(); ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            waitForAttempt();
        }
        panel->hide(); // as the ended run does
        return platform::kModalRunAborted;
    };
    if (!mController->applicationDidFinishLaunching())
        return false;
    mWindow = mController->windowSetup().mainWindowView();
    // Painted: the window's first paint has gone through.
    bool painted = false;
    struct PaintWatch : QObject {
        bool* seen;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                *seen = true;
            return false;
        }
    } watch;
    watch.seen = &painted;
    mWindow->installEventFilter(&watch);
    mWindow->update();
    while (!painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double total = msSince(clicked);
    mWindow->removeEventFilter(&watch);
    settle();
    record("log-in to painted window", mMeter.longest(), total, loginTrips);
    return true;
}

void WindowBench::switchView(int view)
{
    QAction* item = BMMainWindow::menuItemWithTag(mWindow->mViewMenu, view);
    measure("view switch Ctrl+1/2/3", [item] { item->trigger(); });
}

void WindowBench::switchGroups(const std::string& name)
{
    QComboBox* popup = mWindow->mCategoriesPopup;
    for (int i = 0; i < mRepetitions; ++i) {
        const int index = (popup->currentIndex() + 7) % std::max(1, int(mDatabase.caches().groupsForEditing().size()));
        measure(name, [popup, index] {
            popup->setCurrentIndex(index);
            emit popup->activated(index);
        });
    }
}

void WindowBench::typeLetter(QLineEdit* field, char letter)
{
    QTest::keyClick(field, letter);
    // A search typed while the search entries are still being prepared is
    // shown once they are: the action lasts until then.
    while (mController->tables().isRefreshAwaitingSearchEntries())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

void WindowBench::typeInSearch(const std::string& name)
{
    QLineEdit* field = mWindow->mSearchField;
    field->setFocus();
    for (const char letter : std::string("zeb").substr(0, size_t(std::clamp(mRepetitions, 1, 3))))
        measure(name, [this, field, letter] { typeLetter(field, letter); });
    measure("search cleared", [field] { field->clear(); });
}

void WindowBench::sortByHeaders()
{
    QHeaderView* header = mWindow->mListViewTypesTable->horizontalHeader();
    const int columns[] = {1, 12, 3};
    for (int i = 0; i < mRepetitions; ++i) {
        const int column = columns[i % 3];
        for (const Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder})
            measure("sort by a header", [header, column, order] { header->setSortIndicator(column, order); });
    }
}

void WindowBench::closeRecordSheet()
{
    BMTableView* table = mWindow->mListViewTypesTable;
    for (int i = 0; i < mRepetitions; ++i) {
        // Opening a record counts a view: put back afterwards, so that the store stays as generated.
        if (const auto record = mController->tables().listModel()->recordAt(i))
            mViewCounts.emplace(record->mRecordUID(), record->mViewCounter());
        {
            // Chosen without the view counting of a click, so that the store stays as generated.
            const QSignalBlocker blocker(table->selectionModel());
            table->selectionModel()->select(mController->tables().listModel()->index(i, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        Clock::time_point closed;
        mModal[QStringLiteral("DetailsWindowController")] = [this, &closed](QWidget* sheet) {
            sheet->show();
            settle();
            mMeter.reset();
            closed = Clock::now();
            return platform::kModalRunAborted;
        };
        settle();
        mMeter.reset();
        mController->recordCommands().editItemDoubleAction(nullptr);
        const double total = msSince(closed);
        settle();
        record("close the record sheet", mMeter.longest(), total, roundTrips());
    }
}

int rowOf(const BMRecordListModel& list, const QString& uid)
{
    for (int row = 0; row < list.rowCount(); ++row)
        if (const auto record = list.recordAt(row); record && record->mRecordUID() == uid)
            return row;
    return -1;
}

void WindowBench::clickRecords()
{
    BMTableView* table = mWindow->mListViewTypesTable;
    for (int i = 0; i < mRepetitions * 2; ++i) {
        const int row = 20 + i;
        // Put back afterwards, so that the store stays as generated.
        if (const auto record = mController->tables().listModel()->recordAt(row))
            mViewCounts.emplace(record->mRecordUID(), record->mViewCounter());
        measure("record clicked", [table, row] { table->selectRow(row); });
        const QSignalBlocker blocker(table->selectionModel());
        table->clearSelection();
    }
}

void WindowBench::runSheet(const std::string& name, int row,
                           const std::function<void(BMDetailsWindowController&)>& fill)
{
    BMTableView* table = mWindow->mListViewTypesTable;
    if (row >= 0) {
        const QSignalBlocker blocker(table->selectionModel());
        table->selectionModel()->select(mController->tables().listModel()->index(row, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    Clock::time_point saved = Clock::now();
    uint64_t trips = roundTrips();
    mModal[QStringLiteral("DetailsWindowController")] = [&](QWidget* window) {
        window->show();
        settle();
        BMDetailsWindowController& sheet = mController->recordCommands().detailsWindowController();
        fill(sheet);
        mMeter.reset();
        trips = roundTrips();
        saved = Clock::now();
        sheet.okButton()->click();
        // The window's own loop serves events until the server's answer.
        while (sheet.isSaving())
            settle(1);
        return sheet.requestedEnd().value_or(platform::kModalRunAborted);
    };
    settle();
    if (row >= 0)
        mController->recordCommands().editItemDoubleAction(nullptr);
    else
        mController->recordCommands().addItemsToDetail(nullptr);
    const double total = msSince(saved);
    mDatabase.writeBehind().flush();
    settle();
    record(name, mMeter.longest(), total, trips);
}

// The enciphered columns a save rewrites.
constexpr const char* kSavedColumnNames[] = {"FIELD1", "FIELD2", "FIELD3", "FIELD4", "FIELD5", "FIELD6",
                                             "FIELD7", "FIELD8", "FIELD9", "FIELD10", "NOTE"};
constexpr int kSavedColumnCount = int(std::size(kSavedColumnNames));
constexpr const char* kSavedColumns = "FIELD1, FIELD2, FIELD3, FIELD4, FIELD5, FIELD6, FIELD7, FIELD8, FIELD9, FIELD10, NOTE";

void WindowBench::saveRecords()
{
    for (int i = 0; i < mRepetitions; ++i) {
        const auto record = mController->tables().listModel()->recordAt(40 + i);
        if (!record)
            return;
        const QString uid = record->mRecordUID();
        const QString note = record->mNotes();
        // Changed, then put back: the store stays as generated. A save also
        // stamps the record's modification date, so its stored bytes are put
        // back afterwards.
        auto root = bench::connect(QStringLiteral("root"), QString());
        std::unique_ptr<sql::PreparedStatement> read(root->prepareStatement(
            "SELECT " + std::string(kSavedColumns) + " FROM tolvanexdb.RECORDTABLE WHERE RECORDID=?"));
        read->setString(1, uid.toStdString());
        std::unique_ptr<sql::ResultSet> row(read->executeQuery());
        if (!row->next())
            throw std::runtime_error("the record to save is not in the store");
        std::vector<std::optional<std::string>> stored;
        for (int column = 1; column <= kSavedColumnCount; ++column)
            stored.push_back(row->isNull(column) ? std::nullopt
                                                 : std::optional(std::string(row->getString(column))));
        for (const QString& text : {note + QStringLiteral(" (edited)"), note})
            runSheet("record saved", rowOf(*mController->tables().listModel(), uid),
                     [&text](BMDetailsWindowController& sheet) { sheet.notesView()->setPlainText(text); });
        std::string assignments;
        for (const char* column : kSavedColumnNames)
            assignments += (assignments.empty() ? "" : ", ") + std::string(column) + "=?";
        std::unique_ptr<sql::PreparedStatement> write(root->prepareStatement(
            "UPDATE tolvanexdb.RECORDTABLE SET " + assignments + " WHERE RECORDID=?"));
        for (int column = 1; column <= kSavedColumnCount; ++column) {
            if (const auto& bytes = stored[size_t(column - 1)])
                write->setString(column, *bytes);
            else
                write->setNull(column, 0);
        }
        write->setString(kSavedColumnCount + 1, uid.toStdString());
        write->executeUpdate();
    }
}

void WindowBench::addRecords()
{
    for (int i = 0; i < mRepetitions; ++i)
        runSheet("record added", -1, [i](BMDetailsWindowController& sheet) {
            sheet.valueField(0)->setText(QStringLiteral("bench added %1").arg(i));
        });
}

void WindowBench::deleteRecords()
{
    // The added records and more of the same, written as an import writes them,
    // are deleted together; the store is then as generated again.
    const std::shared_ptr<TVXRecord> source = plainRecord();
    QStringList doomed;
    for (const auto& r : mDatabase.caches().mRecords())
        if (r->mValue1().startsWith(QStringLiteral("bench added ")))
            doomed << r->mRecordUID();
    QList<TVXRecordWriter::NewRecord> more;
    for (qsizetype i = doomed.size(); source && i < 100; ++i) {
        TVXRecordWriter::NewRecord entry;
        entry.record = TVXRecord::copyRecord(*source);
        entry.record->setMValue1(QStringLiteral("bench added %1").arg(i));
        if (mDatabase.encipherRecord(*entry.record, entry.ciphers) != kTVXDone)
            throw std::runtime_error("a record to delete cannot be made");
        doomed << entry.record->mRecordUID();
        more << std::move(entry);
    }
    QList<TVXResult> codes;
    if (mDatabase.beginRecordBatch() != kTVXDone)
        throw std::runtime_error("the records to delete cannot be written");
    mDatabase.addRecords(more, codes);
    if (mDatabase.endRecordBatch() != kTVXDone)
        throw std::runtime_error("the records to delete cannot be written");
    settle(200);

    BMTableView* table = mWindow->mListViewTypesTable;
    {
        const QSignalBlocker blocker(table->selectionModel());
        table->clearSelection();
        QItemSelection selection;
        for (const QString& uid : doomed)
            if (const int row = rowOf(*mController->tables().listModel(), uid); row >= 0)
                selection.select(mController->tables().listModel()->index(row, 0), mController->tables().listModel()->index(row, 0));
        table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    mAlertAnswers = {platform::kAlertAlternateReturn}; // "Yes"
    measure("records deleted (100)", [this] {
        mController->recordCommands().deleteSelected(nullptr);
        while (mController->recordCommands().isDeleting())
            settle(1);
    });
}

void WindowBench::lockAndUnlock()
{
    for (int i = 0; i < mRepetitions; ++i) {
        Clock::time_point locked = Clock::now();
        double lockBlock = 0;
        double lockTotal = 0;
        Clock::time_point typed;
        uint64_t lockTrips = 0;
        uint64_t unlockTrips = 0;
        mModal[QStringLiteral("mLockPanel")] = [&](QWidget* window) {
            lockTotal = msSince(locked);
            settle();
            lockBlock = mMeter.longest();
            mMeter.reset();
            auto* panel = static_cast<BMLockPanel*>(window);
            panel->mPasswordField()->setText(bench::kBenchPassword);
            unlockTrips = roundTrips();
            typed = Clock::now();
            panel->mLackPanelOKButton()->click();
            return platform::kModalRunStopped;
        };
        settle();
        mMeter.reset();
        lockTrips = roundTrips();
        unlockTrips = lockTrips;
        locked = Clock::now();
        mController->lockControl().displayLockPanel(mWindow->mToolbarLockButton);
        const double unlockTotal = msSince(typed);
        settle();
        const uint64_t afterUnlock = roundTrips();
        record("lock", lockBlock, lockTotal, lockTrips);
        mFigures["lock"].trips.back() = double(unlockTrips - lockTrips);
        record("unlock", mMeter.longest(), unlockTotal, unlockTrips);
        mFigures["unlock"].trips.back() = double(afterUnlock - unlockTrips);
    }
}

// The options window's OK with the notes column shown or hidden for every
// type; twice a repetition, so that the store keeps its columns.
void WindowBench::saveOptions()
{
    mModal[QStringLiteral("OptionsWindowController")] = [](QWidget* window) {
        auto* options = static_cast<BMOptionsWindowController*>(window);
        auto* notes = options->findChild<QCheckBox*>(QStringLiteral("mShowColumnMatrix_2_2"));
        notes->setChecked(!notes->isChecked());
        options->ok();
        while (options->isSaving())
            settle(1);
        return options->requestedEnd().value_or(platform::kModalRunAborted);
    };
    for (int i = 0; i < 2 * mRepetitions; ++i) {
        measure("options saved (columns of all types)", [this] {
            mAlertAnswers = {platform::kAlertOtherReturn}; // "Yes": every type takes them
            mController->recordCommands().displayOptionsPanel(nullptr);
        });
    }
}

void WindowBench::startAction()
{
    mMeter.reset();
    mActionTrips = roundTrips();
    mActionStart = Clock::now();
}

// A save or delete that went behind the window is waited for with the
// window's events served, as the user meanwhile would.
void WindowBench::waitForAnswers()
{
    while (mDatabase.savesInFlight() > 0 || !mDatabase.writeBehind().isIdle())
        settle(1);
}

// The group or type sheet's run after OK: the sheet waits for the store's
// answer with the window's events served, then ends as it asked.
int WindowBench::waitForSheet()
{
    BMCustomSettingsController& sheets = mController->recordCommands().customSettingsController();
    while (sheets.isSaving())
        settle(1);
    return sheets.requestedEnd().value_or(platform::kModalRunAborted);
}

void WindowBench::runEditor(bool types, const std::function<void(BMCategoryEditWindowController&)>& inside)
{
    bool opened = false;
    mModal[QStringLiteral("CategoryEditWindowController")] = [this, &inside, &opened](QWidget* window) {
        opened = true;
        window->show();
        settle();
        inside(mController->recordCommands().categoryEditController());
        window->findChild<QPushButton*>(QStringLiteral("mGroupEditDoneButton"))->click();
        return platform::kModalRunStopped;
    };
    if (types)
        mController->recordCommands().displayEditTypesPanel(nullptr);
    else
        mController->recordCommands().displayEditGroupPanel(nullptr);
    mModal.erase(QStringLiteral("CategoryEditWindowController"));
    settle();
    if (!opened)
        throw std::runtime_error("the group and type editor did not open");
}

void WindowBench::pressInEditor(const std::string& name, BMCategoryEditWindowController& editor, const char* button)
{
    settle();
    startAction(); // again at the sheet's OK, when the button opens one
    editor.window()->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    while (editor.isDeleting())
        settle(1);
    waitForAnswers();
    const double total = msSince(mActionStart);
    settle();
    record(name, mMeter.longest(), total, mActionTrips);
}

std::shared_ptr<TVXRecord> WindowBench::plainRecord() const
{
    for (int row = 0; row < mController->tables().listModel()->rowCount(); ++row)
        if (const auto r = mController->tables().listModel()->recordAt(row); r && !r->mIsCustomized() && !r->mHasAttachment())
            return r;
    throw std::runtime_error("no record to copy");
}

// Added, renamed and deleted through the editor: groups of the bench's own,
// each with a few records when it is deleted, so that the store is as
// generated again.
void WindowBench::editGroups()
{
    constexpr int kRecordsPerGroup = 5;
    QString typed; // the group's name as the user types it in the sheet
    int sheetRuns = 0;
    mModal[QStringLiteral("GroupSettingsPanel")] = [this, &typed, &sheetRuns](QWidget* window) {
        // A group the store refused comes back in its sheet: cancelled then (the bench fails).
        if (++sheetRuns > 1)
            return platform::kModalRunAborted;
        auto* panel = static_cast<BMGroupSettingsPanel*>(window);
        panel->show();
        settle();
        panel->mGroupNameField->setText(typed);
        startAction();
        panel->mDoneButton->click();
        return waitForSheet();
    };
    const auto rowOfGroup = [this](const QString& uid) {
        const auto groups = mDatabase.caches().groupsForEditing(true);
        for (int row = 0; row < int(groups.size()); ++row)
            if (groups.at(row)->mGroupUID() == uid)
                return row;
        return -1;
    };
    QString failure;
    runEditor(false, [&](BMCategoryEditWindowController& editor) {
        QStringList uids;
        for (int i = 0; i < mRepetitions && failure.isEmpty(); ++i) {
            typed = QStringLiteral("bench group %1").arg(i);
            sheetRuns = 0;
            pressInEditor("group added", editor, "mAddButton");
            if (const auto group = mDatabase.caches().getGroupFromGroupName(typed))
                uids << group->mGroupUID();
            else
                failure = QStringLiteral("the group added was not stored");
        }
        for (int i = 0; i < int(uids.size()) && failure.isEmpty(); ++i) {
            editor.selectRow(rowOfGroup(uids.at(i)));
            typed = QStringLiteral("bench group %1 renamed").arg(i);
            sheetRuns = 0;
            pressInEditor("group saved (renamed)", editor, "mEditButton");
            const auto group = mDatabase.caches().mGroups().value(uids.at(i));
            if (!group || group->mGroupName() != typed)
                failure = QStringLiteral("the group renamed was not stored");
        }
        if (failure.isEmpty() && !uids.isEmpty()) {
            // Written as an import writes them.
            const auto source = plainRecord();
            QList<TVXRecordWriter::NewRecord> records;
            for (const QString& uid : uids) {
                for (int k = 0; k < kRecordsPerGroup; ++k) {
                    TVXRecordWriter::NewRecord entry;
                    entry.record = TVXRecord::copyRecord(*source);
                    entry.record->setMGroup(mDatabase.caches().mGroups().value(uid));
                    entry.record->setMValue1(QStringLiteral("bench group record %1").arg(k));
                    if (mDatabase.encipherRecord(*entry.record, entry.ciphers) != kTVXDone)
                        failure = QStringLiteral("a record for the group cannot be made");
                    records << std::move(entry);
                }
            }
            QList<TVXResult> codes;
            if (failure.isEmpty() && (mDatabase.beginRecordBatch() != kTVXDone
                                      || (mDatabase.addRecords(records, codes), mDatabase.endRecordBatch() != kTVXDone)
                                      || std::any_of(codes.begin(), codes.end(), [](TVXResult c) { return c != kTVXDone; })))
                failure = QStringLiteral("the group's records cannot be written");
            settle(200);
        }
        for (const QString& uid : uids) {
            if (!failure.isEmpty())
                break;
            editor.selectRow(rowOfGroup(uid));
            // "Yes" without a backup, then "Yes" to the confirmation.
            mAlertAnswers = {platform::kAlertAlternateReturn, platform::kAlertAlternateReturn};
            pressInEditor("group deleted (5 records)", editor, "mDeleteButton");
            mAlertAnswers.clear();
            if (mDatabase.caches().mGroups().contains(uid))
                failure = QStringLiteral("the group was not deleted");
        }
    });
    mModal.erase(QStringLiteral("GroupSettingsPanel"));
    if (!failure.isEmpty())
        throw std::runtime_error(failure.toStdString());
}

// A field's label changed through the type sheet and changed back (twice a
// repetition), so that the store keeps its types.
void WindowBench::saveTypes()
{
    const auto types = mDatabase.caches().typesForEditing(true);
    if (types.size() < 6)
        return;
    const QString uid = types.at(5)->mTypeUID();
    const QString label = types.at(5)->fieldAtIndex(0);
    QString typed;
    int sheetRuns = 0;
    mModal[QStringLiteral("CustomSettingsPanel")] = [this, &typed, &sheetRuns](QWidget* window) {
        if (++sheetRuns > 1)
            return platform::kModalRunAborted;
        auto* panel = static_cast<BMTypeSettingsPanel*>(window);
        panel->show();
        settle();
        panel->mFieldNameFields[0]->setText(typed);
        // "No": the type itself changes rather than a new one made.
        mAlertAnswers = {platform::kAlertDefaultReturn};
        startAction();
        panel->mDoneButton->click();
        return waitForSheet();
    };
    QString failure;
    runEditor(true, [&](BMCategoryEditWindowController& editor) {
        for (int i = 0; i < 2 * mRepetitions && failure.isEmpty(); ++i) {
            typed = i % 2 == 0 ? label + QStringLiteral(" (e)") : label;
            const auto list = mDatabase.caches().typesForEditing(true);
            for (int row = 0; row < int(list.size()); ++row)
                if (list.at(row)->mTypeUID() == uid)
                    editor.selectRow(row);
            sheetRuns = 0;
            pressInEditor("type saved (a field's label)", editor, "mEditButton");
            mAlertAnswers.clear();
            const auto type = mDatabase.caches().mTypes().value(uid);
            if (!type || type->fieldAtIndex(0) != typed)
                failure = QStringLiteral("the type edited was not stored");
        }
    });
    mModal.erase(QStringLiteral("CustomSettingsPanel"));
    if (!failure.isEmpty())
        throw std::runtime_error(failure.toStdString());
}

void WindowBench::reload()
{
    for (int i = 0; i < mRepetitions; ++i)
        measure("reload", [this] { mController->startup().reloadDatabase(mWindow->mReloadMenuItem); });
}

void WindowBench::print(double coreLoadMs) const
{
    std::printf("%-34s %10s %10s %10s %8s %7s\n", "window figure", "block ms", "worst ms", "action ms", "x load",
                mRelay ? "trips" : "");
    std::vector<std::string> seen;
    for (const std::string& name : mOrder) {
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            continue;
        seen.push_back(name);
        const Figure& f = mFigures.at(name);
        const double total = median(f.totals);
        const std::string ratio =
            name == "log-in to painted window" && coreLoadMs > 0 ? std::to_string(total / coreLoadMs).substr(0, 4) : "";
        const std::string trips = mRelay ? std::to_string(int(median(f.trips))) : "";
        std::printf("%-34s %10.1f %10.1f %10.1f %8s %7s\n", name.c_str(), median(f.blocks),
                    *std::max_element(f.blocks.begin(), f.blocks.end()), total, ratio.c_str(), trips.c_str());
    }
    std::printf("%-34s %10s %10s %10.1f\n", "core load (plain, for the ratio)", "", "", coreLoadMs);
    if (!mAlerts.isEmpty())
        std::printf("alerts shown: %s\n", mAlerts.join(QStringLiteral(" | ")).toLocal8Bit().constData());
}

int WindowBench::run()
{
    platform::setAlertResponder([this](const platform::AlertRequest& alert) {
        if (!mAlertAnswers.empty()) {
            const int answer = mAlertAnswers.front();
            mAlertAnswers.pop_front();
            return answer;
        }
        mAlerts.append(alert.title + QStringLiteral(": ") + alert.message);
        return platform::kAlertDefaultReturn;
    });
    platform::setModalResponder([this](QWidget* window) {
        const auto it = mModal.find(window->objectName());
        // Other runs (the progress panel) end at once: the controller then
        // waits for its worker while handling events, as the run would.
        if (it != mModal.end())
            return it->second(window);
        if (window->objectName() == QStringLiteral("mLoadingDataPanel")) {
            window->show(); // a polled run leaves it up for the controller to take down
            return platform::kModalRunStopped;
        }
        return platform::kModalRunAborted;
    });

    const double load = coreLoad();
    if (!logIn()) {
        std::fprintf(stderr, "tvx-bench-window: the log-in did not reach the main window\n");
        for (const QString& alert : mAlerts)
            std::fprintf(stderr, "  %s\n", alert.toLocal8Bit().constData());
        return 1;
    }
    for (const auto& r : mDatabase.caches().mRecords())
        mViewCountsAtLogIn.emplace(r->mRecordUID(), r->mViewCounter());
    mWindow->resize(1280, 800);
    mWindow->show();
    settle(200);

    // The first search after the log-in: the records' search entries are
    // prepared on the workers meanwhile (it waits for them when it comes first).
    QLineEdit* field = mWindow->mSearchField;
    field->setFocus();
    measure("first letter typed after log-in", [this, field] { typeLetter(field, 'z'); });
    field->clear();

    for (const int view : {kColumnViewTag, kListViewTag, kTreeViewTag}) {
        for (int i = 0; i < mRepetitions; ++i)
            for (const int other : {kListViewTag, kTreeViewTag, kColumnViewTag})
                switchView(other);
        switchView(view);
        const char* where = view == kColumnViewTag ? "column" : view == kListViewTag ? "list" : "tree";
        switchGroups(std::string("switch group (") + where + ")");
        typeInSearch(std::string("letter typed in search (") + where + ")");
    }
    switchView(kListViewTag);
    sortByHeaders();
    clickRecords();
    closeRecordSheet();
    saveRecords();
    addRecords();
    deleteRecords();
    lockAndUnlock();
    saveOptions();
    editGroups();
    saveTypes();
    reload();
    print(load);
    restoreViewCounts();
    return 0;
}

void WindowBench::restoreViewCounts() const
{
    auto root = bench::connect(QStringLiteral("root"), QString());
    std::unique_ptr<sql::PreparedStatement> stmt(
        root->prepareStatement("UPDATE tolvanexdb.RECORDTABLE SET VIEWCOUNT=? WHERE RECORDID=?"));
    std::map<QString, int64_t> counts = mViewCounts;
    for (const auto& r : mDatabase.caches().mRecords())
        if (const auto it = mViewCountsAtLogIn.find(r->mRecordUID());
            it != mViewCountsAtLogIn.end() && it->second != r->mViewCounter())
            counts.emplace(it->first, it->second);
    for (const auto& [uid, count] : counts) {
        stmt->setInt64(1, count);
        stmt->setString(2, uid.toStdString());
        stmt->executeUpdate();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and the remembered master password stay in this run.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TolvanexBench"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    MemoryKeychain keychain;
    platform::Keychain::setShared(&keychain);

    int repetitions = 3;
    int rttMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--rtt-ms" && i + 1 < argc)
            rttMs = std::max(0, std::atoi(argv[++i]));
        else
            repetitions = std::max(1, std::atoi(argv[i]));
    }
    std::printf("records: %d, round trip added: %d ms\n", bench::storedRecordCount(), rttMs);
    try {
        std::unique_ptr<DelayingRelay> relay;
        if (rttMs > 0)
            relay = std::make_unique<DelayingRelay>(bench::serverPort(), rttMs);
        WindowBench bench(repetitions, relay.get());
        return bench.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tvx-bench-window: %s\n", e.what());
        return 1;
    }
}
