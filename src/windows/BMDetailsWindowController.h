#pragma once
// The record sheet: adds, edits and duplicates one record. The caller hands
// it a record and an operation code, runs it, and gets back a new record
// built from the controls (or none) with the operation possibly rewritten.
// Only a duplicate made from inside the sheet is stored by the sheet itself.

#include "platform/ui/SaveWait.h"
#include "store/session/ResultCodes.h"
#include "windows/RecordDetailsLogic.h"

#include <QDate>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class BMGroup;
namespace platform {
class EscapeGuard;
}
class BMImageMatrix;
class BMPasswordWindowController;
class QCalendarWidget;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TVXEventLogAccess;
class TVXIconsAccess;
class TVXRecordWriter;
class TVXStoreCaches;
class TVXRecord;
class TVXType;
using TVXDataBase_GroupList = QList<std::shared_ptr<BMGroup>>;
using TVXDataBase_TypeList = QList<std::shared_ptr<TVXType>>;

// The sheet's window: a press of a mouse button or a key anywhere in it first
// lets the controller put away the date picker when the press lies outside it.
class BMDetailWindow : public QWidget {
    Q_OBJECT
public:
    explicit BMDetailWindow(QWidget* parent = nullptr);
    // Watches the window's children too (call once they exist).
    void watchChildren();
    std::function<void(const QPoint& windowPoint, bool keyPress)> onPress;
    // Set when the user closed the window (rather than OK or Cancel).
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class BMDetailsWindowController : public QObject {
    Q_OBJECT
public:
    // Where the sheet asks the user for files (one to attach, several icons).
    struct FileChooser {
        std::function<QString(QWidget* parent)> attachment;
        std::function<QStringList(QWidget* parent)> icons;
    };
    // Runs the type sheet on one record's own field set (built by the group
    // and type sheets): the field set to edit, the type Reset restores, and
    // the operation code (4). Returns the edited field set, or null on Cancel.
    using CustomFieldsRunner = std::function<std::shared_ptr<TVXType>(
        QWidget* parent, std::shared_ptr<TVXType> fields, std::shared_ptr<TVXType> resetType, int& operation)>;
    // Prints the record the sheet shows (built by the detail pane's print view).
    using RecordPrinter = std::function<void(const std::shared_ptr<TVXRecord>& record, QWidget* parent)>;
    // Starts the icon import off the main thread (default: a background task nobody waits for).
    using IconImporter = std::function<void(TVXIconsAccess& icons, const QStringList& paths)>;

    static BMDetailsWindowController& sharedDetailsController();
    BMDetailsWindowController(TVXStoreCaches& caches, TVXIconsAccess& icons, TVXRecordWriter& writer,
                              TVXEventLogAccess& eventLog, QObject* parent = nullptr);
    // Over one store that has all four parts.
    template <class Store>
    explicit BMDetailsWindowController(Store& store, QObject* parent = nullptr)
        : BMDetailsWindowController(store.caches(), store.icons(), store, store.eventLog(), parent)
    {
    }
    ~BMDetailsWindowController() override;

    // Stores the record OK built, for the operation it ends with (0, 1 or 2),
    // and tells the user of a failure itself; the store's result code. The
    // sheet stays open with its input unless it is 0.
    using RecordStorer = std::function<TVXResult(const std::shared_ptr<TVXRecord>& record, int operation)>;
    // Runs the sheet on `record` for `operation` (0 add, 1 edit, 2 duplicate).
    // Returns the record built from the controls on OK, else null; the
    // operation becomes 2 when the user duplicated, 3 when the user chose Delete.
    // With a storer, OK stores the record before the sheet closes.
    std::shared_ptr<TVXRecord> orderFrontDetailsWindowWithInfo(std::shared_ptr<TVXRecord> record, int& operation,
                                                               RecordStorer storer = {});
    // A store from a distant server: the saver starts storing the record and
    // hands the store's code to `answer` later, on the main thread, without
    // telling the user; `report` then tells of a failure. Meanwhile the window
    // goes on: the sheet keeps its input, shows a busy cursor and, after
    // 300 ms, a waiting line; its buttons wait for the answer.
    using SaveAnswer = std::function<void(TVXResult)>;
    using RecordSaver =
        std::function<void(const std::shared_ptr<TVXRecord>& record, int operation, SaveAnswer answer)>;
    std::shared_ptr<TVXRecord> orderFrontDetailsWindowSaving(std::shared_ptr<TVXRecord> record, int& operation,
                                                             RecordSaver saver, SaveAnswer report);
    // Whether OK's save waits for the server's answer.
    bool isSaving() const { return mSaveWait->isSaving(); }

    bool isVisible() const { return mIsVisible; }
    bool isPanelDisplayed() const { return mIsPanelDisplayed; }
    bool isCustomizing() const { return mIsCustomizing; }
    void setCustomizing(bool customizing) { mIsCustomizing = customizing; }

    // Button actions.
    void detailPanelOK();
    void detailPanelCancel();
    void deleteItem();
    void duplicateItem();
    void printRecord();
    void displayIconSelectionPanel();
    void displayPasswordSelectionPanel();
    void displayCustomSettingsPanel();
    void attachdetachFile();
    void addCustomIcons();
    void displayDatePickerWindow(int fieldNumber);
    void disposeDatePicker(const QDate& date);
    void changeTypeSelection();
    void webLogin() {}
    // Hides the picker without writing when the point (window coordinates) lies outside it.
    void removeDatePicker(const QPoint& windowPoint);

    // The icon panel on its own (also for a type's icon): the number chosen, 0 on Cancel.
    int chooseIcon(int currentIconNumber, QWidget* over = nullptr);

    bool checkForRecordPermissionFor(uint16_t bit);
    // True when there is no type to choose.
    bool isTypeExistsForSelectedGroup() const;
    bool hasAttachment() const;

    // Collaborators; each has a working default.
    void setFileChooser(FileChooser chooser) { mFileChooser = std::move(chooser); }
    void setCustomFieldsRunner(CustomFieldsRunner runner);
    void setRecordPrinter(RecordPrinter printer);
    // Reloads the store behind the sheet (its input stays); true once the
    // caches are fresh. Without one, a stale copy is only reported.
    using StoreReloader = std::function<bool()>;
    void setStoreReloader(StoreReloader reloader) { mStoreReloader = std::move(reloader); }
    void setIconImporter(IconImporter importer) { mIconImporter = std::move(importer); }
    void setPasswordController(BMPasswordWindowController* controller) { mPasswordController = controller; }

    // The record built from the controls with the given field set (may be null).
    std::shared_ptr<TVXRecord> itemRecordFromUIWithCustomInfo(std::shared_ptr<TVXType> customInfo);

    // For the window's users and the tests.
    BMDetailWindow* window() const { return mWindow; }
    QWidget* iconPanel() const { return mIconSelectionPanel; }
    BMImageMatrix* imageMatrix() const { return mImageMatrix; }
    QLineEdit* valueField(int index) const { return mValueFields[static_cast<size_t>(index)]; }
    QLabel* fieldLabel(int index) const { return mFieldLabels[static_cast<size_t>(index)]; }
    QLabel* maskMark(int index) const { return mMaskMarks[static_cast<size_t>(index)]; }
    QToolButton* dateButton(int index) const { return mDateButtons[static_cast<size_t>(index)]; }
    QComboBox* groupPopup() const { return mCategoriesPopupButton; }
    QComboBox* typePopup() const { return mTypesPopupButton; }
    QPlainTextEdit* notesView() const { return mNotesTextView; }
    QLineEdit* attachmentNameField() const { return mAttachmentName; }
    QToolButton* attachmentButton() const { return mAttachmentButton; }
    QToolButton* iconButton() const { return mIconSelectionButton; }
    QPushButton* deleteButton() const { return mDeleteButton; }
    QPushButton* duplicateButton() const { return mDuplicateButton; }
    QPushButton* okButton() const { return mOKButton; }
    // Shown once a save has waited 300 ms for the server's answer.
    QLabel* savingLine() const { return mSaveWait->line(); }
    QPushButton* cancelButton() const { return mCancelButton; }
    QPushButton* autoFillButton() const { return mAutoFillButton; }
    QPushButton* customiseButton() const { return mCustomiseButton; }
    QPushButton* passwordButton() const { return mPasswordButton; }
    QPushButton* printButton() const { return mPrintButton; }
    QCalendarWidget* datePicker() const { return mDatePicker; }
    int iconNumberShown() const;
    // What the sheet holds beyond its controls' texts: the icon and the attachment.
    QByteArray inputExtras() const;
    // A save refused as stale: offers the reload and takes the fresh copy.
    void offerReload();
    // How the sheet's own buttons asked the running sheet to end (-1000 or
    // -1001), or nothing while it runs on.
    std::optional<int> requestedEnd() const { return mRequestedEnd; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    QGridLayout* buildHeader();
    QGroupBox* buildFieldsBox();
    QGroupBox* buildNotesBox();
    QHBoxLayout* buildAttachmentRow();
    void connectWindow();
    void buildIconPanel();
    void endRun(int code);
    std::shared_ptr<BMGroup> selectedGroup() const;
    std::shared_ptr<TVXType> selectedType() const;
    std::shared_ptr<TVXType> governingType() const;
    void resetControls();
    void fillPopups(const TVXRecord& record);
    void applyTypeInformation(const TVXType* type);
    void fillFromRecord(const TVXRecord& record);
    void showIcon(int iconNumber);
    void setAttachmentLook(bool hasAttachment);
    void updateAutoFill(const TVXType* type);
    void updateNoteCount();
    recorddetails::SheetContents contents() const;
    QLineEdit* passwordTargetField() const;
    // Names the first field the store cannot hold in an alert; false then.
    bool recordFitsStore(const TVXRecord& record);
    void saveAnswered(quint64 run, std::shared_ptr<TVXRecord> built, TVXResult code, bool customizing,
                      bool customFromPanel);

    TVXStoreCaches& mCaches;
    TVXIconsAccess& mIcons;
    TVXRecordWriter& mWriter;
    TVXEventLogAccess& mEventLog;
    QPointer<BMDetailWindow> mWindow;
    QPointer<QWidget> mIconSelectionPanel;
    BMImageMatrix* mImageMatrix = nullptr;
    QToolButton* mIconSelectionButton = nullptr;
    std::array<QLabel*, 10> mFieldLabels{};
    std::array<QLineEdit*, 10> mValueFields{};
    std::array<QLabel*, 10> mMaskMarks{};
    std::array<QToolButton*, 10> mDateButtons{}; // none for field 10
    QComboBox* mTypesPopupButton = nullptr;
    QComboBox* mCategoriesPopupButton = nullptr;
    QPlainTextEdit* mNotesTextView = nullptr;
    QLabel* mNoteCount = nullptr;
    QPushButton* mDeleteButton = nullptr;
    QPushButton* mDuplicateButton = nullptr;
    QPushButton* mOKButton = nullptr;
    QPushButton* mCancelButton = nullptr;
    QPushButton* mAutoFillButton = nullptr;
    QPushButton* mCustomiseButton = nullptr;
    QPushButton* mPasswordButton = nullptr;
    QPushButton* mPrintButton = nullptr;
    QCalendarWidget* mDatePicker = nullptr;
    QToolButton* mEditedDateButton = nullptr;
    QLineEdit* mAttachmentName = nullptr;
    QToolButton* mAttachmentButton = nullptr;
    QLineEdit* mLastFocusedValue = nullptr;
    platform::EscapeGuard* mEscapeGuard = nullptr;
    // While OK's save waits: the cursor, the line, the buttons.
    platform::SaveWait* mSaveWait = nullptr;

    int mOperation = 0;
    RecordSaver mSaver;
    SaveAnswer mReport;
    quint64 mRun = 0; // counts the runs: an answer for an earlier one changes nothing
    StoreReloader mStoreReloader;
    std::shared_ptr<TVXRecord> mBuiltRecord; // what OK built (and stored, with a storer)
    std::shared_ptr<TVXRecord> mCurrentRecord;
    std::shared_ptr<TVXRecord> mDuplicateCopy;
    // The record's own field set as handed in; dropped when the type changes
    // (the record itself, possibly the cache's, is left alone).
    std::shared_ptr<TVXType> mRecordCustomInfo;
    std::shared_ptr<TVXType> mTypeCustomFields;
    std::shared_ptr<TVXType> mCustomTypeSaved;
    bool mIsCustomizing = false;
    bool mIsTypeCustomizedOnce = false;
    bool mShouldDeleteItem = false;
    bool mShouldDuplicateItem = false;
    bool mStateForDuplicate = false;
    bool mIsPanelDisplayed = false;
    bool mIsVisible = false;
    bool mShouldAddRecord = false;
    bool mShouldEditRecord = false;
    bool mIsCustomFromDetailPanel = false;
    int mSelectedImageID = 0;
    bool mAttachmentModified = false;
    QString mAttachmentPath;
    QImage mIconImage; // what the icon button shows, with its "Icon<n>" name
    bool mClosedByUser = false;
    std::optional<int> mRequestedEnd;
    TVXDataBase_GroupList mGroupsList;
    TVXDataBase_TypeList mTypesList;

    FileChooser mFileChooser;
    CustomFieldsRunner mCustomFieldsRunner;
    RecordPrinter mRecordPrinter;
    IconImporter mIconImporter;
    BMPasswordWindowController* mPasswordController = nullptr;
};
