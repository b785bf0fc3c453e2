#include "admin/TVXPopButton.h"

void TVXPopButton::showPopup()
{
    if (mShouldShow && !mShouldShow())
        return;
    QComboBox::showPopup();
}
