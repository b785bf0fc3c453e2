#include "windows/OptionsChoices.h"

#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "store/accounts/PreferencesStore.h"
#include "store/loading/StoreCaches.h"

#include <QCoreApplication>

namespace options {

bool isUsedColumnCell(int row, int column)
{
    if (row < 0 || row >= kShowColumnPrefNoofRows || column < 0 || column >= kShowColumnPrefNoofColumns)
        return false;
    return row + kShowColumnPrefNoofRows * column < kListNoOfColumns;
}

uint64_t columnBitForCell(int row, int column)
{
    return isUsedColumnCell(row, column) ? kColumnMasksArray[row + kShowColumnPrefNoofRows * column] : 0;
}

uint64_t columnMaskFromCells(const ColumnCells& cells)
{
    uint64_t mask = 0;
    for (int c = 0; c < kShowColumnPrefNoofColumns; ++c)
        for (int r = 0; r < kShowColumnPrefNoofRows; ++r)
            if (cells[r][c])
                mask |= columnBitForCell(r, c);
    return mask;
}

ColumnCells cellsFromColumnMask(uint64_t mask)
{
    ColumnCells cells{};
    for (int c = 0; c < kShowColumnPrefNoofColumns; ++c)
        for (int r = 0; r < kShowColumnPrefNoofRows; ++r)
            cells[r][c] = (mask & columnBitForCell(r, c)) != 0;
    return cells;
}

QString columnCellTitle(int row, int column)
{
    if (!isUsedColumnCell(row, column))
        return QString();
    const int index = row + kShowColumnPrefNoofRows * column;
    if (index == 0)
        return QCoreApplication::translate("BMOptionsWindowController", "Type");
    if (index == 1)
        return QCoreApplication::translate("BMOptionsWindowController", "Group");
    if (index == 12)
        return QCoreApplication::translate("BMOptionsWindowController", "Notes");
    if (index == 13)
        return QCoreApplication::translate("BMOptionsWindowController", "Attachment");
    return QCoreApplication::translate("BMOptionsWindowController", "Field %1").arg(index - 1);
}

OptionsChoices choicesFromUser(const TVXUser& user)
{
    OptionsChoices choices;
    choices.font = user.mTextFont();
    choices.rowColor = user.mRowColor().isValid() ? user.mRowColor() : QColor(Qt::white);
    choices.autoLock = user.mAutoLOck();
    choices.lockMinutes = user.mLockTime();
    choices.autoSubmit = user.mAutoSubmit();
    choices.clearClipboard = user.mClipBoardOnExit() || user.mClearClipBoardTimer() != 0;
    choices.clipboardColumn = user.mClipBoardOnExit() ? kClearClipboardOnExitColumn : kClearClipboardAfterColumn;
    choices.clipboardMinutes = user.mClearClipBoardTimer();
    choices.columnMask = user.mColoumInfo();
    return choices;
}

QString lockMinutesRefusal(const OptionsChoices& choices, bool userHasPassword)
{
    if (!userHasPassword || !choices.autoLock)
        return QString();
    if (choices.lockMinutes >= kMinLockMinutes && choices.lockMinutes <= kMaxLockMinutes)
        return QString();
    return QCoreApplication::translate("BMOptionsWindowController", "Please enter an integer between 1 and 60");
}

void storeChoicesInUser(const OptionsChoices& choices, TVXUser& user)
{
    user.setMClearClipboardState(choices.clearClipboard);
    if (choices.clearClipboard) {
        user.setMClipBoardOnExit(choices.clipboardColumn == kClearClipboardOnExitColumn);
        user.setMClearClipBoardTimer(static_cast<int16_t>(choices.clipboardMinutes));
    } else {
        // Off must stay off: the stored minutes alone turn clearing back on
        // at the next showing and the next log-in.
        user.setMClipBoardOnExit(false);
        user.setMClearClipBoardTimer(0);
    }
    user.setMAutoSubmit(choices.autoSubmit);
    user.setMMAxLockTime(kMaxLockMinutes);
    user.setMAutoLOck(choices.autoLock);
    user.setMLockTime(static_cast<int16_t>(choices.lockMinutes));
    user.setMTextFont(choices.font);
    user.setMRowColor(choices.rowColor);
}

namespace {

// The types whose column rows a changed mask goes to (none when unchanged),
// the user's mask and widths set as they will be stored.
QStringList columnChoicesToSave(const TVXStoreCaches& caches, TVXUser& user, uint64_t mask,
                                const QString& selectedTypeUID, const std::function<bool()>& applyToAllTypes)
{
    if (mask == user.mColoumInfo())
        return {};
    user.setMColoumInfo(mask);
    QList<int> widths = user.mColoumWidthArray();
    if (widths.size() < kListNoOfColumns) {
        while (widths.size() < kListNoOfColumns)
            widths.append(kDefaultColumnWidth);
        user.setMColoumWidthArray(widths);
    }
    QStringList typeIDs{selectedTypeUID};
    if (selectedTypeUID == kAllCategoriesUID && applyToAllTypes && applyToAllTypes())
        for (const auto& type : caches.typesForEditing(false))
            typeIDs.append(type->mTypeUID());
    return typeIDs;
}

} // namespace

bool saveColumnChoices(const TVXStoreCaches& caches, TVXPreferences& preferences, TVXUser& user, uint64_t mask,
                       const QString& selectedTypeUID, const std::function<bool()>& applyToAllTypes)
{
    const QStringList typeIDs = columnChoicesToSave(caches, user, mask, selectedTypeUID, applyToAllTypes);
    if (typeIDs.isEmpty())
        return false;
    // Column settings are preferences, sent behind the window: a failed save
    // goes to the error path.
    preferences.setShowColumnsInListViewBehind(typeIDs);
    return true;
}

void saveUserPreference(const TVXStoreCaches& caches, TVXPreferences& preferences, const OptionsChoices& choices,
                        const QString& selectedTypeUID, const std::function<bool()>& applyToAllTypes,
                        std::function<void(TVXResult)> answer)
{
    TVXUser* user = caches.getCurrentUser();
    if (!user) {
        if (answer)
            answer(kTVXStatementFailed);
        return;
    }
    storeChoicesInUser(choices, *user);
    // The column rows go with the options' row, one answer for both.
    const QStringList columnTypes =
        columnChoicesToSave(caches, *user, choices.columnMask, selectedTypeUID, applyToAllTypes);
    preferences.saveOptionsBehind(*user, columnTypes, std::move(answer));
}

QString fontDescription(const QFont& font)
{
    return QCoreApplication::translate("BMOptionsWindowController", "%1 - %2 pt size")
        .arg(font.family())
        .arg(static_cast<int>(font.pointSizeF()));
}

QString clipboardAfterTitle(int minutes)
{
    return QCoreApplication::translate("BMOptionsWindowController", "After %1     Minutes")
        .arg(minutes, 2, 10, QLatin1Char('0'));
}

} // namespace options
