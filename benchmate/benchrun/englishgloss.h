#ifndef ENGLISHGLOSS_H
#define ENGLISHGLOSS_H

#include <QString>

// benchrun speaks English, but the engine's log lines and the judge's
// messages are the station's own Chinese texts (the daily log keeps them as
// they are). Beside each such text benchrun prints what it says:
// "等待RX测试结果超时，退出测试！ (timed out waiting for the RX test result;
// test ended)". One table of glosses, for every line benchrun prints.
class EnglishGloss
{
public:
    // `line` with the glosses of the engine's texts it holds appended in
    // brackets; as it is when it holds none.
    static QString annotate(const QString &line);
    // Each line of `text` annotated.
    static QString annotateLines(const QString &text);
};

#endif // ENGLISHGLOSS_H
