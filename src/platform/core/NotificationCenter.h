#pragma once
// Named notices with an object, delivered to observers on the main thread.
#include <QString>

#include <any>
#include <functional>
#include <map>
#include <mutex>

namespace platform {

struct Notification {
    QString name;
    std::any object;
};

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;
    using Token = quint64;

    static NotificationCenter& defaultCenter();

    // Observes notices of one name; an empty name observes every notice.
    Token addObserver(const QString& name, Observer observer);
    void removeObserver(Token token);

    // Observers run on the main thread. Posted from another thread the call
    // waits until they have run, so the poster sees their effects.
    void post(const QString& name, std::any object = {});

private:
    struct Entry {
        QString name;
        Observer observer;
    };
    std::mutex mMutex;
    std::map<Token, Entry> mObservers;
    Token mNextToken = 1;
};

} // namespace platform
