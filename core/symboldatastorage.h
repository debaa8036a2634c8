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
