// A station's results work in a process of its own, for the tests that kill
// it at random moments:
//
//   results_helper write DB STATION FIRST COUNT
//       records cycles FIRST .. FIRST+COUNT-1 (samplecycles) in DB, printing
//       "recorded N" once each is committed
//   results_helper forward DB HOST PORT NAME USER PASSWORD_FILE
//       forwards DB's cycles to that PostgreSQL database; prints "sent N"
//       as batches go over, "forwarded" and ends with 0 once every cycle is
//       there, 1 when forwarding cannot go on
#include "resultsrecorder.h"
#include "samplecycles.h"
#include "stationresults.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    if (args.size() == 5 && args.at(0) == QLatin1String("write")) {
        ResultsRecorder recorder(args.at(1));
        const int first = args.at(3).toInt();
        const int count = args.at(4).toInt();
        for (int n = first; n < first + count; ++n) {
            QString error;
            if (!recorder.recordCycle(sampleCycle(args.at(2), n), &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            out << "recorded " << n << Qt::endl;
        }
        return 0;
    }
    if (args.size() == 7 && args.at(0) == QLatin1String("forward")) {
        StationSettings settings;
        settings.stationId = QStringLiteral("helper");
        settings.factory.enabled = true;
        settings.factory.host = args.at(2);
        settings.factory.port = args.at(3).toInt();
        settings.factory.name = args.at(4);
        settings.factory.user = args.at(5);
        settings.factory.passwordFile = args.at(6);
        settings.factory.retrySeconds = 1;
        StationResults results(settings, args.at(1));
        qint64 sent = 0;
        QObject::connect(&results, &StationResults::forwardStatusChanged,
                         [&](const ForwardStatus &status) {
                             if (status.forwarded == sent)
                                 return;
                             sent = status.forwarded;
                             out << "sent " << sent << Qt::endl;
                         });
        const bool done = results.waitForForwarding(120000);
        out << (done ? "forwarded" : qPrintable(results.forwardStatus().summary())) << Qt::endl;
        return done ? 0 : 1;
    }
    std::fprintf(stderr, "usage: results_helper write DB STATION FIRST COUNT | forward DB HOST "
                         "PORT NAME USER PASSWORD_FILE\n");
    return 2;
}
