#pragma once

#include "platform/folderprobe.h"

namespace tavirin {

// FolderProbe on the real file system: QFileInfo and a listing for reading, a small file
// written and removed for writing, QStorageInfo for the room left.
class StorageFolderProbe final : public FolderProbe {
public:
    State inspect(const QString& folder, bool write) override;
};

}  // namespace tavirin
