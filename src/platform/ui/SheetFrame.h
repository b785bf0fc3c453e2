#pragma once
// The frame every sheet and panel shares: a column with the sheet margins, and
// a row of buttons at its foot, the sheet's own commands on the left and
// Cancel and OK on the right, OK the default button.
#include <QDialog>
#include <QMargins>
#include <QString>

#include <initializer_list>
#include <utility>

class QHBoxLayout;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace platform {

inline constexpr QMargins kSheetMargins(18, 18, 18, 14);

struct SheetButtons {
    QPushButton* cancel = nullptr;
    QPushButton* ok = nullptr;
};

class SheetFrame {
public:
    // Lays the sheet out as a column with the sheet margins and the given spacing.
    explicit SheetFrame(QWidget* sheet, int spacing = 12);

    QVBoxLayout* column() const { return mColumn; }

    // Cancel and OK (the default button), with these object names
    // where given, in the foot row after the leading widgets.
    SheetButtons addOkCancel(const QString& okName = {}, const QString& cancelName = {},
                             std::initializer_list<QWidget*> leading = {});
    // The foot row: the leading widgets, a stretch, then the trailing ones.
    QHBoxLayout* addButtonRow(std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing);

private:
    QVBoxLayout* mColumn;
};

// Cancel then OK (the default button), not yet laid out.
SheetButtons makeOkCancel(const QString& okName = {}, const QString& cancelName = {});
// The leading widgets, a stretch, then the trailing ones.
QHBoxLayout* buttonRow(std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing);

// A new widget of a sheet with the object name that tests and style sheets find it by.
template <typename Widget, typename... Args>
Widget* named(const QString& objectName, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(objectName);
    return widget;
}

// Moves the window to the middle of `over` when that is shown, else of the
// screen, kept whole on the screen.
void placeCentred(QWidget* window, const QWidget* over);

// OK stops the application-modal run, Cancel aborts it.
void endModalRunOnButtons(const SheetButtons& buttons);
// The same for a stock dialog's own buttons: accepted stops the run, rejected aborts it.
void endModalRunOnDialog(QDialog* dialog);

// A panel in the shared frame whose OK and Cancel the controller running it
// answers: its content goes in column(), then addOkCancel() closes the frame.
class SheetPanel : public QDialog {
    Q_OBJECT
public:
    QPushButton* okButton() const { return mButtons.ok; }
    QPushButton* cancelButton() const { return mButtons.cancel; }

signals:
    void okClicked();
    void cancelClicked();

protected:
    explicit SheetPanel(QWidget* parent, int spacing = 12);
    QVBoxLayout* column() const { return mFrame.column(); }
    void addOkCancel(const QString& okName = {}, const QString& cancelName = {});

private:
    SheetFrame mFrame;
    SheetButtons mButtons;
};

} // namespace platform
