#pragma once
// Escape in a sheet throws its input away: with typed changes it asks first.
#include <QByteArray>
#include <QObject>

#include <functional>

class QWidget;

namespace platform {

// A digest of what a sheet's controls hold (texts, choices, ticks), so that
// no copy of a typed secret is kept to compare with.
QByteArray inputDigest(const QWidget* sheet);

// Installed on a sheet: Escape goes on to the sheet's own handling unless
// the input changed since take() and the user answers No to the question.
class EscapeGuard : public QObject {
public:
    // `extras` gives what the sheet holds beyond its controls (an icon chosen).
    explicit EscapeGuard(QWidget* sheet, std::function<QByteArray()> extras = {});

    // The input as the sheet was filled.
    void take();
    void forget() { mTaken.clear(); }
    bool changed() const;
    // True when the sheet may be left: nothing changed, or the user said Yes.
    bool mayDiscard() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QByteArray current() const;

    QWidget* mSheet;
    std::function<QByteArray()> mExtras;
    QByteArray mTaken;
};

} // namespace platform
