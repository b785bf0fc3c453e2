#include "platform/ui/AlertPanel.h"

#include "platform/ui/ModalRun.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

namespace platform {
namespace {
constexpr char kAlertCodeProperty[] = "alertCode";

AlertResponder& responder()
{
    static AlertResponder r;
    return r;
}
} // namespace

QString standardAlertTitle()
{
    return QStringLiteral("Tolvanex Enterprise Alert!");
}

AlertResponder setAlertResponder(AlertResponder r)
{
    AlertResponder previous = std::move(responder());
    responder() = std::move(r);
    return previous;
}

std::unique_ptr<QMessageBox> buildAlertBox(const AlertRequest& request, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, request.title, request.message,
                                             QMessageBox::NoButton, parent);
    box->setWindowModality(Qt::ApplicationModal);
    QPushButton* def = box->addButton(request.defaultButton, QMessageBox::AcceptRole);
    def->setProperty(kAlertCodeProperty, kAlertDefaultReturn);
    if (!request.alternateButton.isEmpty())
        box->addButton(request.alternateButton, QMessageBox::RejectRole)
            ->setProperty(kAlertCodeProperty, kAlertAlternateReturn);
    if (!request.otherButton.isEmpty())
        box->addButton(request.otherButton, QMessageBox::DestructiveRole)
            ->setProperty(kAlertCodeProperty, kAlertOtherReturn);
    box->setDefaultButton(def);
    // Wide enough for the whole title in the frame's title bar (the message
    // label wraps by itself); the frame's buttons take about 150 pixels.
    const int titleWidth =
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(request.title) + 150;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
    box->adjustSize();
    return box;
}

} // namespace platform

int BMRunAlertPanel(const QString& title, const QString& message, const QString& defaultButton,
                    const QString& alternateButton, const QString& otherButton)
{
    platform::AlertRequest request{title.isEmpty() ? platform::standardAlertTitle() : title, message,
                                   defaultButton.isEmpty() ? QStringLiteral("OK") : defaultButton,
                                   alternateButton, otherButton};
    if (auto& r = platform::responder())
        return r(request);

    const std::unique_ptr<QMessageBox> alert = platform::buildAlertBox(request, QApplication::activeWindow());
    // A registered run: the lock hides the alert without ending it.
    platform::runDialog(alert.get());
    QAbstractButton* clicked = alert->clickedButton();
    const QVariant code = clicked ? clicked->property(platform::kAlertCodeProperty) : QVariant();
    return code.isValid() ? code.toInt() : platform::kAlertDefaultReturn;
}
