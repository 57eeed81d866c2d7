// Usage: bench_scan ROOT DATE [RUNS]
// Scans ROOT RUNS times (after one warm-up scan) with DATE as the comparison
// time and prints one line: the median time in milliseconds, the number of
// files examined and the number selected.
#include "localscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 3) {
        err << "usage: bench_scan ROOT DATE [RUNS]\n";
        return 2;
    }
    bool ok = false;
    const quint32 date = args.at(2).toUInt(&ok);
    const int runs = args.size() > 3 ? args.at(3).toInt() : 7;
    if (!ok || runs < 1) {
        err << "bench_scan: DATE must be seconds since the epoch, RUNS a positive number\n";
        return 2;
    }

    ResultatAnalyse r = analyseDossier(args.at(1), QString(), false, date, QStringList());
    std::vector<double> temps;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        r = analyseDossier(args.at(1), QString(), false, date, QStringList());
        temps.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(temps.begin(), temps.end());
    QTextStream out(stdout);
    out << QString::number(temps[temps.size() / 2], 'f', 2) << ' ' << r.nbFichiers << ' '
        << r.envoi.size() << '\n';
    return r.racineExiste ? 0 : 1;
}
