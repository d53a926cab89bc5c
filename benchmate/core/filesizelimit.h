#ifndef FILESIZELIMIT_H
#define FILESIZELIMIT_H

// Makes a write beyond the process's file size limit (ulimit -f) fail as a
// write to a full disk does, which the station reports ("not written", the
// settings file kept), instead of ending the process with SIGXFSZ and
// nothing said. For the whole process and the chip tools it starts. Does
// nothing where there are no such signals.
void ignoreFileSizeLimitSignal();

#endif // FILESIZELIMIT_H
