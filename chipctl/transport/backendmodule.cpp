#include "backendmodule.h"

#include "serialbackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

namespace {

QString fileName(const QString &baseName)
{
#ifdef Q_OS_WIN
    return baseName + QStringLiteral(".dll");
#else
    return baseName + QStringLiteral(".so");
#endif
}

// The directories a module is looked for in, in order.
QStringList searchDirs()
{
    const QString chosen = qEnvironmentVariable("CHIPCTL_MODULE_DIR");
    if (!chosen.isEmpty())
        return {chosen};
    QStringList dirs{QCoreApplication::applicationDirPath()};
#ifdef CHIPCTL_BUILD_MODULE_DIR
    dirs.append(QStringLiteral(CHIPCTL_BUILD_MODULE_DIR));
#endif
    return dirs;
}

} // namespace

std::unique_ptr<SerialBackend> BackendModule::create(const QString &baseName, QString &error)
{
    const QString name = fileName(baseName);
    const QStringList dirs = searchDirs();
    QString path;
    for (const QString &dir : dirs) {
        const QString candidate = QDir(dir).absoluteFilePath(name);
        if (QFileInfo::exists(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty()) {
        error = QStringLiteral("the module %1 is not in %2")
                    .arg(name, dirs.join(QStringLiteral(" nor in ")));
        return nullptr;
    }
    // Never unloaded: the backend's code must outlive it.
    QLibrary library(path);
    if (!library.load()) {
        error = QStringLiteral("the module %1 does not load: %2").arg(path, library.errorString());
        return nullptr;
    }
    const auto create = reinterpret_cast<Create>(library.resolve(entryPoint));
    if (!create) {
        error = QStringLiteral("the module %1 has no %2").arg(path, QLatin1String(entryPoint));
        return nullptr;
    }
    std::unique_ptr<SerialBackend> backend;
    create(&backend);
    if (!backend)
        error = QStringLiteral("the module %1 made no backend").arg(path);
    return backend;
}
