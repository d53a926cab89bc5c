// The reference for Chipctl's per-run cost: the least a Qt console program
// does, start its application object and print a result text.
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "V1.0.16\n"
        << "Ok.";
    return 0;
}
