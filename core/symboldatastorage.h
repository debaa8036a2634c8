#pragma once

#include "marketrecords.h"

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <optional>

// The logged-in account's market: the market-watch list in display order, the setting
// of every symbol the server announced and the last accepted quote of every symbol. Lives in
// the GUI thread; the trade client's symbol-list and price replies arrive here queued.
//
// What grows here with the server's replies. Every name is one the trade client tracks: at most
// 100,000 a run (tradeclient.h), of at most 64 characters, with a description and a path of at
// most 128 (the client cuts longer ones). Sizes as Qt 5 lays them out on 64 bits, a string 24
// bytes and two a character:
//
//   store            | bounded by                         | worst case, hostile server
//   -----------------|------------------------------------|---------------------------------
//   market-watch list| count: tracked names (first list   | 100,000 entries sharing the
//                    |   after a login, or shown by hand) | settings' names: ~1 MB
//   settings         | count: tracked names; bytes: name, | ~850 bytes a symbol (map node
//                    |   description and path bounded     | 112, three strings 736): ~85 MB
//   last quotes      | count: tracked names; replacement: | ~330 bytes a symbol (hash node
//                    |   one quote a symbol               | 160, its own name 160): ~33 MB
//
// The window as a whole (this store, the market watch, the position store's quotes, the order
// dialog's tick history and symbol box, the client's tracked names) held 4.8 to 4.9 KB a name at
// these bounds in bench_livetables (50,000 names listed and priced: 240 to 246 MB), so ~490 MB
// for 100,000.
// No file.
class SymbolDataStorage : public QObject
{
    Q_OBJECT
public:
    explicit SymbolDataStorage(QObject *parent = nullptr);

    QStringList symbolList() const;
    void setSymbolList(const QVector<QString> &list, bool notify);
    void setSymbols(const QStringList &list, bool notify);
    // Names of every specified symbol, in code-unit order.
    QStringList allSymbols() const;
    void setSymbolVisible(const QString &symbol, bool show);

    // The last accepted quote, or a zero quote for a symbol that never ticked.
    TickData tick(const QString &symbol) const;
    // Both look-ups remember an unknown symbol with the default specification, so it shows up
    // in allSymbols() from then on.
    int symbolDigits(const QString &symbol);
    SymbolSetting symbolSetting(const QString &symbol);
    // The digits of a symbol the store holds, 0 for any other name; remembers nothing.
    int heldDigits(const QString &symbol) const;
    // The settings of a symbol the store holds, none for any other name; remembers nothing.
    std::optional<SymbolSetting> heldSetting(const QString &symbol) const;

    // Forgets list, specifications and quotes; emits nothing.
    void clear();

    void onSymbolListReceived(const QJsonObject &reply);
    void onPriceReceived(const QJsonObject &reply);

    static TickData tickFromJson(const QJsonObject &object);
    static SymbolSetting settingFromJson(const QJsonObject &object);

signals:
    void tickChanged(const TickData &tick);
    void symbolListChanged(const QStringList &symbols);
    void symbolSettingChanged();

private:
    QVector<QString> symbols;
    QMap<QString, SymbolSetting> settings;
    QHash<QString, TickData> ticks;
};
