// kxdesigneruic: UicForm.ui compiled by uic against the installed headers, the
// way a program that designs its forms in Designer builds them.
#include <QApplication>
#include <cstdio>

#include "ui_UicForm.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget form;
    Ui::UicForm ui;
    ui.setupUi(&form);
    // Properties whose C++ setters are spelled otherwise go through the
    // set<Name> writers uic calls.
    if (ui.peakViewer->PeaksColorAsQColor() != QColor(255, 0, 0) || ui.wavViewer->SecondsToShow() != 10 ||
        ui.peakViewer->AutoMove() || ui.peakViewer->peakReductionOrdinal() != 1 || ui.wavViewer->SavePeaks() ||
        ui.playerControls->FlatButtons() || !ui.floatEdit->Thousands()) {
        std::fprintf(stderr, "kxdesigneruic: the form's values were not set\n");
        return 1;
    }
    std::printf("kxdesigneruic: the form compiled and set its values\n");
    return 0;
}
