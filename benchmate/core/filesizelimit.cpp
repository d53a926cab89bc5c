#include "filesizelimit.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

void ignoreFileSizeLimitSignal()
{
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
