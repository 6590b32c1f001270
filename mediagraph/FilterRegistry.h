#pragma once
#include <QString>
#include <functional>

typedef struct _GstElement GstElement;

namespace kx {

/// Filters are created by class identifier ("{C79B5024-...}"): components
/// register a factory for the identifiers they provide, and creation of an
/// identifier nobody provides simply yields nothing.
namespace FilterRegistry {

/// Makes a new element named by the label (a floating reference), or null.
using Factory = std::function<GstElement*(const QString& label)>;

/// Identifiers compare without regard to case or braces.
/// Maps the identifier to the factory, replacing any before.
void Register(const QString& classId, Factory factory);
/// Forgets the identifier; unknown ones are ignored.
void Unregister(const QString& classId);
/// Whether a factory is mapped to the identifier.
bool Registered(const QString& classId);

} // namespace FilterRegistry

/// A new element (a normal, non-floating reference the caller owns), or null.
/// Never throws; the label names the element.
GstElement* CreateFilter(const QString& classId, const QString& label);

} // namespace kx
