#pragma once
// The modal alert of every window. Tests install a responder that answers by
// script and records what was shown, so no test ever blocks on a panel.
#include <QString>

#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

namespace platform {

// Button codes of an alert run, as the callers compare them.
constexpr int kAlertDefaultReturn = 1;
constexpr int kAlertAlternateReturn = 0;
constexpr int kAlertOtherReturn = -1;

// The title used when a caller passes none.
QString standardAlertTitle(); // "Tolvanex Enterprise Alert!"

struct AlertRequest {
    QString title;
    QString message;
    QString defaultButton;
    QString alternateButton;
    QString otherButton;
};

using AlertResponder = std::function<int(const AlertRequest&)>;

// Replaces the real panel (pass an empty function to restore it). Returns the previous one.
AlertResponder setAlertResponder(AlertResponder responder);

// The panel BMRunAlertPanel runs, sized to show its title and message whole;
// its buttons in the order default, alternate, other.
std::unique_ptr<QMessageBox> buildAlertBox(const AlertRequest& request, QWidget* parent = nullptr);

} // namespace platform

// Runs an application-modal alert and returns the button code. An empty title
// means the standard title; an empty default button means "OK"; empty
// alternate/other buttons are not shown.
int BMRunAlertPanel(const QString& title, const QString& message, const QString& defaultButton,
                    const QString& alternateButton = {}, const QString& otherButton = {});
