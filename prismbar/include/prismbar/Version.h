#pragma once

#include <QVersionNumber>

#include "prismbar/prismbar_export.h"

namespace prismbar {

// The version of the loaded control library (not of the host that uses it).
PRISMBAR_EXPORT QVersionNumber libraryVersion();

}  // namespace prismbar
