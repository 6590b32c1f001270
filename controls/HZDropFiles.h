#pragma once
#include <QEvent>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/DesignState.h"
#include "platform/EnumSet.h"
#include "platform/Events.h"

class QWidget;

namespace kx {

class THZSubClassedDropFiles;

/// What a drop keeps: dropped folders, dropped files, and the contents of
/// dropped folders, depth first.
enum THZDropFilesOption { dfoIncFolders, dfoIncFiles, dfoRecurseFolders };
/// A set of THZDropFilesOption.
using THZDropFilesOptions = EnumSet<THZDropFilesOption>;

/// Accept may be turned off to leave the name out.
using THZDroppedFileFilter =
    std::function<void(QObject* Sender, const QString& FileName, bool IsFolder, bool& Accept)>;

/// Registers the "HZ_DROPFILES" event type; the program calls it once at
/// start-up, later calls give the same type.
QEvent::Type RegisterDropFilesMessage();

/// The registered "HZ_DROPFILES" message: a drop handed to a form by code.
/// It is read like a real drop, then DropPoint becomes Point. A form carrying
/// a THZFormDropFiles answers it with Result 1.
class THZDropFilesEvent : public QEvent
{
public:
    /// A drop of `names` at `point` (client coordinates of the form).
    THZDropFilesEvent(const QStringList& names, QPoint point)
        : QEvent(RegisterDropFilesMessage()), Names(names), Point(point) {}
    /// The point packed as a message parameter: x in the low 16 bits, y in the
    /// high 16, each sign-extended.
    static QPoint PointFromLParam(intptr_t lParam);

    const QStringList Names; ///< The dropped names.
    const QPoint Point;      ///< Where they were dropped.
    int Result = 0;          ///< 1 once a form's component took the drop.
};

/// Decides which dropped names are kept; users of the component derive from it.
class THZFileFilter : public QObject
{
    Q_OBJECT
public:
    /// A filter owned by `owner`.
    explicit THZFileFilter(QObject* owner = nullptr) : QObject(owner) {}
    /// Whether the dropped name is kept.
    virtual bool Accept(const QString& FileName, bool IsFolder) = 0;
};

/// One dropped name and whether it is a folder.
struct THZDroppedName {
    QString Name;          ///< The name as dropped (or found in a dropped folder).
    bool IsFolder = false; ///< Whether it names a folder.
};

/// Holds the settings and the names of the last drop, reads drops and raises
/// the events.
class THZAbstractDropFilesHelper
{
public:
    /// A helper working for `owner`; with none, only the callbacks are raised.
    explicit THZAbstractDropFilesHelper(THZSubClassedDropFiles* owner) : owner_(owner) {}
    virtual ~THZAbstractDropFilesHelper() = default;
    THZAbstractDropFilesHelper(const THZAbstractDropFilesHelper&) = delete;
    THZAbstractDropFilesHelper& operator=(const THZAbstractDropFilesHelper&) = delete;

    /// The window files are dropped on, or null when there is none.
    virtual QWidget* GetWindowHandle() { return GetControl(); }
    /// The drop target.
    virtual QWidget* GetControl() = 0;
    /// Raises the target when ForegroundOnDrop, then OnDropFiles and dropFiles().
    virtual void DoDropFiles();
    /// OnBeforeDrop and beforeDrop(), before the names are read.
    virtual void DoBeforeDrop();

    /// Empties the list, then adds every name by the options; point is in
    /// client coordinates of the drop target.
    void ReadDrop(const QStringList& names, QPoint point);

    /// The component the helper works for.
    THZSubClassedDropFiles* Owner() const { return owner_; }
    bool ForegroundOnDrop = false;  ///< Raise and activate the target on a drop.
    TNotifyEvent OnDropFiles;       ///< After a drop was read.
    TNotifyEvent OnBeforeDrop;      ///< Before a drop is read.
    THZDroppedFileFilter OnFileFilter; ///< Asked for every name the filter kept.
    QPointer<THZFileFilter> Filter; ///< Asked first for every name; null keeps all.
    QPoint DropPoint;               ///< Where the last drop happened.
    QList<THZDroppedName> Names;    ///< The names of the last drop, in the order added.
    THZDropFilesOptions Options{dfoIncFolders, dfoIncFiles}; ///< What a drop keeps.

private:
    void AddName(const QString& name, QStringList& visited);
    bool Accepted(const QString& name, bool isFolder);

    THZSubClassedDropFiles* owner_;
};

/// Published settings and events of a drop-files component and the names of
/// the last drop; the helper that does the work comes from CreateHelper.
class THZSubClassedDropFiles : public QObject, public DesignState
{
    Q_OBJECT
    ///@{
    /// The settings of the same name (see their getters).
    Q_PROPERTY(bool enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(kx::THZFileFilter* filter READ Filter WRITE setFilter)
    Q_PROPERTY(bool foregroundOnDrop READ ForegroundOnDrop WRITE setForegroundOnDrop)
    ///@}
    /// THZDropFilesOptions as bits: 1 folders, 2 files, 4 recurse into folders.
    Q_PROPERTY(int options READ optionBits WRITE setOptions)
    ///@{
    /// The last drop: how many names, the first, all of them, and where.
    Q_PROPERTY(int count READ Count NOTIFY dropFiles)
    Q_PROPERTY(QString fileName READ FileName NOTIFY dropFiles)
    Q_PROPERTY(QStringList files READ fileList NOTIFY dropFiles)
    Q_PROPERTY(QPoint dropPoint READ DropPoint NOTIFY dropFiles)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setFilter(kx::THZFileFilter* value) { SetFilter(value); } ///< Writes filter.
    void setForegroundOnDrop(bool value) { SetForegroundOnDrop(value); } ///< Writes foregroundOnDrop.
    void setOptions(int value) { setOptionBits(value); } ///< Writes options.
    ///@}
public:
    /// A component owned by `owner`.
    explicit THZSubClassedDropFiles(QObject* owner);
    ~THZSubClassedDropFiles() override;

    ///@{
    /// Whether the drop target accepts drops.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    ///@}
    ///@{
    /// The filter asked first for every name; cleared when the filter is destroyed.
    THZFileFilter* Filter() const;
    void SetFilter(THZFileFilter* value);
    ///@}
    ///@{
    /// Raise and activate the drop target's window on a drop.
    bool ForegroundOnDrop() const;
    void SetForegroundOnDrop(bool value);
    ///@}
    ///@{
    /// What a drop keeps (folders and files by default).
    THZDropFilesOptions Options() const;
    void SetOptions(THZDropFilesOptions value);
    ///@}

    ///@{
    /// The events, kept by the helper: before a drop is read, after it was
    /// read, and for every name the filter kept.
    TNotifyEvent OnBeforeDrop() const;
    void SetOnBeforeDrop(TNotifyEvent handler);
    TNotifyEvent OnDropFiles() const;
    void SetOnDropFiles(TNotifyEvent handler);
    THZDroppedFileFilter OnFileFilter() const;
    void SetOnFileFilter(THZDroppedFileFilter handler);
    ///@}

    /// The names of the last drop, in the order added.
    int Count() const;
    /// The name at index (0..Count()-1).
    QString Files(int index) const;
    /// Whether Files(index) is a folder.
    bool IsFolder(int index) const;
    /// The first name, or empty.
    QString FileName() const;
    /// Where the last drop happened, in client coordinates of the form.
    QPoint DropPoint() const;

    /// The helper that reads drops, made on first use.
    THZAbstractDropFilesHelper& Helper() const;

    ///@{
    /// Options as bits, for the property system.
    int optionBits() const { return int(Options().Bits()); }
    void setOptionBits(int bits) { SetOptions(THZDropFilesOptions::FromBits(uint32_t(bits) & 7u)); }
    ///@}
    /// The names of the last drop as a list.
    QStringList fileList() const;

Q_SIGNALS:
    /// The events as signals, emitted right after their handlers on the GUI
    /// thread. fileFilter carries the verdict the filter and the handler
    /// reached; a slot cannot change it (use OnFileFilter or a THZFileFilter).
    ///@{
    /// The events of the same name with "On", after their handlers.
    void dropFiles();
    void beforeDrop();
    ///@}
    /// OnFileFilter, with the verdict reached.
    void fileFilter(const QString& fileName, bool isFolder, bool accepted);

protected:
    /// Makes the helper that reads drops for this kind of component.
    virtual std::unique_ptr<THZAbstractDropFilesHelper> CreateHelper() = 0;
    /// Gives the drop target's window the enabled state (unless designing).
    virtual void ApplyEnabled();

private:
    mutable std::unique_ptr<THZAbstractDropFilesHelper> helper_;
    bool enabled_ = true;
};

/// Lets the owning form accept files and folders dropped on it. Only one per form.
class THZFormDropFiles : public THZSubClassedDropFiles
{
    Q_OBJECT
public:
    /// owner must be a form (a top-level widget) without another THZFormDropFiles.
    explicit THZFormDropFiles(QObject* owner, bool designing = false);
    ~THZFormDropFiles() override;

protected:
    /// A THZFormDropFilesHelper.
    std::unique_ptr<THZAbstractDropFilesHelper> CreateHelper() override;
    /// Sees every event of the form; true when the event was consumed.
    virtual bool WindowProc(QEvent* event);
    /// Hands the form's events to WindowProc.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void HandleDrop(const QStringList& names, QPoint point);

    QPointer<QWidget> form_;
    bool subclassed_ = false;
};

/// The form helper: the drop target is the owning form.
class THZFormDropFilesHelper : public THZAbstractDropFilesHelper
{
public:
    using THZAbstractDropFilesHelper::THZAbstractDropFilesHelper;
    /// The owning form, or null when the owner is not a form.
    QWidget* GetControl() override;
};

} // namespace kx
