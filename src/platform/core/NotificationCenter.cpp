#include "platform/core/NotificationCenter.h"

#include "platform/core/MainThread.h"

#include <vector>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, Observer observer)
{
    std::lock_guard lock(mMutex);
    const Token token = mNextToken++;
    mObservers.emplace(token, Entry{name, std::move(observer)});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(mMutex);
    mObservers.erase(token);
}

void NotificationCenter::post(const QString& name, std::any object)
{
    const Notification notice{name, std::move(object)};
    performOnMainThreadAndWait([this, &notice] {
        // Copy first: an observer may add or remove observers while it runs.
        std::vector<Observer> targets;
        {
            std::lock_guard lock(mMutex);
            for (const auto& [token, entry] : mObservers)
                if (entry.name.isEmpty() || entry.name == notice.name)
                    targets.push_back(entry.observer);
        }
        for (const auto& observer : targets)
            observer(notice);
    });
}

} // namespace platform
