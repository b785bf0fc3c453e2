#pragma once
// A pop-up button that asks its delegate before its menu opens; the delegate
// may do something else instead (the account panel opens its group list).
#include <QComboBox>

#include <functional>

class TVXPopButton : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    // Answers whether the menu may open; none: it always may.
    void setShouldShowPopUpMenu(std::function<bool()> delegate) { mShouldShow = std::move(delegate); }
    void showPopup() override;

private:
    std::function<bool()> mShouldShow;
};
