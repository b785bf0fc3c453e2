#include "platform/ui/AlertPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace platform {
namespace {
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

} // namespace platform

int BMRunAlertPanel(const QString& title, const QString& message, const QString& defaultButton,
                    const QString& alternateButton, const QString& otherButton)
{
    platform::AlertRequest request{title.isEmpty() ? platform::standardAlertTitle() : title, message,
                                   defaultButton.isEmpty() ? QStringLiteral("OK") : defaultButton,
                                   alternateButton, otherButton};
    if (auto& r = platform::responder())
        return r(request);

    QMessageBox box(QMessageBox::Warning, request.title, request.message, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* def = box.addButton(request.defaultButton, QMessageBox::AcceptRole);
    QPushButton* alt = request.alternateButton.isEmpty()
        ? nullptr : box.addButton(request.alternateButton, QMessageBox::RejectRole);
    QPushButton* other = request.otherButton.isEmpty()
        ? nullptr : box.addButton(request.otherButton, QMessageBox::DestructiveRole);
    box.setDefaultButton(def);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (alt && clicked == alt)
        return platform::kAlertAlternateReturn;
    if (other && clicked == other)
        return platform::kAlertOtherReturn;
    return platform::kAlertDefaultReturn;
}
