// Takes the single-instance lock in the directory given and holds it until killed or until a
// line arrives on standard input; prints "held" or "refused".
#include "core/singleinstance.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    tessal::SingleInstance instance(app.arguments().value(1));
    const bool held = instance.tryAcquire();
    std::puts(held ? "held" : "refused");
    std::fflush(stdout);
    if (held) {
        QTextStream in(stdin);
        in.readLine();
    }
    return held ? 0 : 1;
}
