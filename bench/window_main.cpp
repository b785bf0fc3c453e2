// tvx-bench-window [repetitions]: the main window over the benchmark store,
// driven offscreen as a user drives it. For each action it prints the longest
// stretch the main thread spent without answering events (a thread asks it
// every millisecond, as a window manager pings a window) and the time the
// action took. The log-in is compared with a plain load of the same store.
#include "BenchStore.h"

#include "app/BMController.h"
#include "app/lock/BMLockPanel.h"
#include "app/startup/BMLoginPanel.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/Keychain.h"
#include "platform/ui/ModalRun.h"
#include "store/TVXDataBase.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMMainWindow.h"

#include <cppconn/connection.h>
#include <cppconn/prepared_statement.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
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
#include <functional>
#include <map>
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
    WindowBench(int repetitions) : mRepetitions(repetitions) {}
    int run();

private:
    // Runs the action and records the longest block from its start until
    // the window has settled again, and its own time.
    void measure(const std::string& name, const std::function<void()>& action)
    {
        settle();
        mMeter.reset();
        const Clock::time_point start = Clock::now();
        action();
        const double total = msSince(start);
        settle();
        mFigures[name].blocks.push_back(mMeter.longest());
        mFigures[name].totals.push_back(total);
        mOrder.push_back(name);
    }
    double coreLoad();
    bool logIn();
    void switchGroups(const std::string& name);
    void switchView(int view);
    void typeLetter(QLineEdit* field, char letter);
    void typeInSearch(const std::string& name);
    void sortByHeaders();
    void closeRecordSheet();
    void lockAndUnlock();
    void reload();
    void print(double coreLoadMs) const;
    void restoreViewCounts() const;

    int mRepetitions;
    BlockMeter mMeter;
    TVXDataBase mDatabase;
    std::unique_ptr<BMController> mController;
    BMMainWindow* mWindow = nullptr;
    std::map<std::string, Figure> mFigures;
    std::vector<std::string> mOrder;
    QStringList mAlerts;
    std::map<QString, int64_t> mViewCounts; // of the records the bench opened, before it did
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
    mModal[QStringLiteral("mConnectionWindow")] = [this, &clicked](QWidget* window) {
        auto* panel = static_cast<BMLoginPanel*>(window);
        panel->mIPAddressField()->setText(QStringLiteral("127.0.0.1"));
        panel->mPortNumberField()->setText(QString::number(bench::serverPort()));
        panel->mLoginUserName()->setText(bench::kBenchUser);
        panel->mUserPassword()->setText(bench::kBenchPassword);
        panel->mMasterPassword()->setText(bench::kBenchMaster);
        // The panel is up and painted before the user connects, as at a real start.
        panel->show();
        settle(200);
        mMeter.reset();
        clicked = Clock::now();
        panel->mConnectToServer()->click();
        while (mController->startup().isLoginInFlight())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
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
    mFigures["log-in to painted window"].blocks.push_back(mMeter.longest());
    mFigures["log-in to painted window"].totals.push_back(total);
    mOrder.push_back("log-in to painted window");
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
        mFigures["close the record sheet"].blocks.push_back(mMeter.longest());
        mFigures["close the record sheet"].totals.push_back(total);
        mOrder.push_back("close the record sheet");
    }
}

void WindowBench::lockAndUnlock()
{
    for (int i = 0; i < mRepetitions; ++i) {
        Clock::time_point locked = Clock::now();
        double lockBlock = 0;
        double lockTotal = 0;
        Clock::time_point typed;
        mModal[QStringLiteral("mLockPanel")] = [&](QWidget* window) {
            lockTotal = msSince(locked);
            settle();
            lockBlock = mMeter.longest();
            mMeter.reset();
            auto* panel = static_cast<BMLockPanel*>(window);
            panel->mPasswordField()->setText(bench::kBenchPassword);
            typed = Clock::now();
            panel->mLackPanelOKButton()->click();
            return platform::kModalRunStopped;
        };
        settle();
        mMeter.reset();
        locked = Clock::now();
        mController->lockControl().displayLockPanel(mWindow->mToolbarLockButton);
        const double unlockTotal = msSince(typed);
        settle();
        mFigures["lock"].blocks.push_back(lockBlock);
        mFigures["lock"].totals.push_back(lockTotal);
        mFigures["unlock"].blocks.push_back(mMeter.longest());
        mFigures["unlock"].totals.push_back(unlockTotal);
        mOrder.push_back("lock");
        mOrder.push_back("unlock");
    }
}

void WindowBench::reload()
{
    for (int i = 0; i < mRepetitions; ++i)
        measure("reload", [this] { mController->startup().reloadDatabase(mWindow->mReloadMenuItem); });
}

void WindowBench::print(double coreLoadMs) const
{
    std::printf("%-34s %10s %10s %10s %8s\n", "window figure", "block ms", "worst ms", "action ms", "x load");
    std::vector<std::string> seen;
    for (const std::string& name : mOrder) {
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            continue;
        seen.push_back(name);
        const Figure& f = mFigures.at(name);
        const double total = median(f.totals);
        const std::string ratio =
            name == "log-in to painted window" && coreLoadMs > 0 ? std::to_string(total / coreLoadMs).substr(0, 4) : "";
        std::printf("%-34s %10.1f %10.1f %10.1f %8s\n", name.c_str(), median(f.blocks),
                    *std::max_element(f.blocks.begin(), f.blocks.end()), total, ratio.c_str());
    }
    std::printf("%-34s %10s %10s %10.1f\n", "core load (plain, for the ratio)", "", "", coreLoadMs);
    if (!mAlerts.isEmpty())
        std::printf("alerts shown: %s\n", mAlerts.join(QStringLiteral(" | ")).toLocal8Bit().constData());
}

int WindowBench::run()
{
    platform::setAlertResponder([this](const platform::AlertRequest& alert) {
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
    closeRecordSheet();
    lockAndUnlock();
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
    for (const auto& [uid, count] : mViewCounts) {
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

    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("records: %d\n", bench::storedRecordCount());
    try {
        WindowBench bench(repetitions);
        return bench.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tvx-bench-window: %s\n", e.what());
        return 1;
    }
}
