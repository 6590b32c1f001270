#include "Form1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <algorithm>
#include <type_traits>

#include "RegionsPanel.h"
#include "FrequencyPage.h"
#include "controls/HZDropFiles.h"
#include "controls/KXFloatEdit.h"
#include "OverviewPage.h"
#include "mediagraph/AudioOutput.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/widgets/Color.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/widgets/MessageBox.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/KXPeakEffectViewer.h"
#include "wavviewer/WavViewer.h"

namespace kx {

namespace {

template <typename W, typename... A>
W* Place(QWidget* parent, int left, int top, int width, int height, A&&... args)
{
    auto* w = new W(std::forward<A>(args)..., parent);
    // Captions were measured in a narrower face: never cut them.
    if constexpr (std::is_same_v<W, QCheckBox> || std::is_base_of_v<QLabel, W>)
        width = width > 0 ? std::max(width, w->sizeHint().width()) : width;
    if (width > 0 && height > 0)
        w->setGeometry(left, top, width, height);
    else {
        w->move(left, top);
        if (width > 0)
            w->resize(width, w->sizeHint().height());
        else
            w->adjustSize();
    }
    return w;
}

QFont ViewerFont()
{
    // A narrow face of 12 pixels, as the viewers' labels were laid out for.
    QFont f(QStringLiteral("DejaVu Sans Condensed"));
    f.setPixelSize(12);
    f.setStretch(QFont::SemiCondensed);
    return f;
}

} // namespace

void TForm1::Guarded(const std::function<void()>& handler)
{
    // A component refusing a value raises; as in any form, the user is told
    // and the program goes on.
    try {
        handler();
    } catch (const std::exception& e) {
        ShowMessageBox(this, QString::fromUtf8(e.what()));
    }
}

TForm1::TForm1(const QStringList& exampleMedia, QWidget* parent) : QWidget(parent), exampleMedia_(exampleMedia)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setGeometry(525, 75, 706, 729);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clBtnFace));
    setPalette(pal);
    QFont formFont(QStringLiteral("DejaVu Sans"));
    formFont.setPixelSize(11);
    setFont(formFont);

    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(rect());
    TabSheet4 = new QWidget;
    tshViewer = new QWidget;
    TabSheet5 = new QWidget;
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet4, tr("PeakBuilder"));
    PageControl1->addTab(tshViewer, tr("AudioPeakViewer"));
    PageControl1->addTab(TabSheet5, tr("PeakEffectViewer"));
    PageControl1->addTab(TabSheet1, tr("Peaks test"));
    PageControl1->addTab(TabSheet2, tr("KXFilterResponse"));
    PageControl1->addTab(TabSheet3, tr("KXTransferFunction"));

    CreateComponents();
    CreateBuilderPage();
    CreateViewerPage();
    CreateEffectPage();
    CreatePeaksTestPage();
    tshOverview = new OverviewPage;
    PageControl1->addTab(tshOverview, tr("Overview"));
    tshOverview->Follow(Viewer1);
    SpectrogramTab = new FrequencyPage([this] { return cbAudioFilename->currentText(); },
                                         [this](const QString& media) {
                                             return ChangeFileExt(media, KXPeakBuilder1->PeakExtension());
                                         });
    PageControl1->addTab(SpectrogramTab, tr("Spectrogram"));
    WireBuilderEvents();
    WirePlayer();
    PageControl1->setCurrentWidget(TabSheet5);
    // Playing on a machine without sound is said here once, not by the sound libraries.
    SetAudioFallbackHandler([this](const QString& message) { Log(message); });
}

TForm1::~TForm1()
{
    SetAudioFallbackHandler({});
    // The player's graph goes before the widgets it reports to.
    delete AudioFilePlayer;
    AudioFilePlayer = nullptr;
    delete DropFiles;
    DropFiles = nullptr;
}

void TForm1::CreateComponents()
{
    KXPeakBuilder1 = new TKXPeakBuilder(this);
    KXPeakBuilder1->SetAddToRot(true);
    KXPeakBuilder1->SetPeakExtension(QStringLiteral(".pek"));
    KXPeakBuilder1->SetPostProcessing(true);
    KXPeakBuilder1->SetOutputSamplesPerSecond(sps44100);
    KXPeakBuilder1->SetSamplesPerPeak(1102);
    KXPeakBuilder1->SetSaveToPeakFiles(true);
    // A media file replaced since its peaks were made gets new ones.
    KXPeakBuilder1->SetRebuildStale(true);
    // The stored folder was a fixed temporary folder; the builder's own
    // default, a folder of this user alone, stands in for it (a fixed folder
    // in the shared temporary folder could be taken over by another user).

    DropFiles = new THZFormDropFiles(this);
    DropFiles->SetForegroundOnDrop(false);
    DropFiles->SetOptions(THZDropFilesOptions{dfoIncFolders, dfoIncFiles});
    DropFiles->SetOnDropFiles([this](QObject* s) { DropFilesDropFiles(s); });

    AudioFilePlayer = new TKXAudioFilePlayer(this);
    AudioFilePlayer->SetVolume(0);
    AudioFilePlayer->SetUpdateInterval(100);

    PeakEffectPopup = new QMenu(this);
    miDeletePoint = PeakEffectPopup->addAction(tr("Delete Point"));
    connect(PeakEffectPopup, &QMenu::aboutToShow, this, Guard(&TForm1::PeakEffectPopupPopup));
    connect(miDeletePoint, &QAction::triggered, this, Guard(&TForm1::miDeletePointClick));
}

void TForm1::CreateBuilderPage()
{
    QWidget* p = TabSheet4;
    Button5 = Place<QPushButton>(p, 16, 16, 75, 25, tr("Add Files"));
    cbCreatePeakFiles = Place<QCheckBox>(p, 112, 16, 97, 17, tr("Create Peak Files"));
    cbCreatePeakFiles->setChecked(true);
    cbPostProc = Place<QCheckBox>(p, 232, 16, 97, 17, tr("Post Processing"));
    btnStart = Place<QPushButton>(p, 360, 16, 75, 25, tr("Start"));
    btnPause = Place<QPushButton>(p, 448, 16, 75, 25, tr("Pause"));
    btnStop = Place<QPushButton>(p, 536, 16, 75, 25, tr("Stop"));
    btnStart->setEnabled(false);
    btnPause->setEnabled(false);
    btnStop->setEnabled(false);
    btnClear = Place<QPushButton>(p, 16, 48, 75, 25, tr("Clear"));
    Label2 = Place<TLabel>(p, 96, 48, 0, 0, tr("Samples/Peak"));
    cbPeaksPerSec = Place<QComboBox>(p, 176, 48, 57, 0);
    cbPeaksPerSec->addItems({"100", "200", "500", "1000"});
    cbPeaksPerSec->setCurrentIndex(3);
    Label3 = Place<TLabel>(p, 248, 48, 0, 0, tr("Gain"));
    cbPeaksGain = Place<QComboBox>(p, 280, 48, 65, 0);
    cbPeaksGain->addItems({"quarter", "half", "unity", "twice", "four times", "eight times", "sixteen times"});
    cbPeaksGain->setCurrentIndex(2);
    cbAbort = Place<QCheckBox>(p, 368, 48, 65, 17, tr("Abort"));
    cbAppend = Place<QCheckBox>(p, 448, 48, 129, 17, tr("Append droped files"));
    cbAppend->setChecked(true);
    Memo = Place<QPlainTextEdit>(p, 24, 120, 665, 281);
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pbBuildPeaks = Place<QProgressBar>(p, 24, 416, 665, 17);
    pbBuildPeaks->setRange(0, 100);
    pbBuildPeaks->setValue(0);

    connect(Button5, &QPushButton::clicked, this, Guard(&TForm1::Button5Click));
    connect(btnStart, &QPushButton::clicked, this, Guard(&TForm1::btnStartClick));
    connect(btnPause, &QPushButton::clicked, this, Guard(&TForm1::btnPauseClick));
    connect(btnStop, &QPushButton::clicked, this, Guard(&TForm1::btnStopClick));
    connect(btnClear, &QPushButton::clicked, this, Guard(&TForm1::btnClearClick));
    connect(cbCreatePeakFiles, &QCheckBox::clicked, this, Guard(&TForm1::cbCreatePeakFilesClick));
    connect(cbPostProc, &QCheckBox::clicked, this, Guard(&TForm1::cbPostProcClick));
    connect(cbAbort, &QCheckBox::clicked, this, Guard(&TForm1::cbAbortClick));
    // Only a user's choice acts, not the initial selection.
    connect(cbPeaksPerSec, &QComboBox::activated, this, Guard(&TForm1::cbPeaksPerSecChange));
    connect(cbPeaksGain, &QComboBox::activated, this, Guard(&TForm1::cbPeaksGainChange));
}

void TForm1::CreateViewerPage()
{
    QWidget* p = tshViewer;
    btnLoadFile = Place<QPushButton>(p, 16, 16, 113, 25, tr("Load File"));
    lblDuration = Place<TLabel>(p, 144, 16, 0, 0, QStringLiteral("lblDuration"));
    tbScaler = Place<QSlider>(p, 200, 16, 161, 33, Qt::Horizontal);
    tbScaler->setRange(1, 25);
    tbScaler->setValue(3);
    tbScaler->setTickPosition(QSlider::TicksBelow);
    lblScaler = Place<TLabel>(p, 360, 24, 0, 0, QStringLiteral("1.0"));
    btnGoToSeconds = Place<QPushButton>(p, 392, 16, 97, 25, tr("Go To Seconds"));
    edtTime = Place<QLineEdit>(p, 496, 16, 49, 0, QStringLiteral("10"));
    cbCursorAtMouse = Place<QCheckBox>(p, 560, 16, 97, 17, tr("Cursor At Mouse"));
    Label4 = Place<TLabel>(p, 120, 56, 0, 0, tr("Play Step 0-49%"));
    tbPlayStepPercent = Place<QSlider>(p, 200, 56, 161, 41, Qt::Horizontal);
    tbPlayStepPercent->setRange(0, 49);
    tbPlayStepPercent->setTickInterval(2);
    tbPlayStepPercent->setTickPosition(QSlider::TicksBelow);
    lblPlayStepPercent = Place<TLabel>(p, 360, 56, 0, 0, QStringLiteral("0%"));

    Viewer = new TKXAudioPeakViewer(p);
    Viewer->setGeometry(56, 104, 400, 150);
    Viewer->setFont(ViewerFont());
    Viewer->SetPaintCursor(true);
    Viewer->SetTimeScaler(1.0f);
    Viewer->OnPaint = [this](QObject*, TCanvas& canvas) {
        // Overlay: a yellow marker line at a quarter and one at three quarters.
        const QRect clip = canvas.clipBoundingRect().toAlignedRect();
        const QRect r = clip.isEmpty() ? QRect(0, 0, Viewer->width(), Viewer->ClientHeight()) : clip;
        const int L = r.left(), R = r.right() + 1, B = r.bottom() + 1;
        canvas.setPen(QPen(ToQColor(65535), 1, Qt::SolidLine));
        canvas.drawPolyline(QPolygon({QPoint(L + 2, B / 2), QPoint(L + 22, B / 4), QPoint(R - 2, B / 4)}));
        canvas.drawLine(L + 2, 3 * B / 4, R - 2, 3 * B / 4);
    };
    Viewer->OnMouseDown = [this](QObject*, TMouseButton, TShiftState, int X, int) {
        const int64_t t = Viewer->TimeAtPixel(X);
        lblTime->setText(QStringLiteral("%1 msec").arg(t));
        AudioFilePlayer->SetPosition(t * 10000);
    };

    feStreamIndex = new TKXFloatEdit(p);
    feStreamIndex->move(464, 104);
    feStreamIndex->resize(57, feStreamIndex->height());
    feStreamIndex->SetMaxValue(10.0);
    feStreamIndex->SetDecimals(0);
    feStreamIndex->SetUpDown(true);
    feStreamIndex->SetFloat(0);
    btnLoadStream = Place<QPushButton>(p, 528, 104, 145, 25, tr("Load from PeakBuilder"));
    btnLoadStream->setToolTip(tr("Loads the viewer from one of the peak builder's memory streams,\n"
                                             "chosen by the index in the up/down edit\n"
                                             "(the streams of the files queued on the PeakBuilder page)."));
    btnLoadFromFile = Place<QPushButton>(p, 528, 136, 145, 25, tr("Load From Media File"));
    btnLoadFromFile->setToolTip(tr("Opens a media file in the player and queues it in the peak builder;\n"
                                               "its peaks load into the viewer when they are ready,\n"
                                               "and the play pointer follows the player."));
    btnMark3To7 = Place<QPushButton>(p, 528, 176, 145, 25, tr("Mark 3 To 7 seconds"));
    btnMark13To25 = Place<QPushButton>(p, 528, 216, 145, 25, tr("Mark 13 To 25 seconds"));
    Button11 = Place<QPushButton>(p, 528, 256, 145, 25, tr("Clear Mark"));
    lblTime = Place<TLabel>(p, 224, 264, 0, 0, tr("0 msec"));
    lblLength = Place<TLabel>(p, 312, 264, 0, 0, QStringLiteral("lblLength"));
    Button7 = Place<QPushButton>(p, 384, 264, 75, 25, tr("Button7"));

    PlayControl = new TKXPlayerControls(p);
    PlayControl->move(56, 272);
    PlayControl->SetColor(clBtnFace);
    PlayControl->SetEnabledButtons(TButtonSet{});
    PlayControl->SetVisibleButtons(TButtonSet{btGoToStart, btStop, btPlay});
    PlayControl->SetWidth(136);
    PlayControl->OnControlEvent = [this](QObject*, TControlOption option, TSpeedType) {
        switch (option) {
        case coGoToStart: AudioFilePlayer->Stop(); break;
        case coPause: AudioFilePlayer->Pause(); break;
        case coPlay: AudioFilePlayer->Play(); break;
        default: break;
        }
    };
    cbPreservePitch = Place<QCheckBox>(p, 56, 312, 97, 17, tr("Preserve pitch"));
    cbPreservePitch->setToolTip(tr("Faster and slower playback keeps the pitch of the media."));

    cbTruePeaks = Place<QCheckBox>(p, 560, 40, 97, 17, tr("True peaks"));
    cbTruePeaks->setToolTip(tr("Each column shows the highest and lowest value of all the peaks it covers,\n"
                               "so short transients stay visible when zoomed out."));
    connect(cbTruePeaks, &QCheckBox::toggled, this,
            [this](bool on) { Viewer->SetPeakReduction(on ? prMinMax : prSkip); });
    (new RegionsPanel(Viewer, p))->setGeometry(200, 304, 470, 28);

    connect(btnLoadFile, &QPushButton::clicked, this, Guard(&TForm1::btnLoadFileClick));
    connect(btnGoToSeconds, &QPushButton::clicked, this, Guard(&TForm1::btnGoToSecondsClick));
    connect(tbScaler, &QSlider::valueChanged, this, Guard(&TForm1::tbScalerChange));
    connect(btnLoadStream, &QPushButton::clicked, this, Guard(&TForm1::btnLoadStreamClick));
    connect(btnLoadFromFile, &QPushButton::clicked, this, Guard(&TForm1::btnLoadFromFileClick));
    connect(cbCursorAtMouse, &QCheckBox::clicked, this, Guard(&TForm1::cbCursorAtMouseClick));
    connect(cbPreservePitch, &QCheckBox::clicked, this, Guard(&TForm1::cbPreservePitchClick));
    connect(Button7, &QPushButton::clicked, this, Guard(&TForm1::Button7Click));
    connect(btnMark3To7, &QPushButton::clicked, this, Guard(&TForm1::btnMark3To7Click));
    connect(btnMark13To25, &QPushButton::clicked, this, Guard(&TForm1::btnMark13To25Click));
    connect(Button11, &QPushButton::clicked, this, Guard(&TForm1::Button11Click));
    connect(tbPlayStepPercent, &QSlider::valueChanged, this, Guard(&TForm1::tbPlayStepPercentChange));
}

void TForm1::CreateEffectPage()
{
    QWidget* p = TabSheet5;
    EffectViewer = new TKXPeakEffectViewer(p);
    EffectViewer->setGeometry(96, 32, 400, 150);
    EffectViewer->setFont(ViewerFont());
    TEffectPoints* points = &EffectViewer->EffectPoints();
    points->SetMaxA(32767);
    points->SetMaxB(32767);
    points->SetMaxC(32767);
    points->SetMinA(-32767);
    points->SetMinB(-32767);
    points->SetMinC(-32767);
    EffectViewer->SetFocusedType(fcA);
    EffectViewer->SetPopupMenu(PeakEffectPopup);
    EffectViewer->SetTimeScaler(1.0f);
    EffectViewer->SetVisiblePoints(TEffectTypes{fcA, fcB});

    btnLoadFromFile1 = Place<QPushButton>(p, 528, 32, 129, 25, tr("Load From Peaks File"));
    Button12 = Place<QPushButton>(p, 528, 72, 129, 25, tr("Clear"));
    cbEffectTruePeaks = Place<QCheckBox>(p, 528, 112, 129, 17, tr("True peaks"));
    cbEffectTruePeaks->setToolTip(cbTruePeaks->toolTip());
    connect(cbEffectTruePeaks, &QCheckBox::toggled, this,
            [this](bool on) { EffectViewer->SetPeakReduction(on ? prMinMax : prSkip); });
    GroupBox3 = Place<QGroupBox>(p, 96, 200, 249, 137, tr("Visible points"));
    cbStereoEffects = Place<QCheckBox>(GroupBox3, 24, 24, 0, 0, tr("Stereo Effects"));
    cbEffectA = Place<QCheckBox>(GroupBox3, 24, 56, 0, 0, tr("Effect A"));
    cbEffectB = Place<QCheckBox>(GroupBox3, 96, 56, 0, 0, tr("Effect B"));
    cbEffectC = Place<QCheckBox>(GroupBox3, 168, 56, 0, 0, tr("Effect C"));
    cbEffectA->setChecked(true);
    cbEffectB->setChecked(true);
    Label5 = Place<TLabel>(GroupBox3, 24, 96, 0, 0, tr("Focused point"));
    cbFocusedPoint = Place<QComboBox>(GroupBox3, 120, 92, 105, 0);
    cbFocusedPoint->addItems({"Effect A", "Effect B", "Effect C"});
    cbFocusedPoint->setCurrentIndex(0);
    lblEffectScaler = Place<TLabel>(p, 368, 208, 0, 0, QStringLiteral("lblDuration"));
    tbEffectViewerScaler = Place<QSlider>(p, 424, 208, 161, 33, Qt::Horizontal);
    tbEffectViewerScaler->setRange(1, 25);
    tbEffectViewerScaler->setValue(3);
    tbEffectViewerScaler->setTickPosition(QSlider::TicksBelow);
    Label7 = Place<TLabel>(p, 584, 216, 0, 0, QStringLiteral("1.0"));

    connect(btnLoadFromFile1, &QPushButton::clicked, this, Guard(&TForm1::btnLoadFromFile1Click));
    connect(Button12, &QPushButton::clicked, this, Guard(&TForm1::Button12Click));
    for (QCheckBox* box : {cbEffectA, cbEffectB, cbEffectC})
        connect(box, &QCheckBox::clicked, this, [this, box] { Guarded([this, box] { cbEffectClick(box); }); });
    connect(cbFocusedPoint, &QComboBox::activated, this, Guard(&TForm1::cbFocusedPointChange));
    connect(cbStereoEffects, &QCheckBox::clicked, this, Guard(&TForm1::cbStereoEffectsClick));
    connect(tbEffectViewerScaler, &QSlider::valueChanged, this, Guard(&TForm1::tbEffectViewerScalerChange));
}

void TForm1::CreatePeaksTestPage()
{
    QWidget* p = TabSheet1;
    GroupBox1 = Place<QGroupBox>(p, 8, 8, 672, 281, tr("Get peaks from a wav file"));
    Button1 = Place<QPushButton>(GroupBox1, 16, 16, 75, 25, tr("Open"));
    CheckBox1 = Place<QCheckBox>(GroupBox1, 16, 48, 97, 17, tr("Save Peaks"));
    Button2 = Place<QPushButton>(GroupBox1, 16, 80, 75, 25, tr("Stop"));
    Button3 = Place<QPushButton>(GroupBox1, 16, 112, 75, 25, tr("Pause"));
    Button4 = Place<QPushButton>(GroupBox1, 16, 144, 75, 25, tr("Play"));
    pb = Place<QProgressBar>(GroupBox1, 16, 176, 89, 17);
    pb->setRange(0, 100);
    pb->setValue(0);
    Label1 = Place<TLabel>(GroupBox1, 8, 200, 0, 0, tr("display time"));
    cbDisplayTime = Place<QComboBox>(GroupBox1, 8, 224, 89, 0);
    cbDisplayTime->addItems({"1 sec", "5 sec", "10 sec", "20 sec"});
    cbDisplayTime->setEditable(true);
    cbDisplayTime->setCurrentIndex(-1);
    cbDisplayTime->setEditText(QStringLiteral("1 sec"));

    WavViewer = new TWavViewer(GroupBox1);
    WavViewer->setGeometry(144, 16, 432, 257);
    WavViewer->setFont(ViewerFont());
    WavViewer->SetAutoLoop(false);
    WavViewer->SetInfoBevelWidth(2);
    WavViewer->SetBorderColor(clMaroon);
    WavViewer->SetColor(clSilver);
    WavViewer->SetInfoBackColor(clBtnFace);
    WavViewer->SetInfoHeight(28);
    WavViewer->SetInfoWidth(32);
    WavViewer->SetMarksColor(clBlack);
    WavViewer->SetMarksInterval(10);
    WavViewer->SetPeaksFileExt(QStringLiteral(".pek"));
    WavViewer->SetPeaksColor(clNavy);
    WavViewer->SetPointerColor(clBlack);
    WavViewer->SetPositionColor(clGreen);
    WavViewer->SetSecondsToShow(10);
    WavViewer->SetLargeChangeSeconds(10);
    WavViewer->SetSmallChangeSeconds(1);
    WavViewer->SetPlayingInterval(100);
    WavViewer->SetSavePeaks(false);
    WavViewer->OnBuildingPeaks = [this](QObject*, int, float percentDone, bool&) {
        pb->setValue(static_cast<int>(percentDone * 100));
        QCoreApplication::processEvents();
    };

    GroupBox2 = Place<QGroupBox>(p, 8, 304, 672, 289, tr("Get peaks from KXPeakBuilder"));
    Button6 = Place<QPushButton>(GroupBox2, 24, 24, 75, 25, tr("Load Peaks"));
    Button8 = Place<QPushButton>(GroupBox2, 16, 80, 75, 25, tr("Stop"));
    Button9 = Place<QPushButton>(GroupBox2, 16, 112, 75, 25, tr("Pause"));
    Button10 = Place<QPushButton>(GroupBox2, 16, 144, 75, 25, tr("Play"));
    pbBuildPeaks1 = Place<QProgressBar>(GroupBox2, 16, 184, 89, 17);
    pbBuildPeaks1->setRange(0, 100);
    pbBuildPeaks1->setValue(0);
    Viewer1 = new TKXAudioPeakViewer(GroupBox2);
    Viewer1->setGeometry(176, 40, 400, 233);
    Viewer1->setFont(ViewerFont());
    Viewer1->SetPaintCursor(true);
    Viewer1->SetTimeScaler(1.0f);

    btnLoadBoth = Place<QPushButton>(p, 16, 616, 161, 25, tr("Load both"));
    cbAudioFilename = Place<QComboBox>(p, 192, 616, 489, 0);
    cbAudioFilename->setEditable(true);
    cbAudioFilename->addItems(exampleMedia_);
    cbAudioFilename->setCurrentIndex(exampleMedia_.isEmpty() ? -1 : 0);

    connect(Button1, &QPushButton::clicked, this, Guard(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, Guard(&TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, Guard(&TForm1::Button3Click));
    connect(Button4, &QPushButton::clicked, this, Guard(&TForm1::Button4Click));
    connect(CheckBox1, &QCheckBox::clicked, this, Guard(&TForm1::CheckBox1Click));
    connect(cbDisplayTime, &QComboBox::activated, this, Guard(&TForm1::cbDisplayTimeChange));
    connect(Button6, &QPushButton::clicked, this, Guard(&TForm1::Button6Click));
    connect(Button8, &QPushButton::clicked, this, Guard(&TForm1::Button8Click));
    connect(Button9, &QPushButton::clicked, this, Guard(&TForm1::Button9Click));
    connect(Button10, &QPushButton::clicked, this, Guard(&TForm1::Button10Click));
    connect(btnLoadBoth, &QPushButton::clicked, this, Guard(&TForm1::btnLoadBothClick));
}

} // namespace kx
