// An answer window on a busy PC: the process that waits for the chip may be
// left without the CPU for longer than the whole window. What the chip sent
// meanwhile is its answer, not silence.
#include "answerwait.h"

#include <QThread>
#include <QTimer>
#include <QtTest>

namespace {

constexpr unsigned probePolls = 11;
constexpr int pollMs = 10;

AnswerState ramcodeAnswer(const Answer &answer)
{
    return answer.complete && answer.bytes.contains("RAMCODE") ? AnswerState::Accepted
                                                               : AnswerState::Pending;
}

// Right after the wait has begun, the process is kept from running for
// `stalledMs` (as a scheduler does to a process on a loaded machine); when
// it runs again, `late` has come in meanwhile.
void stallThenDeliver(AnswerBuffer &buffer, int stalledMs, const QByteArray &late)
{
    QTimer::singleShot(0, [&buffer, stalledMs, late] {
        QThread::msleep(ulong(stalledMs));
        buffer.append(late);
    });
}

} // namespace

class tst_AnswerWindow : public QObject
{
    Q_OBJECT

private slots:
    void answerThatCameWhileTheProcessWasStalled();
    void silenceStillEndsTheWindow();
    void answerArrivingAsTheWindowEnds();
};

// The probe's 110 ms passed while the process was stalled; the answer had
// come in the meantime, and is taken rather than the chip called silent.
void tst_AnswerWindow::answerThatCameWhileTheProcessWasStalled()
{
    AnswerBuffer buffer;
    buffer.restart();
    stallThenDeliver(buffer, 3 * probePolls * pollMs, "\r\nTK716A RAMCODE V1.0\r\n");
    QVERIFY(awaitAnswer(buffer, probePolls, pollMs, "version", ramcodeAnswer));
}

// A window that lost its time still ends when nothing comes: after its
// missing looks, false.
void tst_AnswerWindow::silenceStillEndsTheWindow()
{
    AnswerBuffer buffer;
    buffer.restart();
    stallThenDeliver(buffer, 2 * probePolls * pollMs, QByteArray());
    QVERIFY(!awaitAnswer(buffer, probePolls, pollMs, "version", ramcodeAnswer));
    // And a half answer that never ends is not taken either.
    buffer.restart();
    stallThenDeliver(buffer, 2 * probePolls * pollMs, "\r\nTK716A RAM");
    QVERIFY(!awaitAnswer(buffer, probePolls, pollMs, "version", ramcodeAnswer));
}

// The window ends while the answer's last bytes are still coming in: it is
// judged once it has settled, not thrown away.
void tst_AnswerWindow::answerArrivingAsTheWindowEnds()
{
    AnswerBuffer buffer;
    buffer.restart();
    buffer.append("\r\nTK716A RAMCODE V1.0\r\n");
    QVERIFY(awaitAnswer(buffer, 0, pollMs, "version", ramcodeAnswer));
}

QTEST_GUILESS_MAIN(tst_AnswerWindow)
#include "tst_answerwindow.moc"
