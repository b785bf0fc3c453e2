#pragma once
// The master-password panels: setting a first master password (new and
// confirm), or changing it (old, new and confirm).
#include "app/passwords/PasswordPanelRules.h"

#include "platform/ui/SheetFrame.h"

class QLineEdit;

class BMMasterPasswordPanel : public platform::SheetPanel {
    Q_OBJECT
public:
    // changePanel: the panel that asks for the old master password first.
    explicit BMMasterPasswordPanel(bool changePanel, QWidget* parent = nullptr);

    bool isChangePanel() const { return mChangePanel; }
    // Empties the fields and gives the first one the focus.
    void prepare();
    passwordpanels::MasterPasswordInput input() const;
    // Escape is Cancel.
    void reject() override { emit cancelClicked(); }

    // Set panel: the new and confirm fields. Change panel: old, new, confirm.
    QLineEdit* mOldMasterPasswordField() const { return m_oldField; }
    QLineEdit* mNewMasterPasswordField() const { return m_newField; }
    QLineEdit* mConfirmMasterPasswordField() const { return m_confirmField; }

private:
    bool mChangePanel;
    QLineEdit* m_oldField = nullptr;
    QLineEdit* m_newField = nullptr;
    QLineEdit* m_confirmField = nullptr;
};
