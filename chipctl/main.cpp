#include "cmdparse.h"
#include "console.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        QStringList args = QCoreApplication::arguments();
        if (!args.isEmpty())
            args.removeFirst();
        CMD_PARSE parser;
        parser.execute(args);
    }
    Console::flush();
    return status;
}
