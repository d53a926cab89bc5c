#ifndef BACKENDENTRY_H
#define BACKENDENTRY_H

#include "serialbackend.h"

#include <QtGlobal>

#include <memory>

// The entry point of a backend module (BackendModule): fills `backend` with
// a new backend of the module's kind. Each module defines it once.
extern "C" Q_DECL_EXPORT void chipctlCreateBackend1(std::unique_ptr<SerialBackend> *backend);

#endif // BACKENDENTRY_H
