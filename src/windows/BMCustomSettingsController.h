#pragma once
// Runs the group sheet, the type sheet and the per-record field-set sheet for
// a caller that reads the result synchronously and stores it itself.
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "store/session/ResultCodes.h"
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

    // A store from a distant server: OK's checks passed, the saver starts
    // storing what the sheet built and hands the store's code to `answer`
    // later, on the main thread; it answers false when it refused at once
    // (having said why): the sheet then stays as it is. Meanwhile the sheet
    // keeps its input, shows a busy cursor and, after 300 ms, a waiting
    // line; OK, Cancel, Escape and closing wait for the answer. Stored: the
    // run ends with what was stored. Refused: the failure is shown (a name
    // another client stored as today's duplicate message) and the sheet
    // stays with its input.
    using SaveAnswer = std::function<void(TVXResult)>;
    using GroupSaver = std::function<bool(const std::shared_ptr<BMGroup>& group, SaveAnswer answer)>;
    using TypeSaver = std::function<bool(const std::shared_ptr<TVXType>& type, int operation, SaveAnswer answer)>;

    // A new group built from the sheet, or null (cancelled). Operation: 0 add,
    // 1 edit (the result keeps the group's identifier), 2 duplicate (the name
    // is shown with " copy" appended). With a saver, OK stores the group
    // before the sheet closes, and the duplicate test reads the names in memory.
    std::shared_ptr<BMGroup> runGroupSettingsPanelForWindow(QWidget* parent, const std::shared_ptr<BMGroup>& group,
                                                            int& operation, GroupSaver saver = {});
    // The edited type itself (operation 1, kept as an edit) or a new type
    // (operation set to 0), or null. Operation 4 edits one record's field set.
    // With a saver as for groups; an edit's values are stored on a copy.
    std::shared_ptr<TVXType> runCustomSettingsPanelForWindow(QWidget* parent, const std::shared_ptr<TVXType>& type,
                                                             int& operation, TypeSaver saver = {});
    // Whether OK's save waits for the server's answer.
    bool isSaving() const;
    // How the sheet asked its run to end (OK -1000, Cancel -1001), if it did:
    // what a test's modal script returns once a save is answered.
    std::optional<int> requestedEnd() const { return mRequestedEnd; }

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

    // The stored-name tests; the store's own unless replaced (tests without a
    // server). With a saver the sheets ask the names in memory instead, unless
    // replaced here too.
    void setNameTests(settingsrules::NameTaken groupTaken, settingsrules::NameTaken typeTaken);

    BMGroupSettingsPanel* groupSettingsPanel();
    BMTypeSettingsPanel* customSettingsPanel();

private:
    void fillTypeSheet(const TVXType* type);
    // The answer to OK's save of run `run`; nothing once that run is over.
    void groupSaveAnswered(quint64 run, std::shared_ptr<BMGroup> built, TVXResult code);
    void typeSaveAnswered(quint64 run, std::shared_ptr<TVXType> built, int operation, TVXResult code);
    void endRun(int code);
    // The type OK builds: the edited type's copy (operation 1) or a new type (0).
    std::shared_ptr<TVXType> typeForRunResult(int& operation) const;
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
    settingsrules::NameTaken mGroupHeld; // with a saver
    settingsrules::NameTaken mTypeHeld;
    GroupSaver mGroupSaver;
    TypeSaver mTypeSaver;
    quint64 mRun = 0; // counts the runs: an answer for an earlier one changes nothing
    std::optional<int> mRequestedEnd;

    // group sheet
    settingsrules::GroupSheetLists mGroupLists;
    QString mSelectedGroupUID;
    QString mOldGroupName;
    bool mShouldEditGroup = false;
    bool mGroupAccepted = false;
    std::shared_ptr<BMGroup> mStoredGroup;

    // type sheet
    settingsrules::TypeSheetState mTypeState;
    std::shared_ptr<TVXType> mTempCustomTypeReference;
    std::shared_ptr<TVXType> mCustomTypeSaved;
    std::shared_ptr<TVXType> mResetInfo;
    bool mTypeAccepted = false;
    std::shared_ptr<TVXType> mStoredType;
    int mStoredOperation = 0;
    bool mIsCustomizing = false;
    bool mShouldHideControls = false;
};
