// The settings that follow a user from computer to computer: one APPPREFTABLE
// row per user, read once at load and written column by column.
#include "model/ColorAdditions.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/ApplicationHooks.h"
#include "platform/core/MainThread.h"
#include "platform/core/UserDefaults.h"
#include "store/accounts/HintQuestions.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/session/StatementRunner.h"
#include "store/accounts/PreferencesStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/loading/StoreCaches.h"
#include "store/session/ReadAhead.h"
#include "store/session/StoreSession.h"
#include "store/writers/WriteCalls.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kNewRowSortInfo = 65539;   // column 3, ascending
constexpr int kNewRowDetailWidth = 290;
constexpr int kNewRowPwdGenFlag = 65535;
constexpr int kNewRowTipFlags = 65537;
const QString kFallbackFontName = QStringLiteral("Lucida Grande");

QString pad4(long value) { return QString::asprintf("%.4ld", value); }

bool hookFontExists(const QString& family)
{
    bool exists = true;
    platform::performOnMainThreadAndWait([&] {
        if (auto* hooks = platform::applicationHooks())
            exists = hooks->fontFamilyExists(family);
    });
    return exists;
}

} // namespace

TVXUser& TVXPreferences::currentUser() const { return *mDatabase.caches().mCurrentUser(); }

// --- conversions -------------------------------------------------------------

int64_t TVXPreferences::packSortInfo(const TVXSortDescriptor& descriptor)
{
    return (descriptor.ascending ? 65536 : 0) + (descriptor.key.toInt() & 0xFFFF);
}

TVXSortDescriptor TVXPreferences::unpackSortInfo(int64_t value)
{
    return {QString::number(value & 0xFFFF), ((value >> 16) & 0xFF) != 0};
}

QRectF TVXPreferences::defaultWindowFrame(const QSizeF& screen)
{
    const double width = std::max(1030.0, 0.7 * screen.width());
    const double height = 0.7 * screen.height();
    return {(screen.width() - width) * 0.5, (screen.height() - height) * 0.5, width, height};
}

QString TVXPreferences::getWindowDimensionsInWindowsStandard(const QRectF& frame, const QSizeF& screen, bool maximised)
{
    // Top-left origin, y downward, as the column has always been written.
    const double x = std::max(0.0, frame.x());
    const double y = std::max(0.0, frame.y());
    const long left = static_cast<long>(x);
    const long top = static_cast<long>(screen.height() - (y + frame.height()));
    const long right = static_cast<long>(x + frame.width());
    const long bottom = static_cast<long>(screen.height() - y);
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(pad4(left), pad4(top), pad4(right), pad4(bottom), pad4(maximised ? 1 : 0));
}

QRectF TVXPreferences::getRectFromWindowPosition(const QString& text, const QSizeF& screen)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    const auto part = [&parts](int i) { return parts.value(i).toInt(); };
    const int left = part(0), top = part(1), right = part(2), bottom = part(3);
    const double x = std::max(0, left);
    const double y = std::max(0.0, screen.height() - bottom);
    const double width = std::min<double>(right - left, screen.width());
    const double height = std::min<double>(bottom - top, screen.height());
    return {x, y, width, height};
}

QString TVXPreferences::storedFontName(const QFont& font)
{
    // The name carries the style, as the bold and italic columns are derived from it.
    QString name = font.family();
    const bool bold = font.bold() && !name.contains(QLatin1String("Bold"), Qt::CaseInsensitive);
    const bool italic = font.italic() && !name.contains(QLatin1String("Italic"), Qt::CaseInsensitive)
                        && !name.contains(QLatin1String("Oblique"), Qt::CaseInsensitive);
    if (bold || italic)
        name += QLatin1Char('-') + QLatin1String(bold ? "Bold" : "") + QLatin1String(italic ? "Italic" : "");
    return name.left(32);
}

QFont TVXPreferences::fontFromStoredName(const QString& name, int pointSize)
{
    QString family = name;
    QString style;
    if (const qsizetype dash = name.indexOf(QLatin1Char('-')); dash > 0) {
        family = name.left(dash);
        style = name.mid(dash + 1);
    }
    QFont font(family);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    font.setBold(style.contains(QLatin1String("Bold"), Qt::CaseInsensitive));
    font.setItalic(style.contains(QLatin1String("Italic"), Qt::CaseInsensitive)
                   || style.contains(QLatin1String("Oblique"), Qt::CaseInsensitive));
    return font;
}

// --- reading and creating the row ------------------------------------------

void TVXPreferences::readUserPreferenceForTableForUser(TVXUser& user, TVXResult* code)
{
    tvxsql::Rows rs = mDatabase.readAhead().rowsFor(mDatabase.liveConnection(), kQueryAppPreference, user.mUserID());
    QString windowPosition;
    std::optional<std::pair<QString, int>> storedFont;
    while (rs->next()) {
        const TVXSortDescriptor sort = unpackSortInfo(rs->getInt64("SORTINFO"));
        user.setMUserID(tvxsql::textColumn(*rs, 1));
        user.setMUsername(tvxsql::textColumn(*rs, 2));
        user.setMCurrentType(tvxsql::textColumn(*rs, 3));
        user.setMCurrentGroup(tvxsql::textColumn(*rs, 4));
        windowPosition = tvxsql::textColumn(*rs, 5);
        if (windowPosition.isEmpty())
            user.setMWindowPosition(defaultWindowFrame(TVXUser::mainScreenSize()));
        user.setMSortingInfo(sort);
        user.setMShowDetailOnPane(rs->getBoolean("SHOWDETAILPANE"));
        user.setMDetailPanelWidth(static_cast<int16_t>(rs->getInt("DETAILPANEWIDTH")));
        user.setMAutoLOck(rs->getBoolean("AUTOLOCK"));
        user.setMRowColor(colorFromInt64(rs->getInt64("ROWCOLOR")));
        user.setMLockTime(static_cast<int16_t>(rs->getInt("SLEEPMINUTES")));
        user.setMMAxLockTime(static_cast<int16_t>(rs->getInt("MAXSLEEPMINUTES")));
        user.setMPwdGenFlag(static_cast<uint8_t>(rs->getInt64("PWDGENFLAG") & 0xFF));
        user.setMHintQuestionNumber(static_cast<int16_t>(rs->getInt("HINTQNO")));
        // The hint columns stay as their raw bytes: only the right answer opens them.
        user.setMHintAnswer(QString::fromLatin1(tvxsql::blobColumn(*rs, 31)));
        user.setMHintEntered(QString::fromLatin1(tvxsql::blobColumn(*rs, 32)));
        user.setMLastView(static_cast<int16_t>(rs->getInt("LASTVIEW")));
        user.setMAutoSubmit(rs->getBoolean("AUTOSUBMIT"));
        user.setMClipBoardOnExit(rs->getBoolean("CLEARCLIPBOARDONEXIT"));
        user.setMClearClipBoardTimer(static_cast<int16_t>(rs->getInt("CLEARCLIPBOARDTIMER")));
        user.setMLoginAttemptCount(static_cast<int16_t>(rs->getInt("LOGINATTEMPTCOUNT")));

        storedFont.emplace(tvxsql::textColumn(*rs, 23), rs->getInt("FONTHEIGHT"));
    }
    rs.reset();
    // Every type's columns in one read: the window's switches then read none.
    readColumnRowsForUser(user.mUserID());
    const TVXResult columns = readColoumWidthInfoForType(user.mCurrentType());
    if (code)
        *code = columns;
    // Then the user's recent lists: most viewed, recently viewed, recently modified.
    const TVXResult mostViewed = mUserLists.readMostViewedRecordIDForUser(user.mUserID());
    if (code)
        *code = mostViewed;
    mUserLists.readRecentlyViewedRecordIDForUser(user.mUserID(), code);
    mUserLists.readRecentlyModifiedRecordIDForUser(user.mUserID(), code);
    // Asked of the main thread only now: the reads before may hold the connection's guard.
    if (storedFont) {
        QString fontName = storedFont->first;
        const QString family = fontName.section(QLatin1Char('-'), 0, 0);
        if (fontName.isEmpty() || !hookFontExists(family))
            fontName = kFallbackFontName;
        user.setMTextFont(fontFromStoredName(fontName, storedFont->second));
    }
    if (!windowPosition.isEmpty())
        user.setMWindowPosition(getRectFromWindowPosition(windowPosition, TVXUser::mainScreenSize()));
}

void TVXPreferences::initUserPreferencesForUser(const QString& userID, const QString& userName, TVXResult* code)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    (void)tvxsql::runReporting(mDatabase, code, [&] {
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.liveConnection().prepareStatement(kQueryInsertToAppPreferenceTable));
        int i = 1;
        const auto text = [&](const QString& v) { stmt->setString(i++, v.toStdString()); };
        const auto number = [&](int64_t v) { stmt->setInt64(i++, v); };
        const auto flag = [&](bool v) { stmt->setBoolean(i++, v); };
        text(userID);                 // USERID
        text(userName);               // USERNAME
        text(kAllCategoriesUID);      // CURRENTTYPE
        text(userID);                 // CURRENTCATEGORY: the personal group
        text(QString(""));            // WINDOWPOS
        number(kNewRowSortInfo);      // SORTINFO
        flag(true);                   // SHOWDETAILPANE
        number(kNewRowDetailWidth);   // DETAILPANEWIDTH
        flag(true);                   // AUTOLOCK
        number(13);                   // FONTHEIGHT
        number(0);                    // FONTWIDTH
        number(0);                    // FONTESCAPEMENT
        number(0);                    // FONTORIENTATION
        number(400);                  // FONTWEIGHT
        flag(false);                  // FONTITALIC
        flag(false);                  // FONTUNDERLINE
        flag(false);                  // FONTSTRIKEOUT
        number(1);                    // FONTCHARSET
        number(0);                    // FONTOUTPRECISION
        number(0);                    // FONTCLIPPRECISION
        number(0);                    // FONTQUALITY
        number(0);                    // FONTPITCHANDFAMILY
        text(QStringLiteral("ArialMT")); // FONTNAME
        number(16777215);             // ROWCOLOR: white
        number(10);                   // SLEEPMINUTES
        number(60);                   // MAXSLEEPMINUTES
        number(kNewRowPwdGenFlag);    // PWDGENFLAG
        flag(false);                  // CSAESENSITIVESEARCH
        flag(false);                  // WHOLEWORDSEARCH
        number(0);                    // HINTQNO
        text(QString(""));            // HINTQANSWER
        text(QString(""));            // HINTQUESTION
        number(1);                    // LASTVIEW
        flag(false);                  // AUTOSUBMIT
        flag(false);                  // SEARCHCOLUMN
        flag(false);                  // CLEARCLIPBOARDONEXIT
        number(30);                   // CLEARCLIPBOARDTIMER
        flag(false);                  // MINIMISETOSYSTRAY
        number(0);                    // LOGINATTEMPTCOUNT
        number(kNewRowTipFlags);      // EXPORTIMPORTTIP
        number(kNewRowTipFlags);      // BACKUPRESTORETIP
        stmt->executeUpdate();
    });
}

// --- writers ---------------------------------------------------------------

void TVXPreferences::saveBasicPreferencesForUser(const TVXUser& user, TVXResult* code)
{
    // Asked before the guard is taken: the main thread may be waiting for it.
    bool maximised = false;
    platform::performOnMainThreadAndWait([&] {
        if (auto* hooks = platform::applicationHooks())
            maximised = hooks->isMainWindowMaximied();
    });
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    (void)tvxsql::runReporting(mDatabase, code, [&] {
        std::unique_ptr<sql::PreparedStatement> stmt(
            mDatabase.liveConnection().prepareStatement(kUpdateBasicPrefToAppPrefTable));
        stmt->setString(1, getWindowDimensionsInWindowsStandard(user.mWindowPosition(), TVXUser::mainScreenSize(),
                                                                maximised)
                               .toStdString());
        stmt->setInt(2, user.mDetailPanelWidth());
        stmt->setString(3, user.mUserID().toStdString());
        stmt->executeUpdate();
    });
}

void TVXPreferences::saveBasicPreferencesBehind(const TVXUser& user)
{
    // The window's frame is taken now, on the caller's thread; the row goes behind the window.
    bool maximised = false;
    platform::performOnMainThreadAndWait([&] {
        if (auto* hooks = platform::applicationHooks())
            maximised = hooks->isMainWindowMaximied();
    });
    const std::string frame =
        getWindowDimensionsInWindowsStandard(user.mWindowPosition(), TVXUser::mainScreenSize(), maximised).toStdString();
    mDatabase.sendBehindWindow([this, id = user.mUserID().toStdString(), frame, width = user.mDetailPanelWidth()] {
        const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
        try {
            const TVXStoreSession::PreparedRef stmt =
                mDatabase.prepareForBatch(mDatabase.liveConnection(), kUpdateBasicPrefToAppPrefTable);
            stmt->setString(1, frame);
            stmt->setInt(2, width);
            stmt->setString(3, id);
            stmt->executeUpdate();
        } catch (const sql::SQLException& e) {
            (void)mDatabase.reportDatabaseError(e);
        }
    });
}

namespace {

// The options window's part of the preference row, as it is bound.
struct OptionRow {
    bool autoLock = false;
    int fontHeight = 0;
    bool bold = false;
    bool italic = false;
    std::string fontName;
    int64_t rowColor = 0;
    int lockTime = 0;
    int maxLockTime = 0;
    bool autoSubmit = false;
    bool clipboardOnExit = false;
    int clipboardTimer = 0;
    std::string userID;
};

void writeOptionRow(TVXStoreSession& db, const OptionRow& row, TVXResult* code)
{
    const auto guard = db.lockConnection(); // one thread at a time on the connection
    (void)tvxsql::runReporting(db, code, [&] {
        std::unique_ptr<sql::PreparedStatement> stmt(db.liveConnection().prepareStatement(kQueryUpdateAppPreferenceTable));
        stmt->setBoolean(1, row.autoLock);
        stmt->setInt(2, row.fontHeight);
        stmt->setInt(3, row.bold ? 700 : 200);
        stmt->setBoolean(4, row.italic);
        stmt->setString(5, row.fontName);
        stmt->setInt64(6, row.rowColor);
        stmt->setInt(7, row.lockTime);
        stmt->setInt(8, row.maxLockTime);
        stmt->setBoolean(9, row.autoSubmit);
        stmt->setBoolean(10, row.clipboardOnExit);
        stmt->setInt(11, row.clipboardTimer);
        stmt->setString(12, row.userID);
        stmt->executeUpdate();
    });
}

OptionRow optionRowOf(const TVXUser& user)
{
    const QString fontName = TVXPreferences::storedFontName(user.mTextFont());
    OptionRow row;
    row.autoLock = user.mAutoLOck();
    row.fontHeight = static_cast<int>(user.mTextFont().pointSizeF());
    row.bold = fontName.contains(QLatin1String("Bold"), Qt::CaseInsensitive);
    row.italic = fontName.contains(QLatin1String("Italic"), Qt::CaseInsensitive);
    row.fontName = fontName.toStdString();
    row.rowColor = int64Value(user.mRowColor().isValid() ? user.mRowColor() : QColor(Qt::white));
    row.lockTime = user.mLockTime();
    row.maxLockTime = user.mMAxLockTime();
    row.autoSubmit = user.mAutoSubmit();
    row.clipboardOnExit = user.mClipBoardOnExit();
    row.clipboardTimer = user.mClearClipBoardTimer();
    row.userID = user.mUserID().toStdString();
    return row;
}

} // namespace

void TVXPreferences::saveOptionPanelPreferencesForUser(const TVXUser& user, TVXResult* code)
{
    writeOptionRow(mDatabase, optionRowOf(user), code);
}

void TVXPreferences::saveOptionPanelPreferencesBehind(const TVXUser& user, std::function<void(TVXResult)> answer)
{
    mDatabase.saveBehindWindow(
        [this, row = optionRowOf(user)] {
            TVXResult code = kTVXDone;
            writeOptionRow(mDatabase, row, &code);
            return code;
        },
        std::move(answer));
}

namespace {

TVXResult writeColumnRows(TVXStoreSession& db, const QString& userID, const QStringList& typeIDs,
                          const QList<int>& widths, uint64_t mask);

// The options' row and column rows as one call of the store's routine.
constexpr char kCallSaveOptions[] =
    "CALL TVX_SAVE_OPTIONS(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// A column row's stored value: the width in the low 16 bits, shown in the next.
int64_t columnValue(const QList<int>& widths, uint64_t mask, int column)
{
    const int64_t shown = (mask & kColumnMasksArray[column]) ? 65536 : 0;
    return shown + (widths[column] & 0xFFFF);
}

// Whether the routine took the write (then committed); false with nothing
// written when the store has no such routine or the account may not call it.
bool callSaveOptions(TVXStoreSession& db, sql::Connection& connection, const OptionRow& row,
                     const std::string& columnTypes, const QList<int>& widths, uint64_t mask)
{
    try {
        const TVXStoreSession::PreparedRef stmt = db.prepareForBatch(connection, kCallSaveOptions);
        stmt->setString(1, row.userID);
        stmt->setBoolean(2, row.autoLock);
        stmt->setInt(3, row.fontHeight);
        stmt->setInt(4, row.bold ? 700 : 200);
        stmt->setBoolean(5, row.italic);
        stmt->setString(6, row.fontName);
        stmt->setInt64(7, row.rowColor);
        stmt->setInt(8, row.lockTime);
        stmt->setInt(9, row.maxLockTime);
        stmt->setBoolean(10, row.autoSubmit);
        stmt->setBoolean(11, row.clipboardOnExit);
        stmt->setInt(12, row.clipboardTimer);
        stmt->setString(13, columnTypes);
        for (int i = 0; i < kListNoOfColumns; ++i)
            stmt->setInt64(14 + i, widths.size() >= kListNoOfColumns ? columnValue(widths, mask, i) : 0);
        stmt->execute();
    } catch (const sql::SQLException& e) {
        if (tvxcalls::notServed(e))
            return false;
        throw; // the routine rolled back
    }
    try {
        tvxcalls::executeText(connection, "COMMIT");
    } catch (const sql::SQLException&) {
        tvxcalls::rollBackQuietly(connection);
        throw;
    }
    return true;
}

} // namespace

void TVXPreferences::saveOptionsBehind(const TVXUser& user, const QStringList& columnTypeIDs,
                                       std::function<void(TVXResult)> answer)
{
    QStringList typeIDs;
    if (user.mColoumWidthArray().size() >= kListNoOfColumns)
        typeIDs = columnTypeIDs;
    for (const QString& typeID : std::as_const(typeIDs))
        keepColumnRow(typeID, user);
    mDatabase.saveBehindWindow(
        [this, row = optionRowOf(user), userID = user.mUserID(), typeIDs, widths = user.mColoumWidthArray(),
         mask = user.mColoumInfo()] {
            const std::string columnTypes =
                QJsonDocument(QJsonArray::fromStringList(typeIDs)).toJson(QJsonDocument::Compact).toStdString();
            bool called = false;
            const TVXResult code = mDatabase.runOnConnection([&](sql::Connection& connection) {
                // Inside another transaction its statements serve.
                called = connection.getAutoCommit() && callSaveOptions(mDatabase, connection, row, columnTypes, widths, mask);
                return kTVXDone;
            });
            if (called || code != kTVXDone)
                return code;
            // A store without the routine, or an account not granted it: the statements one by one.
            if (!typeIDs.isEmpty())
                if (const TVXResult columns = writeColumnRows(mDatabase, userID, typeIDs, widths, mask);
                    columns != kTVXDone)
                    return columns;
            TVXResult written = kTVXDone;
            writeOptionRow(mDatabase, row, &written);
            return written;
        },
        std::move(answer));
}

namespace {

// Every type's column row of one user.
constexpr char kQuerySelectUsersColumnRows[] = "SELECT * FROM COLUMNINFOTABLE WHERE USERID = ?";

// A column row's values: each column's width in its low 16 bits, shown in the next.
struct ColumnRowValues {
    QList<int> widths;
    uint64_t mask = 0;
};

ColumnRowValues columnRowValues(sql::ResultSet& rs)
{
    ColumnRowValues row;
    for (int i = 0; i < kListNoOfColumns; ++i) {
        const int64_t value = rs.isNull(3 + i) ? 0 : rs.getInt64(3 + i);
        row.widths << static_cast<int>(value & 0xFFFF);
        if ((value >> 16) & 0xFFFF)
            row.mask |= kColumnMasksArray[i];
    }
    return row;
}

TVXResult writeColumnRow(TVXStoreSession& db, const QString& userID, const QString& typeID, const QList<int>& widths,
                         uint64_t mask)
{
    return db.runOnConnection([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(KQueryInsertIntoColumnInfoTable));
        stmt->setString(1, userID.toStdString());
        stmt->setString(2, typeID.toStdString());
        for (int i = 0; i < kListNoOfColumns; ++i)
            stmt->setInt64(3 + i, columnValue(widths, mask, i));
        stmt->executeUpdate();
        return kTVXDone;
    });
}

// The same row for each of the types, in as few statements as the server's
// placeholder limit allows.
TVXResult writeColumnRows(TVXStoreSession& db, const QString& userID, const QStringList& typeIDs,
                          const QList<int>& widths, uint64_t mask)
{
    constexpr qsizetype kRowsAStatement = 500;
    return db.runOnConnection([&](sql::Connection& connection) {
        for (qsizetype first = 0; first < typeIDs.size(); first += kRowsAStatement) {
            const qsizetype rows = std::min(kRowsAStatement, typeIDs.size() - first);
            const TVXStoreSession::PreparedRef stmt =
                db.prepareRowsForBatch(connection, KQueryInsertIntoColumnInfoTable, int(rows));
            for (qsizetype r = 0; r < rows; ++r) {
                const int base = int(r) * (2 + kListNoOfColumns);
                stmt->setString(base + 1, userID.toStdString());
                stmt->setString(base + 2, typeIDs[first + r].toStdString());
                for (int i = 0; i < kListNoOfColumns; ++i)
                    stmt->setInt64(base + 3 + i, columnValue(widths, mask, i));
            }
            stmt->executeUpdate();
        }
        return kTVXDone;
    });
}

// One column of the user's preference row, under the guard.
template <class Bind>
TVXResult updateOneColumnOf(TVXStoreSession& db, const char* statement, const std::string& userID, Bind bind)
{
    const auto guard = db.lockConnection(); // one thread at a time on the connection
    try {
        const TVXStoreSession::PreparedRef stmt = db.prepareForBatch(db.liveConnection(), statement);
        bind(*stmt);
        stmt->setString(2, userID);
        stmt->executeUpdate();
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return db.reportDatabaseError(e);
    }
}

template <class Bind> TVXResult updateOneColumn(TVXStoreSession& db, const char* statement, const TVXUser& user, Bind bind)
{
    return updateOneColumnOf(db, statement, user.mUserID().toStdString(), std::move(bind));
}

} // namespace

TVXResult TVXPreferences::saveLastViewForUser(const TVXUser& user)
{
    return updateOneColumn(mDatabase, UpdLastViewVal, user, [&](auto& s) { s.setInt(1, user.mLastView()); });
}

TVXResult TVXPreferences::saveCurrentGroupForUser(const TVXUser& user)
{
    return updateOneColumn(mDatabase, UpdCurCatVal, user,
                           [&](auto& s) { s.setString(1, user.mCurrentGroup().toStdString()); });
}

void TVXPreferences::saveLastViewBehind(const TVXUser& user)
{
    const int view = user.mLastView();
    mDatabase.sendBehindWindow([this, id = user.mUserID().toStdString(), view] {
        (void)updateOneColumnOf(mDatabase, UpdLastViewVal, id, [view](auto& s) { s.setInt(1, view); });
    });
}

void TVXPreferences::saveCurrentGroupBehind(const TVXUser& user)
{
    mDatabase.sendBehindWindow(
        [this, id = user.mUserID().toStdString(), group = user.mCurrentGroup().toStdString()] {
            (void)updateOneColumnOf(mDatabase, UpdCurCatVal, id, [&group](auto& s) { s.setString(1, group); });
        });
}

void TVXPreferences::setSortDescriptorBehind(const TVXSortDescriptor& descriptor)
{
    TVXUser& user = currentUser();
    user.setMSortingInfo(descriptor);
    mDatabase.sendBehindWindow([this, id = user.mUserID().toStdString(), packed = packSortInfo(descriptor)] {
        (void)updateOneColumnOf(mDatabase, UpdSortInfoVal, id, [packed](auto& s) { s.setInt64(1, packed); });
    });
}

void TVXPreferences::setNumberofAttemptsLeftBehind(int16_t count, TVXUser& user)
{
    user.setMLoginAttemptCount(count);
    mDatabase.sendBehindWindow([this, id = user.mUserID().toStdString(), count] {
        (void)updateOneColumnOf(mDatabase, UpdLoginAtmptCntVal, id, [count](auto& s) { s.setInt(1, count); });
    });
}

void TVXPreferences::setToggleInfoBehind(bool show)
{
    TVXUser& user = currentUser();
    user.setMShowDetailOnPane(show);
    mDatabase.sendBehindWindow([this, id = user.mUserID().toStdString(), show] {
        (void)updateOneColumnOf(mDatabase, UpdShowDetailPaneVal, id, [show](auto& s) { s.setBoolean(1, show); });
    });
}

void TVXPreferences::setPasswordGeneratorFlagsBehind(uint8_t flags)
{
    TVXUser& user = currentUser();
    user.setMPwdGenFlag(flags);
    mDatabase.sendBehindWindow([this, id = user.mUserID().toStdString(), flags] {
        (void)updateOneColumnOf(mDatabase, UpdPwdGenFlagVal, id, [flags](auto& s) { s.setInt64(1, flags); });
    });
}

TVXResult TVXPreferences::saveToggleInfoForUser(const TVXUser& user)
{
    return updateOneColumn(mDatabase, UpdShowDetailPaneVal, user,
                           [&](auto& s) { s.setBoolean(1, user.mShowDetailOnPane()); });
}

TVXResult TVXPreferences::saveSortInfoForUser(const TVXUser& user)
{
    const TVXSortDescriptor sort = user.mSortingInfo().value_or(TVXSortDescriptor{QStringLiteral("3"), true});
    return updateOneColumn(mDatabase, UpdSortInfoVal, user, [&](auto& s) { s.setInt64(1, packSortInfo(sort)); });
}

TVXResult TVXPreferences::savePasswordGeneratorFlagForUser(const TVXUser& user)
{
    return updateOneColumn(mDatabase, UpdPwdGenFlagVal, user, [&](auto& s) { s.setInt64(1, user.mPwdGenFlag()); });
}

TVXResult TVXPreferences::saveNumberOfAttemptsForUser(const TVXUser& user)
{
    return updateOneColumn(mDatabase, UpdLoginAtmptCntVal, user,
                           [&](auto& s) { s.setInt(1, user.mLoginAttemptCount()); });
}

// --- accessors on the current user ------------------------------------------

TVXResult TVXPreferences::setToggleInfo(bool show)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    currentUser().setMShowDetailOnPane(show);
    return saveToggleInfoForUser(currentUser());
}

TVXSortDescriptor TVXPreferences::sortDescriptor(TVXResult* code) const
{
    if (code)
        *code = kTVXDone;
    return currentUser().mSortingInfo().value_or(TVXSortDescriptor{QStringLiteral("3"), true});
}

TVXResult TVXPreferences::setSortDescriptor(const TVXSortDescriptor& descriptor)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    currentUser().setMSortingInfo(descriptor);
    return saveSortInfoForUser(currentUser());
}

uint8_t TVXPreferences::passwordGeneratorFlags(TVXResult* code) const
{
    if (code)
        *code = kTVXDone;
    return currentUser().mPwdGenFlag();
}

TVXResult TVXPreferences::setPasswordGeneratorFlags(uint8_t flags)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    currentUser().setMPwdGenFlag(flags);
    return savePasswordGeneratorFlagForUser(currentUser());
}

bool TVXPreferences::autoLockEnabledWithInactiveTime(int* minutes, TVXResult* code) const
{
    if (minutes)
        *minutes = currentUser().mLockTime();
    if (code)
        *code = kTVXDone;
    return currentUser().mAutoLOck();
}

int16_t TVXPreferences::numberofAttemptsLeft(const TVXUser& user, TVXResult* code) const
{
    (void)user; // the count is the signed-in user's
    if (code)
        *code = kTVXDone;
    return currentUser().mLoginAttemptCount();
}

TVXResult TVXPreferences::setNumberofAttemptsLeft(int16_t count, TVXUser* user)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (!user)
        return kTVXStatementFailed;
    user->setMLoginAttemptCount(count);
    return saveNumberOfAttemptsForUser(*user);
}

void TVXPreferences::setfont(const QFont& font) { currentUser().setMTextFont(font); }

QList<int> TVXPreferences::columnWidthDetails(TVXResult* code) const
{
    if (code)
        *code = kTVXDone;
    return currentUser().mColoumWidthArray();
}

int TVXPreferences::showColumnsInListViewReturnCode(TVXResult* code, const QString& typeID) const
{
    (void)typeID;
    if (code)
        *code = kTVXDone;
    return static_cast<int>(kDefaultColumnMask);
}

void TVXPreferences::saveSplitViewInformation(const QStringList& rects, const QString& name)
{
    if (name == kMainSplitViewAutosaveName) {
        platform::UserDefaults::setStringList(name, rects);
        // The rectangle text "{{x, y}, {w, h}}": its width is the detail pane's.
        const QString first = rects.value(0);
        const QStringList numbers =
            QString(first).remove(QLatin1Char('{')).remove(QLatin1Char('}')).split(QLatin1Char(','));
        if (numbers.size() == 4)
            currentUser().setMDetailPanelWidth(static_cast<int16_t>(numbers[2].trimmed().toDouble()));
    } else if (name == kSmartTypeSplitViewAutosaveName || name == kSubSplitViewAutosaveName) {
        platform::UserDefaults::setStringList(name, rects);
    }
}

std::optional<QStringList> TVXPreferences::getSplitViewInformationForName(const QString& name) const
{
    if (name != kMainSplitViewAutosaveName && name != kSubSplitViewAutosaveName
        && name != kSmartTypeSplitViewAutosaveName)
        return std::nullopt;
    const auto& info = currentUser().mMainViewRectInfo();
    if (!info.contains(name))
        return std::nullopt;
    return info.value(name);
}

void TVXPreferences::setColumnWidthDetails(const QList<int>& widths, int typeIndex)
{
    QString typeID = kAllCategoriesUID;
    if (typeIndex > 0) {
        const auto types = mDatabase.caches().typesForEditing();
        if (typeIndex - 1 < types.size() && types[typeIndex - 1])
            typeID = types[typeIndex - 1]->mTypeUID();
    }
    TVXUser& user = currentUser();
    user.setMColoumWidthArray(widths);
    if (widths.size() < kListNoOfColumns)
        return;
    keepColumnRow(typeID, user);
    mDatabase.sendBehindWindow([this, userID = user.mUserID(), typeID, widths, mask = user.mColoumInfo()] {
        (void)writeColumnRow(mDatabase, userID, typeID, widths, mask);
    });
}

// --- the list columns the user keeps per type ---------------------------------

TVXResult TVXPreferences::readColoumWidthInfoForType(const QString& typeID)
{
    const QString type = typeID.isNull() ? kAllCategoriesUID : typeID;
    TVXUser& user = currentUser();
    {
        const std::lock_guard lock(mColumnRowsMutex);
        if (mColumnRowsRead) {
            // No row: the settings stay as they are.
            if (const auto found = mColumnRows.constFind(type); found != mColumnRows.cend()) {
                user.setMColoumWidthArray(found->widths);
                user.setMColoumInfo(found->mask);
            }
            return kTVXDone;
        }
    }
    return mDatabase.runOnConnection([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(KQuerySelectColumnInfoTable));
        stmt->setString(1, user.mUserID().toStdString());
        stmt->setString(2, type.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        if (rs->next()) {
            const ColumnRowValues row = columnRowValues(*rs);
            user.setMColoumWidthArray(row.widths);
            user.setMColoumInfo(row.mask);
        }
        return kTVXDone;
    });
}

void TVXPreferences::readColumnRowsForUser(const QString& userID)
{
    QHash<QString, ColumnRow> rows;
    const tvxsql::Rows rs = mDatabase.readAhead().rowsFor(mDatabase.liveConnection(), kQuerySelectUsersColumnRows, userID);
    while (rs->next()) {
        const ColumnRowValues row = columnRowValues(*rs);
        rows.insert(tvxsql::textColumn(*rs, 2), ColumnRow{row.widths, row.mask});
    }
    const std::lock_guard lock(mColumnRowsMutex);
    mColumnRows = std::move(rows);
    mColumnRowsRead = true;
}

std::vector<TVXReadAhead::Read> TVXPreferences::loadReads(const QString& userID)
{
    return {{kQueryAppPreference, userID},
            {kQuerySelectUsersColumnRows, userID},
            {kQueryMostViewedTable, userID},
            {kQueryRecentlyViewedTable, userID},
            {kQueryRecentlyModifiedTable, userID}};
}

void TVXPreferences::keepColumnRow(const QString& typeID, const TVXUser& user)
{
    const std::lock_guard lock(mColumnRowsMutex);
    if (mColumnRowsRead)
        mColumnRows.insert(typeID, ColumnRow{user.mColoumWidthArray(), user.mColoumInfo()});
}

TVXResult TVXPreferences::setShowColumnsInListViewForTypeName(const QString& typeID)
{
    const TVXUser& user = currentUser();
    if (user.mColoumWidthArray().size() < kListNoOfColumns)
        return kTVXStatementFailed;
    keepColumnRow(typeID, user);
    return writeColumnRow(mDatabase, user.mUserID(), typeID, user.mColoumWidthArray(), user.mColoumInfo());
}

void TVXPreferences::setShowColumnsInListViewBehind(const QStringList& typeIDs)
{
    const TVXUser& user = currentUser();
    if (user.mColoumWidthArray().size() < kListNoOfColumns || typeIDs.isEmpty())
        return;
    for (const QString& typeID : typeIDs)
        keepColumnRow(typeID, user);
    mDatabase.sendBehindWindow(
        [this, userID = user.mUserID(), typeIDs, widths = user.mColoumWidthArray(), mask = user.mColoumInfo()] {
            (void)writeColumnRows(mDatabase, userID, typeIDs, widths, mask);
        });
}
