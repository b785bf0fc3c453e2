#pragma once
// The settings that follow a user from computer to computer, owned by the
// database manager: one APPPREFTABLE row per user, read once at load and
// written column by column. The manager holds one of these: these are
// its preference calls.
#include "store/StoreTypes.h"
#include "store/session/ReadAhead.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class TVXRecentListsAccess;
class TVXStoreSession;
class TVXUser;
struct TVXSortDescriptor;

class TVXPreferences {
public:

    // Fills the user from its preference row (and then its recent lists).
    // Statement failures reach the caller (the load).
    void readUserPreferenceForTableForUser(TVXUser& user, TVXResult* code);
    // Inserts a row with the defaults of a new user; an existing row stays.
    void initUserPreferencesForUser(const QString& userID, const QString& userName, TVXResult* code);
    void saveBasicPreferencesForUser(const TVXUser& user, TVXResult* code);
    // The same sent behind the window (the quit's): the window's frame as it is now.
    void saveBasicPreferencesBehind(const TVXUser& user);
    void saveOptionPanelPreferencesForUser(const TVXUser& user, TVXResult* code);
    // The same as a save from the window: the values as they are now, sent
    // behind the window; its errors, then `answer` with the code, follow on
    // the main thread.
    void saveOptionPanelPreferencesBehind(const TVXUser& user, std::function<void(TVXResult)> answer);
    // The options window's OK: the same row and, for each of `columnTypeIDs`,
    // the user's column row (kept at once, as setShowColumnsInListViewBehind
    // keeps them), written together in one transaction behind the window;
    // `answer` gets the code of both.
    void saveOptionsBehind(const TVXUser& user, const QStringList& columnTypeIDs,
                           std::function<void(TVXResult)> answer);
    TVXResult saveLastViewForUser(const TVXUser& user);
    TVXResult saveCurrentGroupForUser(const TVXUser& user);
    // The same two sent behind the window (a view or group switch): the
    // values as they are now, written in order after the writes before them.
    void saveLastViewBehind(const TVXUser& user);
    void saveCurrentGroupBehind(const TVXUser& user);
    // The list's sorting and the login-attempt count set now and sent behind
    // the window (a view switch, an unlock).
    void setSortDescriptorBehind(const TVXSortDescriptor& descriptor);
    void setNumberofAttemptsLeftBehind(int16_t count, TVXUser& user);
    // The detail pane's state and the password generator's choices of the
    // signed-in user, set now and sent behind the window.
    void setToggleInfoBehind(bool show);
    void setPasswordGeneratorFlagsBehind(uint8_t flags);
    TVXResult saveToggleInfoForUser(const TVXUser& user);
    TVXResult saveSortInfoForUser(const TVXUser& user);
    TVXResult savePasswordGeneratorFlagForUser(const TVXUser& user);
    TVXResult saveNumberOfAttemptsForUser(const TVXUser& user);

    // The signed-in user's settings.
    TVXResult setToggleInfo(bool show);
    TVXSortDescriptor sortDescriptor(TVXResult* code = nullptr) const;
    TVXResult setSortDescriptor(const TVXSortDescriptor& descriptor);
    uint8_t passwordGeneratorFlags(TVXResult* code = nullptr) const;
    TVXResult setPasswordGeneratorFlags(uint8_t flags);
    bool autoLockEnabledWithInactiveTime(int* minutes, TVXResult* code = nullptr) const;
    int16_t numberofAttemptsLeft(const TVXUser& user, TVXResult* code = nullptr) const;
    TVXResult setNumberofAttemptsLeft(int16_t count, TVXUser* user);
    void setfont(const QFont& font);
    QList<int> columnWidthDetails(TVXResult* code = nullptr) const;
    // index 0: all types; otherwise entry index-1 of the types offered for
    // editing. Kept at once, sent behind the window (a view switch).
    void setColumnWidthDetails(const QList<int>& widths, int typeIndex);
    [[nodiscard]] int showColumnsInListViewReturnCode(TVXResult* code, const QString& typeID) const;
    // The signed-in user's column widths and shown columns for a type (null:
    // all types), read into the user or written from it. Once the load read
    // every row of the user's (readColumnRowsForUser), a read asks the server
    // nothing: a view or type switch waits for nothing.
    TVXResult readColoumWidthInfoForType(const QString& typeID);
    TVXResult setShowColumnsInListViewForTypeName(const QString& typeID);
    // The same for each of the types, kept at once and sent behind the window
    // in one statement (the options window); nothing when the user has fewer
    // widths than columns.
    void setShowColumnsInListViewBehind(const QStringList& typeIDs);
    // Every column row of the user, kept; on the caller's connection, under
    // its guard (the load). Statement failures reach the caller.
    void readColumnRowsForUser(const QString& userID);
    // What readUserPreferenceForTableForUser reads, in its order (sent ahead by the load).
    static std::vector<TVXReadAhead::Read> loadReads(const QString& userID);
    void saveSplitViewInformation(const QStringList& rects, const QString& name);
    std::optional<QStringList> getSplitViewInformationForName(const QString& name) const;

    // The frame <-> WINDOWPOS text conversions (screen of the given size).
    static QString getWindowDimensionsInWindowsStandard(const QRectF& frame, const QSizeF& screen, bool maximised);
    static QRectF getRectFromWindowPosition(const QString& text, const QSizeF& screen);
    static QRectF defaultWindowFrame(const QSizeF& screen);
    // SORTINFO packing.
    static int64_t packSortInfo(const TVXSortDescriptor& descriptor);
    static TVXSortDescriptor unpackSortInfo(int64_t value);
    // FONTNAME/FONTHEIGHT <-> font: the name carries bold and italic.
    static QString storedFontName(const QFont& font);
    static QFont fontFromStoredName(const QString& name, int pointSize);

    // Reading a user's preferences also reads the user's recent lists.
    TVXPreferences(TVXStoreSession& database, TVXRecentListsAccess& recentLists)
        : mDatabase(database)
        , mUserLists(recentLists)
    {
    }
    TVXPreferences(const TVXPreferences&) = delete;
    TVXPreferences& operator=(const TVXPreferences&) = delete;

private:
    TVXUser& currentUser() const;
    struct ColumnRow {
        QList<int> widths;
        uint64_t mask = 0;
    };
    void keepColumnRow(const QString& typeID, const TVXUser& user);

    TVXStoreSession& mDatabase;
    TVXRecentListsAccess& mUserLists;
    mutable std::mutex mColumnRowsMutex; // the load's worker fills them while the window reads
    QHash<QString, ColumnRow> mColumnRows; // by type, the user's as the load found them and since written
    bool mColumnRowsRead = false;
};
