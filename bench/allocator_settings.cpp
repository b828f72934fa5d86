// Linked into every benchmark: they run with the allocator settings the
// program starts with, so that images made and freed frame after frame
// reuse their pages as they do in the interface.
#include "core/common.h"

namespace {

const bool kSettingsApplied = (KeepFreedImageMemory(), true);

}  // namespace
