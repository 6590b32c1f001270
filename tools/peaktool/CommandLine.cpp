#include "Command.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

#include "Progress.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

bool quiet = false;

std::vector<const PeakToolCommand*>& Registry()
{
    static std::vector<const PeakToolCommand*> commands;
    return commands;
}

QString Dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
int EditDistance(const QString& a, const QString& b)
{
    const auto n = static_cast<size_t>(a.size()), m = static_cast<size_t>(b.size());
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (size_t i = 0; i <= n; ++i)
        d[i][0] = static_cast<int>(i);
    for (size_t j = 0; j <= m; ++j)
        d[0][j] = static_cast<int>(j);
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            const int cost = a[qsizetype(i - 1)] == b[qsizetype(j - 1)] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[qsizetype(i - 1)] == b[qsizetype(j - 2)] && a[qsizetype(i - 2)] == b[qsizetype(j - 1)])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

} // namespace

PeakToolCommand::PeakToolCommand(const char* n, const char* s, unsigned nd, void (*d)(CommandLine&),
                                 int (*r)(CommandLine&), unsigned (*nf)(const CommandLine&))
    : name(n), summary(s), needs(nd), define(d), run(r), needsFor(nf)
{
    Registry().push_back(this);
}

unsigned CommandNeedsFor(const PeakToolCommand& command, const CommandLine& line)
{
    return command.needsFor ? command.needsFor(line) : command.needs;
}

const std::vector<const PeakToolCommand*>& PeakToolCommands()
{
    return Registry();
}

CommandLine::CommandLine(const PeakToolCommand& command) : command_(command)
{
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser_.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
}

void CommandLine::AddOption(const QString& names, const QString& description, const QString& valueName,
                            const QString& defaultValue)
{
    QCommandLineOption option(names.split(QLatin1Char(',')), description, valueName, defaultValue);
    parser_.addOption(option);
    options_.push_back(option);
}

bool CommandLine::Parse(const QStringList& args)
{
    // Every command answers to these; they are listed last in its help.
    AddOption(QStringLiteral("q,quiet"), QStringLiteral("no progress, errors only"));
    AddOption(shortHelp_ ? QStringLiteral("h,help") : QStringLiteral("help"), QStringLiteral("show this help"));
    if (parser_.parse(QStringList{QStringLiteral("peaktool")} + args))
        return true;
    const QStringList unknown = parser_.unknownOptionNames();
    if (unknown.isEmpty()) {
        // Qt words the other failures itself ("Missing value after '--rate'.").
        QString text = parser_.errorText();
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        if (!text.isEmpty())
            text[0] = text[0].toLower();
        UsageError(text);
        return false;
    }
    QStringList known;
    for (const QCommandLineOption& o : options_)
        for (const QString& n : o.names())
            known << Dashed(n);
    const QString bad = Dashed(unknown.first());
    const QString guess = ClosestMatch(bad, known);
    UsageError(QStringLiteral("unknown option '%1'%2")
                   .arg(bad, guess.isEmpty() ? QString() : QStringLiteral(" (did you mean '%1'?)").arg(guess)));
    return false;
}

bool CommandLine::HelpRequested() const
{
    return parser_.isSet(QStringLiteral("help"));
}

bool CommandLine::Quiet() const
{
    return parser_.isSet(QStringLiteral("quiet"));
}

QString CommandLine::OptionList() const
{
    QStringList left, right;
    for (const QCommandLineOption& o : options_) {
        QStringList names;
        for (const QString& n : o.names())
            names << Dashed(n);
        QString l = names.join(QStringLiteral(", "));
        if (!o.valueName().isEmpty())
            l += (o.names().last().size() == 1 ? QStringLiteral(" ") : QStringLiteral("=")) + o.valueName();
        QString r = o.description();
        if (!o.defaultValues().isEmpty())
            r += QStringLiteral(" (default %1)").arg(o.defaultValues().join(QLatin1Char(' ')));
        left << l;
        right << r;
    }
    qsizetype width = 0;
    for (const QString& l : left)
        width = std::max(width, l.size());
    QString text;
    for (qsizetype i = 0; i < left.size(); ++i)
        text += QStringLiteral("  ") + left[i].leftJustified(width) + QStringLiteral("  ") + right[i] + QLatin1Char('\n');
    return text;
}

QString CommandLine::HelpText() const
{
    QString text = QStringLiteral("usage: peaktool %1 %2\n").arg(QLatin1String(command_.name), synopsis_);
    if (!description_.isEmpty())
        text += description_ + (description_.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n"));
    return text + QStringLiteral("\noptions:\n") + OptionList();
}

int CommandLine::UsageError(const QString& message) const
{
    Err(QStringLiteral("peaktool %1: %2\nTry 'peaktool %1 --help' for the usage and options.")
            .arg(QLatin1String(command_.name), message));
    return ExitUsage;
}

void SetQuiet(bool on)
{
    quiet = on;
}

bool IsQuiet()
{
    return quiet;
}

void Out(const QString& line)
{
    if (quiet)
        return;
    ProgressBar::ClearActive();
    // Names come out in the bytes they came in, for scripts to use.
    std::fprintf(stdout, "%s\n", EncodeNativeName(line).constData());
}

void Err(const QString& line)
{
    ProgressBar::ClearActive();
    std::fprintf(stderr, "%s\n", EncodeNativeName(line).constData());
}

QString EscapeField(const QString& field)
{
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QStringLiteral("\\\\");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u < 0x20 || u == 0x7f)
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString ResultLine(const QString& what, const QStringList& fields)
{
    QString line = what;
    for (const QString& f : fields)
        line += QLatin1Char('\t') + EscapeField(f);
    return line;
}

bool IsStdStream(const QString& name)
{
    return name == QLatin1String("-");
}

QStringList ExpandInputNames(const QStringList& names)
{
    QStringList out;
    bool stdinRead = false;
    for (const QString& n : names) {
        if (!IsStdStream(n)) {
            out << n;
            continue;
        }
        if (stdinRead)
            continue;
        stdinRead = true;
        ReadNameList(n, out);
    }
    return out;
}

bool ReadNameList(const QString& name, QStringList& out)
{
    QFile in;
    if (!(IsStdStream(name) ? in.open(stdin, QIODevice::ReadOnly) : OpenNativeFile(in, name, QIODevice::ReadOnly)))
        return false;
    while (!in.atEnd()) {
        QByteArray bytes = in.readLine();
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        const QString line = DecodeNativeName(bytes);
        if (!line.isEmpty())
            out << line;
    }
    return true;
}

QString ClosestMatch(const QString& word, const QStringList& candidates)
{
    QString best;
    int bestDistance = 0;
    for (const QString& c : candidates) {
        // A prefix is a plausible abbreviation; otherwise allow a third of
        // the word in typing mistakes. Single letters are never guessed at.
        if (word.size() < 3)
            continue;
        const int d = c.startsWith(word) ? 1 : EditDistance(word, c);
        if (d <= std::max<qsizetype>(1, word.size() / 3) && (best.isEmpty() || d < bestDistance)) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace kx
