#pragma once

#include "platform/folderprobe.h"

#include <QHash>

namespace tavirin {

// Every folder is there, readable and writable with a gigabyte free, unless a state is set.
class FakeFolderProbe final : public FolderProbe {
public:
    State inspect(const QString& folder, bool write) override {
        if (states.contains(folder)) return states.value(folder);
        return {true, true, write, qint64(1) << 30, {}};
    }
    QHash<QString, State> states;
};

}  // namespace tavirin
