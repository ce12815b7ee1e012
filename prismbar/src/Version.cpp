#include "prismbar/Version.h"

namespace prismbar {

QVersionNumber libraryVersion() {
    return QVersionNumber(PRISMBAR_VERSION_MAJOR, PRISMBAR_VERSION_MINOR, PRISMBAR_VERSION_PATCH);
}

}  // namespace prismbar
