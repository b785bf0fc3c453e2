#include "platform/ui/Keychain.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace platform {
namespace {

// How long a keyring that does not answer may hold up the caller.
constexpr int kKeyringTimeoutMs = 5000;

QString serviceName()
{
    const QString app = QCoreApplication::applicationName();
    return app.isEmpty() ? QStringLiteral("Tolvanex Enterprise") : app;
}

// Runs a job to its end with a local loop; false when it failed or took too long.
bool runJob(QKeychain::Job& job)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kKeyringTimeoutMs, &loop, &QEventLoop::quit);
    job.start();
    if (!finished)
        loop.exec();
    return finished && job.error() == QKeychain::NoError;
}

class DesktopKeychain : public Keychain {
public:
    std::optional<QString> readSecret(const QString& key) override
    {
        auto* job = new QKeychain::ReadPasswordJob(serviceName());
        job->setAutoDelete(true); // a late answer must not reach a job already gone
        job->setInsecureFallback(false);
        job->setKey(key);
        if (!runJob(*job))
            return std::nullopt;
        return job->textData();
    }

    bool writeSecret(const QString& key, const QString& secret) override
    {
        auto* job = new QKeychain::WritePasswordJob(serviceName());
        job->setAutoDelete(true);
        job->setInsecureFallback(false);
        job->setKey(key);
        job->setTextData(secret);
        return runJob(*job);
    }
};

Keychain* gInstalled = nullptr;

} // namespace

Keychain& Keychain::shared()
{
    static DesktopKeychain desktop;
    return gInstalled ? *gInstalled : desktop;
}

void Keychain::setShared(Keychain* keychain) { gInstalled = keychain; }

} // namespace platform
