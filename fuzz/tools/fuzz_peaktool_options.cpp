// peaktool's command lines: any words given to any command's options, parsed
// by the one parser the commands share, every option then read back as the
// commands read them, and the misspelling guess over any word.
#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "Command.h"
#include "FuzzSupport.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto& commands = PeakToolCommands();
    if (commands.empty() || size == 0)
        return 0;
    const PeakToolCommand& command = *commands[data[0] % commands.size()];
    // Words are separated by zero bytes, as the kernel hands them over.
    QStringList args;
    QByteArray word;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            args << QString::fromLocal8Bit(word);
            word.clear();
        } else {
            word += char(data[i]);
        }
    }
    if (!word.isEmpty())
        args << QString::fromLocal8Bit(word);

    CommandLine line(command);
    command.define(line);
    if (!line.Parse(args))
        return 0;
    if (line.HelpText().isEmpty())
        __builtin_trap();
    for (const QString& p : line.Positional())
        if (!args.contains(p))
            __builtin_trap();
    // Every option the way run() reads it: as text and as a bounded number.
    for (const QString& a : args) {
        const QString name = a.section(QLatin1Char('='), 0, 0).remove(QRegularExpression(QStringLiteral("^-+")));
        if (name.isEmpty() || !line.IsSet(name))
            continue;
        (void)line.Value(name);
        int small = 7;
        if (line.Int(name, -5, 5, small) && (small < -5 || small > 5))
            __builtin_trap();
    }
    if (!args.isEmpty()) {
        const QString guess = ClosestMatch(args.first(), {QStringLiteral("build"), QStringLiteral("status")});
        if (!guess.isEmpty() && guess != QLatin1String("build") && guess != QLatin1String("status"))
            __builtin_trap();
    }
    return 0;
}
