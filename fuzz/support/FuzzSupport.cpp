#include "FuzzSupport.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

namespace kx::fuzz {

void InitApplication()
{
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's own warnings about refused input would flood the fuzzer's log.
        qputenv("QT_LOGGING_RULES", "*=false");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

QString ScratchDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kxfuzz-XXXXXX"));
    return dir.path();
}

QString WriteScratch(const QString& name, const uint8_t* data, size_t size)
{
    const QString path = ScratchDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return path;
}

uint32_t FuzzInput::Take(int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(at_ < size_ ? data_[at_++] : 0) << (8 * i);
    return v;
}

QByteArray FuzzInput::Bytes(size_t count)
{
    count = std::min(count, size_ - at_);
    QByteArray out(reinterpret_cast<const char*>(data_ + at_), static_cast<qsizetype>(count));
    at_ += count;
    return out;
}

} // namespace kx::fuzz
