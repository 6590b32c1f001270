#pragma once

namespace kx {

struct PeakToolCommand;
class CommandLine;

// Commands that draw (NeedsGui) run in peaktool-draw, a private program that
// links the viewers and Qt Widgets, so that peaktool itself loads no GUI
// library. In peaktool this executes peaktool-draw in place of the process
// with the same arguments; in peaktool-draw it runs the command's drawing part
// on a GUI application object.
int RunDrawingCommand(const PeakToolCommand& command, CommandLine& line, int& argc, char** argv);

// render --spectrogram's drawing part (render's runner hands over to it).
int RenderSpectrogram(CommandLine& line);

// The drawing part of a command, registered under the command's name in peaktool-draw.
struct DrawingRunner {
    DrawingRunner(const char* name, int (*run)(CommandLine&));
    const char* name;
    int (*run)(CommandLine&);
};

} // namespace kx
