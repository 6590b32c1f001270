#pragma once
#include <QString>
#include <functional>

typedef struct _GstElement GstElement;

namespace kx {

/// Filters are created by class identifier ("{C79B5024-...}"): components
/// register a factory for the identifiers they provide, and creation of an
/// identifier nobody provides simply yields nothing.
namespace FilterRegistry {

using Factory = std::function<GstElement*(const QString& label)>;

/// Identifiers compare without regard to case or braces.
void Register(const QString& classId, Factory factory);
void Unregister(const QString& classId);
bool Registered(const QString& classId);

} // namespace FilterRegistry

/// A new element (a normal, non-floating reference the caller owns), or null.
/// Never throws; the label names the element.
GstElement* CreateFilter(const QString& classId, const QString& label);

} // namespace kx
