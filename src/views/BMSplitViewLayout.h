#pragma once
// Remembered split-view layouts: one rectangle text per pane, in pane order,
// in the form "{{x, y}, {w, h}}"; a collapsed pane is the empty rectangle.
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class QSplitter;
class TVXPreferences;

namespace bmsplit {

QString stringFromRect(const QRect& rect);
// The rectangle a text gives; the empty rectangle (and *ok false) for a text
// that is not a rectangle.
QRect rectFromString(const QString& text, bool* ok = nullptr);

// The layout texts of the splitter's panes as they stand.
QStringList layoutOf(const QSplitter& splitter);
// The pane sizes a stored layout gives: the first min(stored, panes) panes
// take the stored width (side by side) or height (stacked); an empty stored
// rectangle collapses its pane to 0; the other panes, and panes whose text is
// no rectangle at all, keep their sizes.
QList<int> restoredSizes(const QList<int>& currentSizes, const QStringList& stored, Qt::Orientation orientation);

// Hands the layout to the user's preferences (kept on this computer under the name).
void saveLayoutPreferenceWithName(const QSplitter& splitter, const QString& name, TVXPreferences& preferences);
// Nothing happens when no layout is stored under the name.
void restoreLayoutPreferenceFromName(QSplitter& splitter, const QString& name, const TVXPreferences& preferences);

} // namespace bmsplit
