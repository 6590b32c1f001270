#include "PeakFileFill.h"

#include <QFile>
#include <algorithm>

#include "PeakViewModel.h"
#include "PeakViewSource.h"
#include "peaks/PeakFormat.h"
#include "peaks/RmsFile.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"

namespace kx {

PeakFileFill::PeakFileFill() = default;
PeakFileFill::~PeakFileFill() = default;

bool PeakFileFill::Start(const QString& fileName, PeakViewModel& model, int64_t firstRecords)
{
    auto file = std::make_unique<QFile>();
    if (!StatNative(fileName).isFile || !OpenNativeFile(*file, fileName, QIODevice::ReadOnly))
        return false;
    const int64_t size = file->size();
    std::vector<uint8_t> header(PeakHeaderSize);
    header.resize(ReadNativeAt(file->handle(), 0, header.data(), PeakHeaderSize));
    const PeakCheck check = CheckPeakData(header, static_cast<uint64_t>(size), PeakReader::ViewerFile);
    if (check != PeakCheck::Accepted) {
        qCDebug(lcViewers) << "refusing" << fileName << ":" << PeakCheckText(check);
        return false;
    }
    const int64_t total = size - PeakHeaderSize;
    const auto h = DecodePeakHeader(header);
    if (total <= 0 || !h)
        return false;
    // Fresh pages cost a fault each: only what the picture needs comes first.
    const int64_t wanted = std::clamp<int64_t>(std::max<int64_t>(firstRecords, 0) * PeakRecordSize(*h), MinFirstBytes,
                                               MaxFirstBytes);
    std::vector<uint8_t> data;
    try {
        // Room for the whole file now, so the pieces never move what is read.
        data.reserve(static_cast<size_t>(total));
        data.resize(static_cast<size_t>(std::min(total, wanted)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (ReadNativeAt(file->handle(), PeakHeaderSize, data.data(), data.size()) != data.size())
        return false;

    spentData_ = std::move(model.PeakData);
    spentLevels_ = std::move(model.Pyramid);
    model.Pyramid = PeakPyramid();
    StorePeakHeader(model, header);
    model.PeakData = std::move(data);
    model.ExpectedBytes = total;
    model.Rms.Clear();
    model.RebuildPyramid();
    name_ = fileName;
    header_ = std::move(header);
    total_ = total;
    file_ = std::move(file);
    if (static_cast<int64_t>(model.PeakData.size()) == total) {
        // Read whole at once, as a short file is.
        model.ExpectedBytes = 0;
        Stop();
        LoadRms(model);
    }
    return true;
}

PeakFileFill::Step PeakFileFill::Next(PeakViewModel& model)
{
    if (!file_)
        return Step::Idle;
    spentData_ = {};
    spentLevels_ = PeakPyramid();
    const auto have = static_cast<int64_t>(model.PeakData.size());
    const int64_t want = std::min(StepBytes, total_ - have);
    model.PeakData.resize(static_cast<size_t>(have + want));
    const auto got = static_cast<int64_t>(
        ReadNativeAt(file_->handle(), static_cast<uint64_t>(PeakHeaderSize + have), model.PeakData.data() + have,
                     static_cast<size_t>(want)));
    model.PeakData.resize(static_cast<size_t>(have + got));
    model.Pyramid.Extend(model.PeakData);
    if (got < want) {
        // Cut short since it was opened: what was read is the file now.
        qCWarning(lcViewers) << name_ << "ended after" << have + got << "of" << total_ << "bytes of records";
        model.ExpectedBytes = 0;
        file_.reset();
        return Step::Cut;
    }
    if (have + got < total_)
        return Step::More;
    model.ExpectedBytes = 0;
    file_.reset();
    LoadRms(model);
    return Step::Done;
}

PeakFileFill::Step PeakFileFill::Finish(PeakViewModel& model)
{
    Step step = Step::Idle;
    while (Active())
        step = Next(model);
    return step;
}

void PeakFileFill::Stop()
{
    file_.reset();
    spentData_ = {};
    spentLevels_ = PeakPyramid();
}

void PeakFileFill::LoadRms(PeakViewModel& model) const
{
    const auto header = DecodePeakHeader(header_);
    if (!header || model.RecordBytes() <= 0)
        return;
    const int64_t records = static_cast<int64_t>(model.PeakData.size()) / model.RecordBytes();
    QString why;
    if (auto rms = ReadRmsFor(name_, *header, records, &why))
        model.Rms.Build(std::move(rms->values), rms->channels);
    else
        qCDebug(lcViewers) << "no RMS levels for" << name_ << ":" << why;
}

} // namespace kx
