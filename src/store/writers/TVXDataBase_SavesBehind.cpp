// Saves from the window: the server part on the worker that sends the writes
// behind the window (so a save reaches the server after the clicks before
// it), the memory part on the main thread once the server has answered. No
// event loop runs inside a save: the answer is a queued call.
#include "store/TVXDataBase.h"

#include "model/TVXRecord.h"
#include "store/eventlog/TVXEventLogger.h"

#include <QCoreApplication>

struct TVXDataBase::SaveInFlight {
    std::vector<std::function<void()>> memoryParts;
    std::vector<platform::Error> errors;
};

thread_local TVXDataBase::SaveInFlight* TVXDataBase::tSave = nullptr;

void TVXDataBase::saveBehindWindow(std::function<TVXResult()> serverPart, SaveAnswer answer)
{
    if (!mAnswers)
        mAnswers = std::make_unique<QObject>();
    ++mSavesInFlight;
    QObject* const answers = mAnswers.get();
    mWriteBehind->post([this, answers, serverPart = std::move(serverPart), answer = std::move(answer)]() mutable {
        auto save = std::make_shared<SaveInFlight>();
        TVXResult code = kTVXNotServerError;
        tSave = save.get();
        try {
            code = serverPart();
        } catch (...) {
            // Reported as a failure; nothing of it is taken as stored.
        }
        tSave = nullptr;
        // The manager outlives the writer, whose end waits for this write.
        QMetaObject::invokeMethod(
            answers, [this, save, code, answer = std::move(answer)] { answerSave(*save, code, answer); },
            Qt::QueuedConnection);
    });
}

void TVXDataBase::answerSave(SaveInFlight& save, TVXResult code, const SaveAnswer& answer)
{
    // As a synchronous save would have shown them: the errors first.
    for (const platform::Error& error : save.errors)
        handleDatabaseError(error);
    mAnsweringSave = true;
    for (const auto& part : save.memoryParts)
        part();
    mAnsweringSave = false;
    --mSavesInFlight;
    if (answer)
        answer(code);
    if (mSavesInFlight > 0)
        return;
    auto waiting = std::exchange(mAfterSaves, {});
    for (const auto& then : waiting)
        then();
}

void TVXDataBase::whenSavesAnswered(std::function<void()> then)
{
    if (mSavesInFlight == 0)
        then();
    else
        mAfterSaves.push_back(std::move(then));
}

void TVXDataBase::finishWritesBehind()
{
    for (;;) {
        mWriteBehind->flush();
        // Every answer of a sent save is posted by now; answering may queue
        // more (the save's event rows).
        const int due = mSavesInFlight;
        if (mAnswers)
            QCoreApplication::sendPostedEvents(mAnswers.get(), QEvent::MetaCall);
        if (mWriteBehind->isIdle() && (mSavesInFlight == 0 || mSavesInFlight == due))
            return;
    }
}

void TVXDataBase::afterServer(std::function<void()> memoryPart)
{
    if (tSave)
        tSave->memoryParts.push_back(std::move(memoryPart));
    else
        memoryPart();
}

bool TVXDataBase::collectsForSave(const platform::Error& error)
{
    if (!tSave)
        return false;
    tSave->errors.push_back(error);
    return true;
}

void TVXDataBase::logRecordOutcome(const QString& event, const TVXRecord& record, TVXResult code)
{
    const QString description = TVXEventLogger::recordDescription(record);
    if (mAnsweringSave)
        mEventLogAccess.eventLogger().addLogEventBehind(event, description, TVXEventLogger::actionForResult(code));
    else
        (void)mEventLogAccess.eventLogger().logOutcome(event, description, code);
}
