// The manual page, written from the same declarations as every command's
// --help, so that the two never disagree.
#include "Command.h"
#include "kxaudio/Version.h"

namespace kx {

namespace {

// Text as troff reads it: backslashes and minus signs escaped, no line
// starting with a control character.
QString Roff(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    out.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    QStringList lines = out.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            line.prepend(QStringLiteral("\\&"));
    return lines.join(QLatin1Char('\n'));
}

QString OptionItem(const QCommandLineOption& o)
{
    QStringList names;
    for (const QString& n : o.names())
        names << QStringLiteral("\\fB%1\\fR").arg(Roff((n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n));
    QString item = QStringLiteral(".TP\n") + names.join(QStringLiteral(", "));
    if (!o.valueName().isEmpty())
        item += (o.names().last().size() == 1 ? QStringLiteral(" ") : QStringLiteral("=")) +
                QStringLiteral("\\fI%1\\fR").arg(Roff(o.valueName()));
    QString text = o.description();
    if (!o.defaultValues().isEmpty())
        text += QStringLiteral(" (default %1)").arg(o.defaultValues().join(QLatin1Char(' ')));
    return item + QLatin1Char('\n') + Roff(text) + QLatin1Char('\n');
}

const char* const Head = R"(.TH PEAKTOOL 1 "" "kxaudio %1" "User Commands"
.SH NAME
peaktool \- build, inspect, draw and convert peak files of audio and video media
.SH SYNOPSIS
.B peaktool
[\fB\-\-version\fR] [\fB\-q\fR] \fICOMMAND\fR [\fIoptions\fR] [\fB\-\-\fR] \fIARGS\fR...
.br
.B peaktool
\fICOMMAND\fR \fB\-\-help\fR
.SH DESCRIPTION
.B peaktool
runs the kxaudio components without a window. Peak files (\fB.pek\fR) hold
per-channel minimum and maximum values of audio, a record for every few hundred
samples, so that viewers draw hours of sound at once. The peak builder decodes any
media GStreamer can read; the wave viewer reads PCM WAV files itself.
.SH CONVENTIONS
Every command reads its options the same way.
.TP
\fB\-\-opt=\fIvalue\fR or \fB\-\-opt \fIvalue\fR
Both forms give a value; short options take theirs attached or apart (\fB\-o\fIfile\fR, \fB\-o \fIfile\fR).
Options may follow the arguments.
.TP
\fB\-\-\fR
Ends the options: what follows is taken as file names, even when it starts with a dash.
.TP
\fB\-q\fR, \fB\-\-quiet\fR
No progress, errors only. Allowed before the command or after it.
.TP
\fB\-h\fR, \fB\-\-help\fR
Describes the command and its options. In \fBwaveform\fR, \fB\-h\fR is the picture's height, as
in the web waveform tools whose options it takes: help is \fB\-\-help\fR there.
.TP
\fB\-\-version\fR
Prints the version of peaktool and its libraries (before the command).
.TP
\fB\-\fR
As an output file (\fB\-o \-\fR): the data or image goes to standard output and nothing else does.
As an input file where a command takes a list of files: the names are read from standard input, one a line.
.PP
Unknown options and bad values end the command with a message naming the option,
a hint at the closest known one, and exit status 2. Progress bars are drawn on
standard error only when it is a terminal.
.SH COMMANDS
)";

const char* const Tail = R"(.SH EXIT STATUS
.TP
.B 0
Success.
.TP
.B 1
The work failed for at least one file (the reason is on standard error).
.TP
.B 2
Bad usage: unknown command or option, missing or bad value.
.SH ENVIRONMENT
.TP
.B QT_LOGGING_RULES
Switches on the diagnostics of the components, by category: \fBkx.peaks\fR (builder queue
and builds), \fBkx.peakfilter\fR, \fBkx.mediagraph\fR (graphs and their dumps),
\fBkx.viewers\fR, \fBkx.wavviewer\fR, \fBkx.playback\fR, \fBkx.controls\fR, \fBkx.platform\fR.
For example \fBQT_LOGGING_RULES="kx.*.debug=true"\fR.
.TP
.B GST_DEBUG
GStreamer's own debug output; the peak filter element logs under the category \fBkxpeaksink\fR
(\fBGST_DEBUG=kxpeaksink:5\fR).
.TP
.B GST_DEBUG_DUMP_DOT_DIR
When set, the Graphviz dumps of running media graphs are written there and kept;
otherwise they go to \fI$XDG_RUNTIME_DIR/kxaudio\-graphs\fR while the graph runs.
.TP
.B XDG_RUNTIME_DIR
When unset, a private folder \fI$TMPDIR/runtime\-$USER\fR is made and used.
.SH EXAMPLES
Build the peak files of a folder of music, quietly:
.PP
.RS
.nf
find music \-name '*.flac' | peaktool build \-q \-
.fi
.RE
.PP
Draw one into a picture viewer without a file in between:
.PP
.RS
.nf
peaktool render music/song.pek \-\-width=1200 \-o \- | display \-
.fi
.RE
With the RMS levels its build wrote beside it (\fIsong.pek.rms\fR) as a lighter inner band:
.PP
.RS
.nf
peaktool render \-\-rms music/song.pek \-o song.png
.fi
.RE
Waveform data for a web player, and a picture of a whole file, straight from media:
.PP
.RS
.nf
peaktool waveform \-i song.mp3 \-o song.dat \-z 256 \-b 8
peaktool waveform \-i song.flac \-o song.png \-w 1000 \-h 200 \-\-zoom auto
.fi
.RE
.SH SEE ALSO
.BR gst\-launch\-1.0 (1)
)";

} // namespace

QString ManPage()
{
    QString page = QString::fromUtf8(Head).arg(QStringLiteral(KXAUDIO_VERSION_STRING));
    for (const PeakToolCommand* c : PeakToolCommands()) {
        CommandLine line(*c);
        c->define(line);
        page += QStringLiteral(".SS \"%1 %2\"\n").arg(QLatin1String(c->name), Roff(line.Synopsis()));
        page += Roff(QString::fromUtf8(c->summary)) + QStringLiteral(".\n.PP\n");
        if (!line.Description().isEmpty())
            page += QStringLiteral(".nf\n") + Roff(line.Description().trimmed()) + QStringLiteral("\n.fi\n");
        for (const QCommandLineOption& o : line.Options())
            page += OptionItem(o);
    }
    return page + QString::fromUtf8(Tail);
}

} // namespace kx
