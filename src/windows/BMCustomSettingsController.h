#pragma once
// Runs the group sheet, the type sheet and the per-record field-set sheet for
// a caller that reads the result synchronously and stores it itself.
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

#include "windows/GroupTypeSettingsRules.h"

class BMGroup;
namespace platform {
class EscapeGuard;
}
class BMGroupSettingsPanel;
class BMTypeSettingsPanel;
class QWidget;
class TVXGroupTypeWriter;
class TVXIconsAccess;
class TVXStoreCaches;
class TVXType;

class BMCustomSettingsController : public QObject {
    Q_OBJECT
public:
    // The one the application uses, over the shared store.
    static BMCustomSettingsController& sharedCustomSettingsController();
    BMCustomSettingsController(TVXStoreCaches& caches, TVXIconsAccess& icons, TVXGroupTypeWriter& writer,
                               QObject* parent = nullptr);
    // Over one store that has all three parts.
    template <class Store>
    explicit BMCustomSettingsController(Store& store, QObject* parent = nullptr)
        : BMCustomSettingsController(store.caches(), store.icons(), store, parent)
    {
    }
    ~BMCustomSettingsController() override;

    // A new group built from the sheet, or null (cancelled). Operation: 0 add,
    // 1 edit (the result keeps the group's identifier), 2 duplicate (the name
    // is shown with " copy" appended).
    std::shared_ptr<BMGroup> runGroupSettingsPanelForWindow(QWidget* parent, const std::shared_ptr<BMGroup>& group,
                                                            int& operation);
    // The edited type itself (operation 1, kept as an edit) or a new type
    // (operation set to 0), or null. Operation 4 edits one record's field set.
    std::shared_ptr<TVXType> runCustomSettingsPanelForWindow(QWidget* parent, const std::shared_ptr<TVXType>& type,
                                                             int& operation);

    // The record sheet's Customise button: runs the type sheet on the record's
    // own field set. State in and out; the answer is the type whose labels and
    // masks the record sheet shows next (null when refused).
    struct RecordFieldSet {
        std::shared_ptr<TVXType> type;             // the record sheet's chosen type
        std::shared_ptr<TVXType> recordCustomType; // the record's own type, if any
        std::shared_ptr<TVXType> typeCustomFields; // the field set customised in this sheet run
        bool isTypeCustomizedOnce = false;
        bool isCustomFromDetailPanel = false;
        bool customizing = false;
    };
    std::shared_ptr<TVXType> displayCustomSettingsPanel(QWidget* parent, RecordFieldSet& fields);

    void setCustomizing(bool customizing) { mIsCustomizing = customizing; }
    bool isCustomizing() const { return mIsCustomizing; }
    void setShouldHideControls(bool hide) { mShouldHideControls = hide; }
    bool shouldHideControls() const { return mShouldHideControls; }
    void setResetInfo(std::shared_ptr<TVXType> type) { mResetInfo = std::move(type); }

    // The buttons. The OK actions answer whether the run ends.
    bool customGroupSettingsOK();
    bool customSettingsOK();
    void customSettingsCancel();
    void customSettingsReset();

    // The stored-name tests; the store's own unless replaced (tests without a server).
    void setNameTests(settingsrules::NameTaken groupTaken, settingsrules::NameTaken typeTaken);

    BMGroupSettingsPanel* groupSettingsPanel();
    BMTypeSettingsPanel* customSettingsPanel();

private:
    void fillTypeSheet(const TVXType* type);
    std::shared_ptr<TVXType> typeFromControls(const TVXType* reference) const;
    QString selectedGroupUIDForType() const;

    TVXStoreCaches& mCaches;
    TVXIconsAccess& mIcons;
    TVXGroupTypeWriter& mWriter;
    BMGroupSettingsPanel* mGroupSettingsPanel = nullptr;
    BMTypeSettingsPanel* mCustomSettingsPanel = nullptr;
    platform::EscapeGuard* mGroupEscape = nullptr;
    platform::EscapeGuard* mTypeEscape = nullptr;
    settingsrules::NameTaken mGroupTaken;
    settingsrules::NameTaken mTypeTaken;

    // group sheet
    settingsrules::GroupSheetLists mGroupLists;
    QString mSelectedGroupUID;
    QString mOldGroupName;
    bool mShouldEditGroup = false;
    bool mGroupAccepted = false;

    // type sheet
    settingsrules::TypeSheetState mTypeState;
    std::shared_ptr<TVXType> mTempCustomTypeReference;
    std::shared_ptr<TVXType> mCustomTypeSaved;
    std::shared_ptr<TVXType> mResetInfo;
    bool mTypeAccepted = false;
    bool mIsCustomizing = false;
    bool mShouldHideControls = false;
};
