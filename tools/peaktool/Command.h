#pragma once
#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <concepts>
#include <vector>

namespace kx {

class CommandLine;

// What a command needs before it runs. Commands that draw nothing run on a
// QCoreApplication, and the media framework starts only for those that decode.
// Commands that draw run in peaktool-draw (Drawing.h); their run is null here.
enum CommandNeeds : unsigned { NeedsNothing = 0, NeedsGui = 1, NeedsMedia = 2 };

// One subcommand of peaktool. Each cmd_*.cpp file registers its own with a
// static PeakToolCommand object: define() declares the synopsis, description
// and options on the command line, run() reads them and does the work.
struct PeakToolCommand {
    PeakToolCommand(const char* name, const char* summary, unsigned needs, void (*define)(CommandLine&),
                    int (*run)(CommandLine&), unsigned (*needsFor)(const CommandLine&) = nullptr);
    const char* name;
    const char* summary;
    unsigned needs;
    void (*define)(CommandLine&);
    int (*run)(CommandLine&);
    // Commands whose needs depend on their options (drawing only for some
    // outputs) tell them here; needs holds otherwise.
    unsigned (*needsFor)(const CommandLine&);
};

// What the command needs for these options.
unsigned CommandNeedsFor(const PeakToolCommand& command, const CommandLine& line);

// Every registered command, in registration order.
const std::vector<const PeakToolCommand*>& PeakToolCommands();

// Exit codes shared by the subcommands.
enum { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// The options of one command, parsed by the one parser all commands share:
// "--opt value" and "--opt=value", "--" ends the options, "-h/--help" and
// "-q/--quiet" everywhere, and one form for every usage error.
class CommandLine
{
public:
    explicit CommandLine(const PeakToolCommand& command);

    // Declaring, in define().
    void SetSynopsis(const QString& arguments) { synopsis_ = arguments; }
    void SetDescription(const QString& text) { description_ = text; }
    // Leaves -h to the command (a height): help is then --help only.
    void KeepShortH() { shortHelp_ = false; }
    // names: "o,output"; a value name makes it take a value; a default value
    // is shown in the help and returned when the option is absent.
    void AddOption(const QString& names, const QString& description, const QString& valueName = {},
                   const QString& defaultValue = {});

    // Parsing. False on a usage error, already reported on stderr.
    bool Parse(const QStringList& args);
    bool HelpRequested() const;
    bool Quiet() const;
    QString HelpText() const;

    // What define() declared (help text and manual page).
    const QString& Synopsis() const { return synopsis_; }
    const QString& Description() const { return description_; }
    const std::vector<QCommandLineOption>& Options() const { return options_; }

    // Reading, in run().
    const PeakToolCommand& Command() const { return command_; }
    bool IsSet(const QString& name) const { return parser_.isSet(name); }
    QString Value(const QString& name) const { return parser_.value(name); }
    QStringList Positional() const { return parser_.positionalArguments(); }
    // Reads an integer option into out when given; false when it is given
    // but not a whole number in [low, high] (out is then left alone).
    template <std::integral T>
    bool Int(const QString& name, qint64 low, qint64 high, T& out) const
    {
        if (!IsSet(name))
            return true;
        bool ok = false;
        const qint64 v = Value(name).toLongLong(&ok);
        if (!ok || v < low || v > high)
            return false;
        out = static_cast<T>(v);
        return true;
    }

    // "peaktool NAME: message" and where to find help, on stderr; gives ExitUsage.
    int UsageError(const QString& message) const;

private:
    QString OptionList() const;

    const PeakToolCommand& command_;
    QCommandLineParser parser_;
    std::vector<QCommandLineOption> options_;
    QString synopsis_ = QStringLiteral("[options]");
    QString description_;
    bool shortHelp_ = true;
};

// Whether -q/--quiet is in force: Out() then prints nothing.
void SetQuiet(bool on);
bool IsQuiet();

// Result lines on stdout (none when quiet), error lines on stderr. Both clear
// a progress bar first so that lines never run into it.
void Out(const QString& line);
void Err(const QString& line);

// A field of a result line with its control characters and backslashes
// escaped (\t, \n, \r, \\, \xHH), so that no name can break a line or
// fake another; every other byte is kept.
QString EscapeField(const QString& field);
// A result line: the word, then the escaped fields, separated by tabs.
QString ResultLine(const QString& what, const QStringList& fields);

// "-" as an output file name means stdout.
bool IsStdStream(const QString& name);
// The input names, with "-" replaced by the lines read from stdin (one name a
// line, empty lines skipped); stdin is read once even when "-" repeats.
QStringList ExpandInputNames(const QStringList& names);
// Appends the names in a list file (stdin for "-"), one a line, empty lines
// skipped; false when it cannot be opened.
bool ReadNameList(const QString& name, QStringList& out);

// The manual page of peaktool in man(7) form, from the commands' own help.
QString ManPage();

// The closest of candidates to word when it is a plausible misspelling, else empty.
QString ClosestMatch(const QString& word, const QStringList& candidates);

} // namespace kx
