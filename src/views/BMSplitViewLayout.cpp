#include "views/BMSplitViewLayout.h"

#include "platform/core/UserDefaults.h"
#include "store/accounts/PreferencesStore.h"

#include <QRegularExpression>
#include <QSplitter>

namespace bmsplit {

QString stringFromRect(const QRect& rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

QRect rectFromString(const QString& text, bool* ok)
{
    if (ok)
        *ok = false;
    static const QRegularExpression form(QStringLiteral(
        R"(^\s*\{\s*\{\s*(-?[0-9.]+)\s*,\s*(-?[0-9.]+)\s*\}\s*,\s*\{\s*(-?[0-9.]+)\s*,\s*(-?[0-9.]+)\s*\}\s*\}\s*$)"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        return {};
    const auto number = [&](int i) { return qRound(match.captured(i).toDouble()); };
    const int w = number(3);
    const int h = number(4);
    if (w < 0 || h < 0)
        return {};
    if (ok)
        *ok = true;
    return QRect(number(1), number(2), w, h);
}

QStringList layoutOf(const QSplitter& splitter)
{
    QStringList layout;
    const QList<int> sizes = splitter.sizes();
    for (int i = 0; i < splitter.count(); ++i) {
        const QWidget* pane = splitter.widget(i);
        const bool collapsed = sizes.value(i) == 0 || pane->isHidden();
        layout.append(stringFromRect(collapsed ? QRect(0, 0, 0, 0) : pane->geometry()));
    }
    return layout;
}

QList<int> restoredSizes(const QList<int>& currentSizes, const QStringList& stored, Qt::Orientation orientation)
{
    QList<int> sizes = currentSizes;
    const qsizetype n = qMin(sizes.size(), stored.size());
    for (qsizetype i = 0; i < n; ++i) {
        bool ok = false;
        const QRect rect = rectFromString(stored.at(i), &ok);
        if (!ok)
            continue;
        if (rect.width() <= 0 || rect.height() <= 0)
            sizes[i] = 0;
        else
            sizes[i] = orientation == Qt::Horizontal ? rect.width() : rect.height();
    }
    return sizes;
}

void saveLayoutPreferenceWithName(const QSplitter& splitter, const QString& name, TVXPreferences& preferences)
{
    preferences.saveSplitViewInformation(layoutOf(splitter), name);
}

void restoreLayoutPreferenceFromName(QSplitter& splitter, const QString& name, const TVXPreferences& preferences)
{
    std::optional<QStringList> stored = preferences.getSplitViewInformationForName(name);
    if (!stored) {
        const QVariant kept = platform::UserDefaults::value(name);
        if (!kept.isValid())
            return;
        stored = kept.toStringList();
    }
    if (stored->isEmpty())
        return;
    splitter.setSizes(restoredSizes(splitter.sizes(), *stored, splitter.orientation()));
}

} // namespace bmsplit
