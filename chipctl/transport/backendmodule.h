#ifndef BACKENDMODULE_H
#define BACKENDMODULE_H

#include <QString>

#include <memory>

class SerialBackend;

// One backend module of Chipctl ("chipctl_localport", "chipctl_netport"):
// a shared library beside the program (chipctl_netport.dll next to
// Chipctl.exe on Windows, chipctl_netport.so on Linux) that makes one kind
// of SerialBackend. It is loaded on first use and stays loaded for the rest
// of the run, as long as any backend it made may live.
//
// Where it is looked for: the directory named by CHIPCTL_MODULE_DIR when
// that is set (and only there); otherwise Chipctl's own directory, then the
// directory the build put the modules in (so that a copy of the program in a
// test's or a benchmark's directory still finds them).
class BackendModule
{
public:
    // The entry point every module exports (backendentry.h). Its number
    // counts the interface: a module of another interface is refused.
    using Create = void (*)(std::unique_ptr<SerialBackend> *backend);
    static constexpr const char *entryPoint = "chipctlCreateBackend1";

    // A backend from the module `baseName`; null, with the reason in
    // `error`, when the module is missing, cannot be loaded or lacks the
    // entry point.
    static std::unique_ptr<SerialBackend> create(const QString &baseName, QString &error);
};

#endif // BACKENDMODULE_H
