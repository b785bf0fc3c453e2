#pragma once
// What a sheet shows while its OK's save waits for the server: a busy
// cursor, after 300 ms a waiting line, its buttons out of use, and neither
// closing nor Escape ends its run until the answer.
#include <QObject>
#include <QPointer>

#include <initializer_list>
#include <utility>
#include <vector>

class QLabel;
class QTimer;
class QWidget;

namespace platform {

class SaveWait : public QObject {
public:
    // `controls` are out of use while the save waits.
    SaveWait(QWidget* sheet, std::initializer_list<QWidget*> controls);
    ~SaveWait() override;

    // The waiting line, for the sheet to lay out (hidden until needed).
    QLabel* line() const { return mLine; }
    void show(bool saving);
    bool isSaving() const { return mSaving; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> mSheet;
    std::vector<QPointer<QWidget>> mControls;
    std::vector<std::pair<QPointer<QWidget>, bool>> mEnabledBefore;
    QLabel* mLine = nullptr;
    QTimer* mLineTimer = nullptr;
    bool mSaving = false;
};

} // namespace platform
