#pragma once

#include "core/error.h" // every function here throws tessal::Error

#include <QDate>
#include <QString>

namespace tessal::data {

struct DemoOptions
{
    int accounts = 4;                      // at most 999
    int entries = 2400;                    // in all accounts; the first account gets three shares
    int days = 730;                        // the entries spread over this many days ...
    QDate lastDate = QDate::currentDate(); // ... ending on this one
    quint32 seed = 20070201;               // the same options always give the same data
    // Users belong to the session layer, which hashes passwords: with a hash given, the user
    // "Supervisor" (code "001") is stored with it; without one the users table stays empty.
    QString supervisorPasswordHash;
    QString supervisorName = QStringLiteral("Supervisor");
};

// Fills a fresh data directory (created when missing) with demo data: accounts, standard
// descriptions of both types, settlement types, and entries with their running balances, in one
// transaction. A directory whose caixa.mdb already holds accounts or entries is refused.
void generateDemoData(const QString &dataDir, const DemoOptions &options = {});

} // namespace tessal::data
