#include "BuilderEvents.h"

#include "Command.h"
#include "peaks/KXPeakBuilder.h"

namespace kx {

namespace {

QString Line(const char* event, const QStringList& fields)
{
    return ResultLine(QString::fromLatin1(event), fields);
}

TNotifyPeak PrintNotifyPeak(const char* name, TNotifyPeak next)
{
    return [name, next](QObject* sender, int index, const QString& file, const QString& peak) {
        Out(Line(name, {QString::number(index), file, peak}));
        Fire(next, sender, index, file, peak);
    };
}

TNotifyEvent PrintNotify(const char* name, TNotifyEvent next)
{
    return [name, next](QObject* sender) {
        Out(Line(name, {}));
        Fire(next, sender);
    };
}

} // namespace

void PrintBuilderEvents(TKXPeakBuilder& b)
{
    b.OnPeakBefore = PrintNotifyPeak("OnPeakBefore", b.OnPeakBefore);
    b.OnPeakNew = PrintNotifyPeak("OnPeakNew", b.OnPeakNew);
    b.OnPeakFailed = PrintNotifyPeak("OnPeakFailed", b.OnPeakFailed);
    b.OnPeakMissing = PrintNotifyPeak("OnPeakMissing", b.OnPeakMissing);
    b.OnPeakComplete = PrintNotifyPeak("OnPeakComplete", b.OnPeakComplete);
    b.OnError = PrintNotify("OnError", b.OnError);
    b.OnPeakAbort = PrintNotify("OnPeakAbort", b.OnPeakAbort);
    b.OnDuplicateFile = [next = b.OnDuplicateFile](QObject* sender, const QString& file, int index) {
        Out(Line("OnDuplicateFile", {file, QString::number(index)}));
        Fire(next, sender, file, index);
    };
    b.OnFileNotExist = [next = b.OnFileNotExist](QObject* sender, const QString& file) {
        Out(Line("OnFileNotExist", {file}));
        Fire(next, sender, file);
    };
}

} // namespace kx
