#include "shell/single_instance.h"

#include <QDir>

#include "job/contract/message_texts.h"

namespace shell {

SingleInstance::SingleInstance(const QString& folder)
    : lock_(QDir(folder.isEmpty() ? QDir::tempPath() : folder)
                .filePath(QString::fromUtf8(job::kProductTitle) + QStringLiteral(".lock"))) {
  acquired_ = lock_.tryLock(0);
}

}  // namespace shell
