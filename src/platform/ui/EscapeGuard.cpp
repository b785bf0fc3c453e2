#include "platform/ui/EscapeGuard.h"

#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace platform {

namespace {

void addText(QCryptographicHash& hash, const QString& text)
{
    hash.addData(QByteArray::number(text.size()));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * qsizetype(sizeof(char16_t))));
}

bool insideCalendar(const QWidget* widget, const QWidget* sheet)
{
    // A date picker's own month and year controls are no input of the sheet.
    for (const QWidget* w = widget; w && w != sheet; w = w->parentWidget())
        if (qobject_cast<const QCalendarWidget*>(w))
            return true;
    return false;
}

} // namespace

QByteArray inputDigest(const QWidget* sheet)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!sheet)
        return {};
    for (const QWidget* w : sheet->findChildren<QWidget*>()) {
        if (insideCalendar(w, sheet))
            continue;
        if (const auto* line = qobject_cast<const QLineEdit*>(w)) {
            addText(hash, line->text());
        } else if (const auto* plain = qobject_cast<const QPlainTextEdit*>(w)) {
            addText(hash, plain->toPlainText());
        } else if (const auto* rich = qobject_cast<const QTextEdit*>(w)) {
            addText(hash, rich->toPlainText());
        } else if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            hash.addData(QByteArray::number(combo->currentIndex()));
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            if (button->isCheckable())
                hash.addData(button->isChecked() ? "1" : "0");
        } else if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(w)) {
            addText(hash, spin->text());
        } else if (const auto* view = qobject_cast<const QAbstractItemView*>(w)) {
            // Ticks in a table (members, permissions).
            if (const QAbstractItemModel* model = view->model())
                for (int row = 0; row < model->rowCount(); ++row)
                    for (int column = 0; column < model->columnCount(); ++column) {
                        const QVariant tick = model->index(row, column).data(Qt::CheckStateRole);
                        if (tick.isValid())
                            hash.addData(QByteArray::number(row) + ':' + QByteArray::number(tick.toInt()));
                    }
        }
    }
    return hash.result();
}

EscapeGuard::EscapeGuard(QWidget* sheet, std::function<QByteArray()> extras)
    : QObject(sheet), mSheet(sheet), mExtras(std::move(extras))
{
    sheet->installEventFilter(this);
}

QByteArray EscapeGuard::current() const { return inputDigest(mSheet) + (mExtras ? mExtras() : QByteArray()); }

void EscapeGuard::take() { mTaken = current(); }

bool EscapeGuard::changed() const { return !mTaken.isEmpty() && mTaken != current(); }

bool EscapeGuard::mayDiscard() const
{
    if (!changed())
        return true;
    const QString question =
        QCoreApplication::translate("EscapeGuard", "You have made changes. Do you want to discard them?");
    return BMRunAlertPanel(standardAlertTitle(), question, QCoreApplication::translate("EscapeGuard", "No"),
                           QCoreApplication::translate("EscapeGuard", "Yes"), QString())
           == kAlertAlternateReturn;
}

bool EscapeGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mSheet && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && (isRunHeld(mSheet) || !mayDiscard()))
        return true; // No, or a save waits: the sheet stays with its input
    return QObject::eventFilter(watched, event);
}

} // namespace platform
