#include "HZDropFiles.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <exception>
#include <utility>

#include "platform/Exception.h"
#include "platform/widgets/MessageBox.h"

namespace kx {

QEvent::Type RegisterDropFilesMessage()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QPoint THZDropFilesEvent::PointFromLParam(intptr_t lParam)
{
    const auto bits = static_cast<uint32_t>(lParam);
    return QPoint(static_cast<int16_t>(bits & 0xFFFFu), static_cast<int16_t>(bits >> 16));
}

// Helper.

void THZAbstractDropFilesHelper::DoDropFiles()
{
    if (ForegroundOnDrop) {
        if (QWidget* target = GetWindowHandle()) {
            target->raise();
            target->activateWindow();
        }
    }
    Fire(OnDropFiles, owner_);
    if (owner_)
        Q_EMIT owner_->dropFiles();
}

void THZAbstractDropFilesHelper::DoBeforeDrop()
{
    Fire(OnBeforeDrop, owner_);
    if (owner_)
        Q_EMIT owner_->beforeDrop();
}

void THZAbstractDropFilesHelper::ReadDrop(const QStringList& names, QPoint point)
{
    Names.clear();
    QStringList walking;
    for (const QString& name : names)
        AddName(name, walking);
    DropPoint = point;
}

void THZAbstractDropFilesHelper::AddName(const QString& name, QStringList& walking)
{
    const QFileInfo info(name);
    if (!info.isDir()) {
        // Includes names that do not exist: they follow the file rules.
        if (Options.Contains(dfoIncFiles) && Accepted(name, false))
            Names.append({name, false});
        return;
    }
    if (Options.Contains(dfoIncFolders) && Accepted(name, true))
        Names.append({name, true});
    if (!Options.Contains(dfoRecurseFolders))
        return;

    // A link back to a folder being walked would recurse forever.
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || walking.contains(canonical))
        return;
    walking.append(canonical);
    const QString prefix = name.endsWith(QLatin1Char('/')) ? name : name + QLatin1Char('/');
    const QStringList entries =
        QDir(prefix).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name | QDir::IgnoreCase);
    for (const QString& entry : entries)
        AddName(prefix + entry, walking);
    walking.removeLast();
}

bool THZAbstractDropFilesHelper::Accepted(const QString& name, bool isFolder)
{
    bool accept = Filter ? Filter->Accept(name, isFolder) : true;
    if (accept && OnFileFilter)
        OnFileFilter(owner_, name, isFolder, accept);
    if (owner_)
        Q_EMIT owner_->fileFilter(name, isFolder, accept);
    return accept;
}

QWidget* THZFormDropFilesHelper::GetControl()
{
    auto* form = qobject_cast<QWidget*>(Owner()->parent());
    return form && form->isWindow() ? form : nullptr;
}

// Component.

THZSubClassedDropFiles::THZSubClassedDropFiles(QObject* owner) : QObject(owner) {}

THZSubClassedDropFiles::~THZSubClassedDropFiles() = default;

THZAbstractDropFilesHelper& THZSubClassedDropFiles::Helper() const
{
    // Made on first use: the factory is virtual, so it cannot run in this constructor.
    if (!helper_)
        helper_ = const_cast<THZSubClassedDropFiles*>(this)->CreateHelper();
    return *helper_;
}

void THZSubClassedDropFiles::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    ApplyEnabled();
}

void THZSubClassedDropFiles::ApplyEnabled()
{
    if (Designing())
        return;
    if (QWidget* target = Helper().GetWindowHandle())
        target->setAcceptDrops(enabled_);
}

THZFileFilter* THZSubClassedDropFiles::Filter() const { return Helper().Filter.data(); }
void THZSubClassedDropFiles::SetFilter(THZFileFilter* value) { Helper().Filter = value; }
bool THZSubClassedDropFiles::ForegroundOnDrop() const { return Helper().ForegroundOnDrop; }
void THZSubClassedDropFiles::SetForegroundOnDrop(bool value) { Helper().ForegroundOnDrop = value; }
THZDropFilesOptions THZSubClassedDropFiles::Options() const { return Helper().Options; }
void THZSubClassedDropFiles::SetOptions(THZDropFilesOptions value) { Helper().Options = value; }
QStringList THZSubClassedDropFiles::fileList() const
{
    QStringList names;
    for (const THZDroppedName& n : Helper().Names)
        names.append(n.Name);
    return names;
}

TNotifyEvent THZSubClassedDropFiles::OnBeforeDrop() const { return Helper().OnBeforeDrop; }
void THZSubClassedDropFiles::SetOnBeforeDrop(TNotifyEvent handler) { Helper().OnBeforeDrop = std::move(handler); }
TNotifyEvent THZSubClassedDropFiles::OnDropFiles() const { return Helper().OnDropFiles; }
void THZSubClassedDropFiles::SetOnDropFiles(TNotifyEvent handler) { Helper().OnDropFiles = std::move(handler); }
THZDroppedFileFilter THZSubClassedDropFiles::OnFileFilter() const { return Helper().OnFileFilter; }
void THZSubClassedDropFiles::SetOnFileFilter(THZDroppedFileFilter handler) { Helper().OnFileFilter = std::move(handler); }

int THZSubClassedDropFiles::Count() const { return static_cast<int>(Helper().Names.size()); }

QString THZSubClassedDropFiles::Files(int index) const
{
    const auto& names = Helper().Names;
    return index >= 0 && index < names.size() ? names[index].Name : QString();
}

bool THZSubClassedDropFiles::IsFolder(int index) const
{
    const auto& names = Helper().Names;
    return index >= 0 && index < names.size() && names[index].IsFolder;
}

QString THZSubClassedDropFiles::FileName() const { return Files(0); }

QPoint THZSubClassedDropFiles::DropPoint() const { return Helper().DropPoint; }

// Form component.

namespace {

// Checked before the component joins its owner, so that a refused one is never created.
QObject* CheckedFormOwner(QObject* owner)
{
    auto* form = qobject_cast<QWidget*>(owner);
    if (!form || !form->isWindow())
        throw Exception("THZFormDropFiles owner must be a form");
    for (QObject* child : owner->children()) {
        if (auto* present = qobject_cast<THZFormDropFiles*>(child))
            throw Exception(QStringLiteral("Only one THZFormDropFiles component is permitted on a form: "
                                           "%1 is already present on %2")
                                .arg(present->objectName(), owner->objectName()));
    }
    return owner;
}

// Local file names of a shell drop; empty when the drag carries no files.
QStringList LocalFiles(const QMimeData* mime)
{
    QStringList names;
    if (!mime || !mime->hasUrls())
        return names;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            names.append(url.toLocalFile());
    }
    return names;
}

} // namespace

THZFormDropFiles::THZFormDropFiles(QObject* owner, bool designing)
    : THZSubClassedDropFiles(CheckedFormOwner(owner)), form_(qobject_cast<QWidget*>(owner))
{
    SetDesigning(designing);
    Helper();
    if (designing)
        return;
    form_->installEventFilter(this);
    subclassed_ = true;
    ApplyEnabled();
}

THZFormDropFiles::~THZFormDropFiles()
{
    // The form may be deleting its children; its QWidget part is still whole.
    if (subclassed_ && form_) {
        form_->setAcceptDrops(false);
        form_->removeEventFilter(this);
    }
}

std::unique_ptr<THZAbstractDropFilesHelper> THZFormDropFiles::CreateHelper()
{
    return std::make_unique<THZFormDropFilesHelper>(this);
}

bool THZFormDropFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == form_)
        return WindowProc(event);
    return THZSubClassedDropFiles::eventFilter(watched, event);
}

bool THZFormDropFiles::WindowProc(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == RegisterDropFilesMessage()) {
        auto* drop = dynamic_cast<THZDropFilesEvent*>(event);
        if (!drop)
            return false; // the type number without the names: not ours to read
        if (Enabled())
            HandleDrop(drop->Names, drop->Point);
        drop->Result = 1;
        return true;
    }
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;

    // Drags that carry no local files are the form's own business.
    auto* dropEvent = static_cast<QDropEvent*>(event);
    const QStringList names = LocalFiles(dropEvent->mimeData());
    if (names.isEmpty())
        return false;
    if (type != QEvent::Drop && !Enabled())
        return false;
    // Files are copied, never moved away from the shell; the drop is taken
    // (the drag source is told so) whatever the handlers do.
    if (dropEvent->possibleActions() & Qt::CopyAction) {
        dropEvent->setDropAction(Qt::CopyAction);
        dropEvent->accept();
    } else {
        dropEvent->acceptProposedAction();
    }
    if (type != QEvent::Drop)
        return true;
    if (Enabled())
        HandleDrop(names, dropEvent->position().toPoint());
    return true;
}

void THZFormDropFiles::HandleDrop(const QStringList& names, QPoint point)
{
    THZAbstractDropFilesHelper& helper = Helper();
    try {
        helper.DoBeforeDrop();
        helper.ReadDrop(names, point);
        helper.DoDropFiles();
    } catch (const std::exception& e) {
        // A failing handler ends this drop only; the application shows why.
        ShowMessageBox(form_, QString::fromUtf8(e.what()));
    }
}

} // namespace kx
