#pragma once

#include <QString>

namespace auralune {

// Shows a desktop notification through org.freedesktop.Notifications on
// the session bus. Fire and forget: a missing bus or service is ignored.
void notifyDesktop(const QString& summary, const QString& body);

}  // namespace auralune
