#pragma once
// What the options window shows and stores, apart from the window: the
// choices read from and written to the signed-in user, the lock-time check,
// the column matrix and the texts the controls show.

#include "store/session/ResultCodes.h"
#include <QColor>
#include <QFont>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class TVXPreferences;
class TVXStoreCaches;
class TVXUser;

// The column matrix: 5 rows by 3 columns; the cell (r, c) stands for entry
// r + 5c of kColumnMasksArray. The last cell of the last column is unused.
inline constexpr int kShowColumnPrefNoofRows = 5;
inline constexpr int kShowColumnPrefNoofColumns = 3;
using ColumnCells = std::array<std::array<bool, kShowColumnPrefNoofColumns>, kShowColumnPrefNoofRows>;

// Where the clipboard clearing radio stands.
inline constexpr int kClearClipboardOnExitColumn = 0;
inline constexpr int kClearClipboardAfterColumn = 1;

inline constexpr int kMinLockMinutes = 1;
inline constexpr int kMaxLockMinutes = 60;

struct OptionsChoices {
    QFont font;
    QColor rowColor;
    bool autoLock = false;
    int lockMinutes = 0;
    bool autoSubmit = false;
    bool clearClipboard = false;
    int clipboardColumn = kClearClipboardAfterColumn;
    int clipboardMinutes = 0;
    uint64_t columnMask = 0;
};

namespace options {

// The entry of kColumnMasksArray a cell stands for; 0 for the unused cell.
uint64_t columnBitForCell(int row, int column);
bool isUsedColumnCell(int row, int column);
uint64_t columnMaskFromCells(const ColumnCells& cells);
ColumnCells cellsFromColumnMask(uint64_t mask);
// The cell's caption ("Type", "Group", "Field 1" ... "Notes", "Attachment").
QString columnCellTitle(int row, int column);

// The controls' state for the user's options.
OptionsChoices choicesFromUser(const TVXUser& user);

// The refusal of OK, or an empty text: the lock minutes are checked only when
// the user has a password and automatic lock is on.
QString lockMinutesRefusal(const OptionsChoices& choices, bool userHasPassword);

// The user's options from the choices, column mask apart (saveColumnChoices).
void storeChoicesInUser(const OptionsChoices& choices, TVXUser& user);

// How a changed column mask is to be stored, given the list's selected type.
// asks whether all types take the settings when the all-types entry is selected;
// answer(true) means "Yes". Returns whether the mask differed (and was stored).
// The user's width list is filled up to every column first, so that the
// column row can be written for a user who never resized a column.
bool saveColumnChoices(const TVXStoreCaches& caches, TVXPreferences& preferences, TVXUser& user, uint64_t mask,
                       const QString& selectedTypeUID, const std::function<bool()>& applyToAllTypes);

// Saving on OK: the user's options and the column settings, as
// saveColumnChoices takes them, stored together in one write behind the
// window. `answer` gets that write's result code on the main thread (a
// failure at once without a signed-in user).
void saveUserPreference(const TVXStoreCaches& caches, TVXPreferences& preferences, const OptionsChoices& choices,
                        const QString& selectedTypeUID, const std::function<bool()>& applyToAllTypes,
                        std::function<void(TVXResult)> answer);

// "Helvetica - 13 pt size".
QString fontDescription(const QFont& font);
// "After 05     Minutes".
QString clipboardAfterTitle(int minutes);

// The width a column gets when the user has none stored.
inline constexpr int kDefaultColumnWidth = 100;

} // namespace options
