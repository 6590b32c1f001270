#pragma once
#include <QString>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstCaps GstCaps;

namespace kx {

/// Which side of an element a pad is on: sink pads take input, source pads give output.
enum PinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

/// Major media types a pin can offer. Stream is raw bytes (a file source's
/// output, or a pad with no fixed caps), the rest go by the caps' media name.
enum class MajorType { Null, Stream, Audio, Video };

/// First pad of the element in the given direction that can carry the major
/// type (any pad for MajorType::Null); a new reference, or null. A null
/// element is a programming error (assertion in KXCommonPlayer).
GstPad* FindPin(GstElement* filter, PinDirection direction, MajorType major);

/// The major type of a set of caps.
MajorType MajorTypeOfCaps(const GstCaps* caps);
/// Whether a pad carries audio: its negotiated caps, else what it can offer.
bool PadCarriesAudio(GstPad* pad);
/// Whether an element (null: none) has a property of that name.
bool HasProperty(GstElement* element, const char* name);

/// A folder is writable when it exists, is a directory, carries a write
/// permission bit, lies on a mount that is not read-only, and access(W_OK)
/// agrees. The folder is the part of the path before its last "/" (the root
/// stays whole), so "a/b/" names b and "a/b" names a.
bool FolderWritable(const QString& path);

} // namespace kx
