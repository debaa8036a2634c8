#include "symboldatastorage.h"

#include <QJsonArray>
#include <QSet>

SymbolDataStorage::SymbolDataStorage(QObject *parent)
    : QObject(parent)
{
    registerMarketRecordTypes();
}

QStringList SymbolDataStorage::symbolList() const
{
    return QStringList(symbols.cbegin(), symbols.cend());
}

void SymbolDataStorage::setSymbolList(const QVector<QString> &list, bool notify)
{
    symbols = list;
    if (notify)
        emit symbolListChanged(symbolList());
}

void SymbolDataStorage::setSymbols(const QStringList &list, bool notify)
{
    setSymbolList(QVector<QString>(list.cbegin(), list.cend()), notify);
}

QStringList SymbolDataStorage::allSymbols() const
{
    return settings.keys();
}

void SymbolDataStorage::setSymbolVisible(const QString &symbol, bool show)
{
    const int index = symbols.indexOf(symbol);
    if (index >= 0 && !show) {
        symbols.remove(index);
        emit symbolListChanged(symbolList());
    } else if (index < 0 && show) {
        symbols.append(symbol);
        emit symbolListChanged(symbolList());
    }
}

TickData SymbolDataStorage::tick(const QString &symbol) const
{
    return ticks.value(symbol);
}

int SymbolDataStorage::symbolDigits(const QString &symbol)
{
    return symbolSetting(symbol).digits;
}

SymbolSetting SymbolDataStorage::symbolSetting(const QString &symbol)
{
    auto it = settings.find(symbol);
    if (it == settings.end()) {
        SymbolSetting unknown;
        unknown.symbol = symbol;
        it = settings.insert(symbol, unknown);
    }
    return it.value();
}

int SymbolDataStorage::heldDigits(const QString &symbol) const
{
    return settings.value(symbol).digits;
}

std::optional<SymbolSetting> SymbolDataStorage::heldSetting(const QString &symbol) const
{
    const auto it = settings.constFind(symbol);
    if (it == settings.constEnd())
        return std::nullopt;
    return it.value();
}

void SymbolDataStorage::clear()
{
    symbols.clear();
    settings.clear();
    ticks.clear();
}

void SymbolDataStorage::onSymbolListReceived(const QJsonObject &reply)
{
    const QJsonArray array = reply.value(QLatin1String("array")).toArray();

    if (symbols.isEmpty()) {
        // No list was restored for this account: show everything, the majors first.
        QVector<QString> favourites;
        QSet<QString> favouriteNames;
        QVector<QString> others;
        for (const QJsonValue element : array) {
            const SymbolSetting setting = settingFromJson(element.toObject());
            if (setting.symbol.isEmpty())
                continue;
            const QString &name = setting.symbol;
            const bool major = name.contains(QLatin1String("EURUSD"), Qt::CaseInsensitive)
                               || name.contains(QLatin1String("GBPUSD"), Qt::CaseInsensitive);
            if (major && !favouriteNames.contains(name)) {
                favourites.append(name);
                favouriteNames.insert(name);
            } else {
                others.append(name);
            }
            settings.insert(name, setting);
        }
        symbols = favourites + others;
    } else {
        // The trader's own list stays exactly as it is; only the symbol settings are refreshed.
        for (const QJsonValue element : array) {
            const SymbolSetting setting = settingFromJson(element.toObject());
            if (!setting.symbol.isEmpty())
                settings.insert(setting.symbol, setting);
        }
    }

    emit symbolListChanged(symbolList());
    emit symbolSettingChanged();
}

void SymbolDataStorage::onPriceReceived(const QJsonObject &reply)
{
    const TickData quote = tickFromJson(reply);
    if (quote.symbol.isEmpty())
        return;

    auto it = ticks.find(quote.symbol);
    if (it != ticks.end()) {
        const TickData &last = it.value();
        // Servers resend unchanged quotes; only a new price (or precision) is worth passing on.
        if (last.symbol == quote.symbol && last.bid == quote.bid && last.ask == quote.ask
            && last.digits == quote.digits)
            return;
        it.value() = quote;
    } else {
        ticks.insert(quote.symbol, quote);
    }
    emit tickChanged(quote);
}

TickData SymbolDataStorage::tickFromJson(const QJsonObject &object)
{
    return readTickData(object);
}

SymbolSetting SymbolDataStorage::settingFromJson(const QJsonObject &object)
{
    return readSymbolSetting(object);
}

#include "moc_symboldatastorage.cpp"
