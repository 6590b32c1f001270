#pragma once
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include "peaks/KXPeakBuilder.h"

namespace kx {

/**
 * TKXPeakBuilder as the QML type `PeakBuilder`: its properties and signals
 * unchanged (samplesPerPeak, saveToPeakFiles, files, buildState, peakComplete,
 * progress, error, ...), and the operations QML calls. File names may be
 * paths or file URLs.
 */
class QuickPeakBuilder : public kx::TKXPeakBuilder
{
    Q_OBJECT
    QML_NAMED_ELEMENT(PeakBuilder)
public:
    /// The states buildState takes.
    enum BuildStates {
        Stopped = bsStopped,    ///< nothing is built
        Paused = bsPaused,      ///< a build is paused
        Building = bsBuilding,  ///< a file is being built
        Failed = bsFailed,      ///< the last build failed
    };
    Q_ENUM(BuildStates)

    /// A builder with an empty queue; starts the media framework once.
    explicit QuickPeakBuilder(QObject* parent = nullptr);

    /// Queues a media file; false for a duplicate or a missing file.
    Q_INVOKABLE bool appendFile(const QString& file);
    /// Queues several files; false when none was queued.
    Q_INVOKABLE bool appendFiles(const QStringList& files);
    /// Empties the queue, then queues this one file.
    Q_INVOKABLE void setFile(const QString& file);
    /// Stops a running build and empties the queue.
    Q_INVOKABLE void clear() { Clear(); }
    /// Starts the next file missing its peaks; false when none could start.
    Q_INVOKABLE bool start() { return StartBuild(); }
    /// Pauses the running build.
    Q_INVOKABLE bool pause() { return PauseBuild(); }
    /// Stops the running build; its file stays missing.
    Q_INVOKABLE bool stop() { return StopBuild(); }
    /// Lets the file being built complete, then starts no further file.
    Q_INVOKABLE void abort() { AbortBuild(); }
    /// The peak file name of queued file `index` (empty past the queue).
    Q_INVOKABLE QString peakFileName(int index) const;
    /// Whether queued file `index` has peaks in memory.
    Q_INVOKABLE bool hasStream(int index) const;
};

} // namespace kx
