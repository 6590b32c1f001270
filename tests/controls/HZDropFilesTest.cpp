#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

#include "controls/HZDropFiles.h"
#include "platform/Exception.h"
#include "tests/support/TestHelpers.h"
#include "platform/widgets/MessageBox.h"

namespace kx {

namespace {

// Refuses names with one extension.
class ExtensionFilter : public THZFileFilter
{
public:
    explicit ExtensionFilter(QString suffix) : suffix_(std::move(suffix)) {}
    bool Accept(const QString& FileName, bool IsFolder) override
    {
        return IsFolder || !FileName.endsWith(suffix_);
    }
private:
    QString suffix_;
};

// A folder tree:
//   root/a.wav  root/Sub/b.txt  root/Sub/Deeper/c.flac  root/z.mp3  loose.wav
class DropFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.isValid());
        const QString base = temp_.path();
        root_ = base + "/root";
        ASSERT_TRUE(QDir().mkpath(root_ + "/Sub/Deeper"));
        for (const QString& f : {root_ + "/a.wav", root_ + "/Sub/b.txt", root_ + "/Sub/Deeper/c.flac",
                                 root_ + "/z.mp3", base + "/loose.wav"}) {
            QFile file(f);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        loose_ = base + "/loose.wav";
        drop_ = std::make_unique<THZFormDropFiles>(&form_);
        drop_->SetOnBeforeDrop([this](QObject* sender) {
            EXPECT_EQ(sender, drop_.get());
            events_.append("before");
        });
        drop_->SetOnDropFiles([this](QObject* sender) {
            EXPECT_EQ(sender, drop_.get());
            events_.append("drop");
        });
    }

    // A shell drag entering the form and dropping local names at a point;
    // true when the form consumed the drop.
    bool Drop(const QStringList& names, QPoint point = QPoint(7, 9))
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& n : names)
            urls.append(QUrl::fromLocalFile(n));
        mime.setUrls(urls);
        QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(&form_, &enter);
        QDropEvent event(QPointF(point), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        event.ignore();
        const bool consumed = QCoreApplication::sendEvent(&form_, &event);
        lastDropAccepted_ = event.isAccepted();
        return consumed;
    }

    // The names of the last drop, folders marked with a trailing "/" and
    // relative to the temporary folder.
    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < drop_->Count(); ++i)
            names.append(QDir(temp_.path()).relativeFilePath(drop_->Files(i)) + (drop_->IsFolder(i) ? "/" : ""));
        return names;
    }

    QTemporaryDir temp_;
    QString root_, loose_;
    QWidget form_;
    std::unique_ptr<THZFormDropFiles> drop_;
    QStringList events_;
    bool lastDropAccepted_ = false;
};

} // namespace

TEST(DropFilesConstruction, OwnerMustBeAFormWithoutAnotherComponent)
{
    const QString notAForm = "THZFormDropFiles owner must be a form";
    QWidget form;
    QWidget child(&form);
    QObject plain;
    EXPECT_EQ(RaisedMessage([] { THZFormDropFiles d(nullptr); }), notAForm);
    EXPECT_EQ(RaisedMessage([&] { THZFormDropFiles d(&child); }), notAForm);
    EXPECT_EQ(RaisedMessage([&] { THZFormDropFiles d(&plain); }), notAForm);
    EXPECT_TRUE(child.children().isEmpty());

    form.setObjectName("MainForm");
    auto* first = new THZFormDropFiles(&form);
    first->setObjectName("Drops");
    EXPECT_TRUE(form.acceptDrops());
    const int children = static_cast<int>(form.children().size());
    EXPECT_EQ(RaisedMessage([&] { new THZFormDropFiles(&form); }),
              "Only one THZFormDropFiles component is permitted on a form: Drops is already present on MainForm");
    EXPECT_EQ(form.children().size(), children) << "the refused component is not created";

    delete first;
    EXPECT_FALSE(form.acceptDrops());
    THZFormDropFiles second(&form); // the place is free again
    EXPECT_EQ(second.Options(), THZDropFilesOptions({dfoIncFolders, dfoIncFiles}));
    EXPECT_TRUE(second.Enabled());
}

TEST(DropFilesConstruction, DesignTimeComponentLeavesTheFormAlone)
{
    QWidget form;
    THZFormDropFiles drop(&form, true);
    EXPECT_FALSE(form.acceptDrops());
    drop.SetEnabled(false);
    drop.SetEnabled(true);
    EXPECT_FALSE(form.acceptDrops());
    THZDropFilesEvent event({"/x"}, QPoint(1, 2));
    QCoreApplication::sendEvent(&form, &event);
    EXPECT_EQ(event.Result, 0);
}

TEST(DropFilesConstruction, FormDeletingTheComponentWithItsChildren)
{
    auto* form = new QWidget;
    QPointer<THZFormDropFiles> drop = new THZFormDropFiles(form);
    delete form;
    EXPECT_TRUE(drop.isNull());
}

TEST_F(DropFilesTest, DefaultOptionsKeepDroppedFolderAndFile)
{
    const QString missing = temp_.path() + "/gone/never.wav";
    EXPECT_TRUE(Drop({root_, loose_, missing}, QPoint(12, 34)));
    EXPECT_TRUE(lastDropAccepted_);
    EXPECT_EQ(events_, QStringList({"before", "drop"}));
    EXPECT_EQ(Names(), QStringList({"root/", "loose.wav", "gone/never.wav"})) << "a missing name counts as a file";
    EXPECT_EQ(drop_->FileName(), root_);
    EXPECT_EQ(drop_->DropPoint(), QPoint(12, 34));
    EXPECT_EQ(drop_->Files(3), QString());

    Drop({loose_}); // the next drop replaces the list
    EXPECT_EQ(Names(), QStringList({"loose.wav"}));
}

TEST_F(DropFilesTest, OptionsChooseWhatTheDepthFirstWalkKeeps)
{
    drop_->SetOptions({dfoIncFolders, dfoIncFiles, dfoRecurseFolders});
    Drop({root_, loose_});
    EXPECT_EQ(Names(), QStringList({"root/", "root/a.wav", "root/Sub/", "root/Sub/b.txt", "root/Sub/Deeper/",
                                    "root/Sub/Deeper/c.flac", "root/z.mp3", "loose.wav"}));

    drop_->SetOptions({dfoIncFiles, dfoRecurseFolders});
    Drop({root_ + "/"});
    EXPECT_EQ(Names(), QStringList({"root/a.wav", "root/Sub/b.txt", "root/Sub/Deeper/c.flac", "root/z.mp3"}));
    EXPECT_EQ(drop_->Files(0), root_ + "/a.wav") << "no doubled separator";

    drop_->SetOptions({dfoIncFolders, dfoRecurseFolders});
    Drop({root_, loose_});
    EXPECT_EQ(Names(), QStringList({"root/", "root/Sub/", "root/Sub/Deeper/"}));

    events_.clear();
    drop_->SetOptions({});
    Drop({root_, loose_});
    EXPECT_EQ(events_, QStringList({"before", "drop"}));
    EXPECT_EQ(drop_->Count(), 0);
    EXPECT_EQ(drop_->FileName(), QString());
}

TEST_F(DropFilesTest, LinkBackToAnAncestorDoesNotRecurseForever)
{
    ASSERT_TRUE(QFile::link(root_, root_ + "/Sub/up"));
    drop_->SetOptions({dfoIncFolders, dfoIncFiles, dfoRecurseFolders});
    Drop({root_});
    EXPECT_EQ(Names(), QStringList({"root/", "root/a.wav", "root/Sub/", "root/Sub/b.txt", "root/Sub/Deeper/",
                                    "root/Sub/Deeper/c.flac", "root/Sub/up/", "root/z.mp3"}));
}

TEST_F(DropFilesTest, FilterThenHandlerDecide)
{
    auto* filter = new ExtensionFilter(".txt");
    drop_->SetFilter(filter);
    QStringList handled;
    drop_->SetOnFileFilter([&](QObject* sender, const QString& name, bool isFolder, bool& accept) {
        EXPECT_EQ(sender, drop_.get());
        handled.append(QDir(temp_.path()).relativeFilePath(name) + (isFolder ? "/" : ""));
        if (name.endsWith("z.mp3") || name.endsWith("Deeper"))
            accept = false;
    });
    drop_->SetOptions({dfoIncFolders, dfoIncFiles, dfoRecurseFolders});
    Drop({root_});
    // A refused folder is still walked; the handler only sees what the filter let through.
    EXPECT_EQ(Names(), QStringList({"root/", "root/a.wav", "root/Sub/", "root/Sub/Deeper/c.flac"}));
    EXPECT_EQ(handled, QStringList({"root/", "root/a.wav", "root/Sub/", "root/Sub/Deeper/", "root/Sub/Deeper/c.flac",
                                    "root/z.mp3"}));

    delete filter;
    EXPECT_EQ(drop_->Filter(), nullptr);
    Drop({root_ + "/Sub/b.txt"});
    EXPECT_EQ(drop_->Count(), 1);
}

// A helper may work alone, without a component to raise signals on.
TEST_F(DropFilesTest, AHelperWithoutAComponentStillReadsDropsAndRaisesItsCallbacks)
{
    class Alone : public THZAbstractDropFilesHelper
    {
    public:
        Alone() : THZAbstractDropFilesHelper(nullptr) {}
        QWidget* GetControl() override { return nullptr; }
    } helper;
    QStringList asked;
    helper.OnFileFilter = [&](QObject* sender, const QString& name, bool, bool& accept) {
        EXPECT_EQ(sender, nullptr);
        asked.append(QFileInfo(name).fileName());
        accept = !name.endsWith("z.mp3");
    };
    int drops = 0;
    helper.OnDropFiles = [&](QObject*) { ++drops; };
    helper.Options = THZDropFilesOptions{dfoIncFiles, dfoRecurseFolders};
    helper.ReadDrop({root_}, QPoint(3, 4));
    helper.DoBeforeDrop();
    helper.DoDropFiles();
    EXPECT_EQ(asked, QStringList({"a.wav", "b.txt", "c.flac", "z.mp3"}));
    ASSERT_EQ(helper.Names.size(), 3);
    EXPECT_EQ(helper.DropPoint, QPoint(3, 4));
    EXPECT_EQ(drops, 1);
}

TEST_F(DropFilesTest, RegisteredEventActsLikeADropAndAnswersOne)
{
    EXPECT_EQ(RegisterDropFilesMessage(), RegisterDropFilesMessage());
    Drop({root_, loose_});
    const QStringList fromDrop = Names();
    events_.clear();

    const QPoint point = THZDropFilesEvent::PointFromLParam(0x012CFFFB);
    EXPECT_EQ(point, QPoint(-5, 300));
    THZDropFilesEvent event({root_, loose_}, point);
    EXPECT_TRUE(QCoreApplication::sendEvent(&form_, &event));
    EXPECT_EQ(event.Result, 1);
    EXPECT_EQ(events_, QStringList({"before", "drop"}));
    EXPECT_EQ(Names(), fromDrop);
    EXPECT_EQ(drop_->DropPoint(), QPoint(-5, 300));
}

TEST_F(DropFilesTest, DisabledComponentRefusesDrags)
{
    Drop({loose_});
    events_.clear();
    drop_->SetEnabled(false);
    EXPECT_FALSE(form_.acceptDrops());
    Drop({root_});
    THZDropFilesEvent event({root_}, QPoint(1, 1));
    QCoreApplication::sendEvent(&form_, &event);
    EXPECT_TRUE(events_.isEmpty());
    EXPECT_EQ(Names(), QStringList({"loose.wav"}));

    drop_->SetEnabled(true);
    EXPECT_TRUE(form_.acceptDrops());
    // Drags of text or remote addresses are not file drops.
    QMimeData text, remote;
    text.setText("just text");
    remote.setUrls({QUrl("https://example.org/a.wav")});
    for (const QMimeData* mime : {&text, &remote}) {
        QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(&form_, &enter);
        EXPECT_FALSE(enter.isAccepted());
    }
}

TEST_F(DropFilesTest, FailingHandlerEndsOnlyThatDrop)
{
    ScopedMessageCapture messages;
    drop_->SetOnFileFilter([](QObject*, const QString& name, bool, bool&) {
        if (name.endsWith("loose.wav"))
            throw Exception("cannot take " + QFileInfo(name).fileName());
    });
    EXPECT_TRUE(Drop({root_, loose_}));
    EXPECT_TRUE(lastDropAccepted_) << "the drop is still taken";
    EXPECT_EQ(messages.Texts(), QStringList({"cannot take loose.wav"}));
    EXPECT_EQ(events_, QStringList({"before"}));

    drop_->SetOnFileFilter(nullptr);
    events_.clear();
    Drop({loose_});
    EXPECT_EQ(events_, QStringList({"before", "drop"}));
    EXPECT_EQ(Names(), QStringList({"loose.wav"}));
}

TEST_F(DropFilesTest, MoreThanSixtyFiveThousandNamesAreAllKept)
{
    QStringList names;
    for (int i = 0; i < 65537; ++i)
        names.append(temp_.path() + "/none" + QString::number(i));
    THZDropFilesEvent event(names, QPoint());
    QCoreApplication::sendEvent(&form_, &event);
    EXPECT_EQ(drop_->Count(), 65537);
    EXPECT_EQ(drop_->Files(65536), names.last());
}

} // namespace kx
