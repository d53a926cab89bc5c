#ifndef ANSWERWAIT_H
#define ANSWERWAIT_H

#include "answerbuffer.h"
#include "waitms.h"

#include <functional>

// Judges one answer, whole or not yet (see Answer).
using AnswerRule = std::function<AnswerState(const Answer &)>;

// Waits for the answer collected in `buffer`, for `polls` intervals of
// `intervalMs` in all, blocking in the event loop meanwhile. `rule` is asked
// whenever the answer has gone quiet: at once when a whole answer is in, and
// never while bytes keep coming. An answer that outgrew the buffer is
// refused once it is whole; a lost link ends the wait at once, after the
// rule has judged what arrived. A malformed answer is not taken: the wait
// goes on. Returns true when the rule accepted the answer. `name` names the
// rule in the wire trace, with the verdict (and with "malformed" for each
// malformed answer as it stands). When the bound has come, the rule has one
// last look at the answer as it stands (Answer::last).
bool awaitAnswer(const AnswerBuffer &buffer, unsigned polls, int intervalMs, const char *name,
                 const AnswerRule &rule);

#endif // ANSWERWAIT_H
