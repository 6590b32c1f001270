#include <QPalette>
#include <QScrollBar>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/widgets/Color.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/widgets/MessageBox.h"

namespace kx {

TEST(Color, plainValuesAreBlueGreenRed)
{
    EXPECT_EQ(ToQColor(8388608), QColor(0, 0, 128));  // navy
    EXPECT_EQ(ToQColor(255), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(32768), QColor(0, 128, 0));
    EXPECT_EQ(ToQColor(12632256), QColor(192, 192, 192));
    EXPECT_EQ(FromQColor(QColor(0, 0, 128)), 8388608);
}

TEST(Color, systemColoursComeFromThePalette)
{
    EXPECT_EQ(clBtnFace, -16777201);
    EXPECT_EQ(clWindow, -16777211);
    QPalette p;
    p.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
    p.setColor(QPalette::Active, QPalette::Base, QColor(4, 5, 6));
    EXPECT_EQ(ToQColor(clBtnFace, p), QColor(1, 2, 3));
    EXPECT_EQ(ToQColor(clWindow, p), QColor(4, 5, 6));
}

TEST(MessageBox, captureCollectsTextsAndRestoresTheHook)
{
    QStringList outer;
    auto previous = SetMessageBoxHook([&](QWidget*, const QString& t) { outer << t; });
    {
        ScopedMessageCapture capture;
        ShowMessageBox(nullptr, QStringLiteral("Invalid file"));
        EXPECT_EQ(capture.Texts(), QStringList{QStringLiteral("Invalid file")});
    }
    ShowMessageBox(nullptr, QStringLiteral("after"));
    EXPECT_EQ(outer, QStringList{QStringLiteral("after")});
    SetMessageBoxHook(previous);
}

TEST(FileDialogs, pipeFiltersBecomeQtFilters)
{
    EXPECT_EQ(QtFileFilter("Wave files(*.wav)|*.wav|flac files(*.flac)|*.flac"),
              "Wave files (*.wav);;flac files (*.flac)");
    EXPECT_EQ(QtFileFilter("Any|*.*"), "Any (*.*)");
    // Both spellings match on a case-sensitive file system.
    EXPECT_EQ(QtFileFilter("Bitmap files (*.bmp)|*.BMP"), "Bitmap files (*.bmp *.BMP)");
    EXPECT_EQ(QtFileFilter(""), "");
}

TEST(FileDialogs, hookAnswersInsteadOfAPerson)
{
    FileDialogRequest seen;
    auto previous = SetFileDialogHook([&](QWidget*, const FileDialogRequest& r) {
        seen = r;
        return QStringLiteral("/tmp/x.wav");
    });
    EXPECT_EQ(ExecuteFileDialog(nullptr, {FileDialogKind::Save, "Save image to file", "B|*.b", 2, "Untitled.bmp"}),
              "/tmp/x.wav");
    EXPECT_EQ(seen.fileName, "Untitled.bmp");
    EXPECT_EQ(seen.filterIndex, 2);
    SetFileDialogHook(previous);
}

TEST(HorzScrollBar, userActionsArriveAsScrollCodes)
{
    QWidget owner;
    owner.resize(300, 100);
    HorzScrollBar bar(&owner);
    bar.Layout();
    bar.State().SetInfo(0, 1000, 100, 0);
    bar.Sync();
    std::vector<int> codes;
    bar.OnRequest = [&](int code) {
        codes.push_back(code);
        if (code == SB_LINERIGHT)
            bar.State().SetPos(bar.State().nPos + 10);
    };
    bar.Bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar.Bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    bar.Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    bar.Bar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(codes, (std::vector<int>{SB_LINERIGHT, SB_PAGELEFT, SB_RIGHT, SB_LEFT}));
    // The owner's decision wins over the slider's own step.
    EXPECT_EQ(bar.State().nPos, 10);
    EXPECT_EQ(bar.Bar()->value(), 10);
    EXPECT_EQ(bar.Bar()->maximum(), 901);
}

TEST(HorzScrollBar, thumbRequestsCarryTheTrackPosition)
{
    QWidget owner;
    HorzScrollBar bar(&owner);
    bar.State().SetInfo(0, 1000, 100, 0);
    int seen = -1;
    bar.OnRequest = [&](int code) {
        if (code == SB_THUMBTRACK)
            seen = bar.State().nTrackPos;
    };
    bar.Request(SB_THUMBTRACK, 321);
    EXPECT_EQ(seen, 321);
}

} // namespace kx
