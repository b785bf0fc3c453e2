// Inputs that once made a reader fail (tests/data) and the fuzzer's seeds
// (fuzz/corpus), replayed through every reader in every build.
#include "FuzzReaders.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(ReaderInputs, EveryStoredInputPassesEveryReader)
{
    int inputs = 0;
    for (const char* folder : {TVX_TEST_DATA_DIR, TVX_FUZZ_CORPUS_DIR}) {
        const QDir dir(QString::fromUtf8(folder));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            SCOPED_TRACE(name.toStdString());
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            FuzzReaders(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 10);
}
