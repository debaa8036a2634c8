#include "new_order.h"
#include "ui_new_order.h"

#include "axistag.h"
#include "client_terminal.h"
#include "displayformat.h"
#include "logger.h"
#include "mydatetimeticker.h"
#include "positionrecords.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace TickWindow {

void Series::dropOldest(int count)
{
    m_first += count;
    const int dead = m_first;
    if (dead < 8 || dead <= size() / 4)
        return;
    // mid() allocates the kept run exactly, so room left by a long run now dropped goes too.
    m_times = m_times.mid(m_first);
    m_bids = m_bids.mid(m_first);
    m_asks = m_asks.mid(m_first);
    m_first = 0;
}

void Series::push(double time, double bid, double ask, int physicalCap)
{
    // Growth by half rather than Qt's doubling, and never past what the caps let a series hold.
    if (m_times.size() == m_times.capacity()) {
        const int room = std::min(m_times.size() + m_times.size() / 2 + 8, std::max(physicalCap, m_times.size() + 1));
        m_times.reserve(room);
        m_bids.reserve(room);
        m_asks.reserve(room);
    }
    m_times.append(time);
    m_bids.append(bid);
    m_asks.append(ask);
}

History::History(int symbolCap, int totalCap)
    : m_symbolCap(std::max(1, symbolCap)), m_totalCap(std::max(1, totalCap)), m_holding(size_t(m_symbolCap) + 1)
{
}

const Series *History::find(const QString &symbol) const
{
    const auto it = m_series.find(symbol);
    return it == m_series.end() ? nullptr : &it->second;
}

void History::append(const QString &symbol, double time, double bid, double ask, int digits)
{
    Series &series = m_series[symbol];
    if (series.m_symbol.isNull())
        series.m_symbol = symbol;
    series.m_digits = digits;

    // Ticks arrive in time order from a sane server, so the expired ones are a leading run; a
    // clock that stands still or runs back expires none, and the counts below bound it instead.
    // A clock that stepped back further than the window would leave the kept ticks beside a
    // window nothing new enters until the caps pushed them out: the window starts again.
    int drops = 0;
    if (!series.isEmpty() && series.lastTime() - time > Span)
        drops = series.size();
    while (drops < series.size() && time - series.timeAt(drops) > Span)
        ++drops;
    drops = std::max(drops, series.size() - (m_symbolCap - 1));
    if (drops > 0)
        drop(series, drops);
    if (m_total >= m_totalCap) {
        Series &largest = series.size() == m_most ? series : *m_holding[size_t(m_most)].back();
        drop(largest, 1);
        if (&largest != &series && largest.isEmpty()) {
            const QString forgotten = largest.m_symbol;
            m_series.erase(forgotten);
        }
    }

    const int before = series.size();
    // A dropped run is at most a quarter of what is kept, so this is all the room a series needs.
    series.push(time, bid, ask, m_symbolCap + m_symbolCap / 4 + 8);
    recount(series, before);
}

void History::drop(Series &series, int count)
{
    const int before = series.size();
    series.dropOldest(count);
    recount(series, before);
}

void History::recount(Series &series, int before)
{
    const int after = series.size();
    if (before > 0) {
        std::vector<Series *> &was = m_holding[size_t(before)];
        Series *moved = was.back();
        was[size_t(series.m_slot)] = moved;
        moved->m_slot = series.m_slot;
        was.pop_back();
    }
    if (after > 0) {
        std::vector<Series *> &now = m_holding[size_t(after)];
        series.m_slot = int(now.size());
        now.push_back(&series);
    }
    m_total += after - before;
    m_most = std::max(m_most, after);
    // The largest count rises by at most one a tick, so this walk down is O(1) amortised.
    while (m_most > 0 && m_holding[size_t(m_most)].empty())
        --m_most;
}

Range timeRange(const QVector<double> &times)
{
    if (times.isEmpty())
        return {};
    // The span and the clamp keep the newest within [lower, lower + Span] whatever the order of
    // the kept times; with a clock running forward the oldest is within it already.
    const double lower = std::clamp(times.first(), times.last() - Span, times.last());
    return {lower, lower + Span + Margin};
}

} // namespace TickWindow

namespace {

QString rateText(const TickData &tick)
{
    return DisplayFormat::price(tick.bid, tick.digits) + QLatin1Char('/') + DisplayFormat::price(tick.ask, tick.digits);
}

} // namespace

New_Order::New_Order(TradeClient *client, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_New_Order)
    , tradeClient(client)
{
    ui->setupUi(this);
    fitRiskNotice();
    // No key may send a request: without this Qt makes the first button (Sell) the dialog's
    // default, and Return in the volume field sells.
    for (QPushButton *button : findChildren<QPushButton *>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    resetForm();
    setupTickChart();
    connect(tradeClient, &TradeClient::tradeResponseReceived, this, &New_Order::onTradeResponse);
}

New_Order::~New_Order()
{
    delete ui;
}

void New_Order::fitRiskNotice()
{
    // The notice was sized for another platform's fonts: it takes the narrowest width, up to its
    // maximum, at which the whole text fits its height; the dialog grows by what it takes.
    QLabel *notice = ui->riskLabel;
    notice->ensurePolished();
    int width = std::max(notice->minimumWidth(), 1);
    while (width < notice->maximumWidth() && notice->heightForWidth(width) > notice->maximumHeight())
        ++width;
    notice->setMinimumWidth(width);
}

Client_Terminal *New_Order::mainWindow() const
{
    return qobject_cast<Client_Terminal *>(parentWidget());
}

// --- Form and modes ------------------------------------------------------------------------------

void New_Order::resetForm()
{
    ui->orederTypeComboBox->setCurrentIndex(0);
    setPendingGroupVisible(false);
    ui->buyButton->show();
    ui->sellButton->show();
    ui->responseLabel->hide();
    ui->placeButton->hide();
    ui->expDateTimeEdit->setEnabled(false);
    ui->stopLimitPriceSpinBox->setEnabled(false);
    ui->expDateTimeEdit->setDisplayFormat(QStringLiteral("dd.MM.yy hh:mm"));
}

void New_Order::setPendingGroupVisible(bool visible)
{
    for (QWidget *widget : {static_cast<QWidget *>(ui->expDateLabel), static_cast<QWidget *>(ui->expTypeBox),
                            static_cast<QWidget *>(ui->expLabel), static_cast<QWidget *>(ui->expDateTimeEdit),
                            static_cast<QWidget *>(ui->pendingOrderTypeBox), static_cast<QWidget *>(ui->orderTypeLabel),
                            static_cast<QWidget *>(ui->priceLabel), static_cast<QWidget *>(ui->priceSpinBox),
                            static_cast<QWidget *>(ui->stopLimitPriceLabel),
                            static_cast<QWidget *>(ui->stopLimitPriceSpinBox)})
        widget->setVisible(visible);
}

void New_Order::setOppositeGroupVisible(bool visible)
{
    ui->lbl_positions->setVisible(visible);
    ui->cmbOppositePositions->setVisible(visible);
}

void New_Order::setSymbolList(QStringList symbols)
{
    listedSymbols = symbols;
    fillSymbolBox(ui->symbolComboBox->currentText());
}

void New_Order::setRecordSymbol(const QString &symbol)
{
    // A request for a position or an order names that record's own symbol, whether the list
    // holds it or not (a login before the list came, a symbol the broker dropped): the box shows
    // it, so the chart, its title and Place all name the record's symbol.
    recordSymbol = symbol;
    fillSymbolBox(symbol.isEmpty() ? ui->symbolComboBox->currentText() : symbol);
}

void New_Order::fillSymbolBox(const QString &wanted)
{
    // Every reconnection sends the list again. Refilling the box would make its first name
    // current while the title still names the trader's symbol, and Buy would trade the other one:
    // the chosen symbol stays when the box still holds it.
    QComboBox *box = ui->symbolComboBox;
    const QString chosen = box->currentText();
    QStringList symbols = listedSymbols;
    if (!recordSymbol.isEmpty() && !symbols.contains(recordSymbol))
        symbols.append(recordSymbol);
    {
        const QSignalBlocker blocker(box);
        box->clear();
        box->addItems(symbols);
        const int kept = box->findText(wanted);
        if (kept >= 0)
            box->setCurrentIndex(kept);
    }
    if (box->currentText() != chosen)
        on_symbolComboBox_currentIndexChanged(box->currentText());
}

void New_Order::setCurrentSymbol(QString symbol)
{
    // The title follows the box (its handler): a symbol the box does not hold is not plotted.
    if (ui->symbolComboBox->currentText() != symbol)
        ui->symbolComboBox->setCurrentText(symbol);
}

void New_Order::setAccountInfo(QString serverName, QString clientName)
{
    ui->serverNameLabel->setText(serverName);
    ui->clientNameLabel->setText(clientName);
}

void New_Order::applyVolumeLimits(const TickData &tick)
{
    // A quote's limits are taken only when they make sense: a step of 0 would give the field no
    // decimals and round 0.25 lots down to 0, and a minimum above the maximum (or a limit that is
    // 0, negative or no number) leaves no usable range.
    QDoubleSpinBox *volume = ui->volumeSpinBox;
    const auto usable = [](double value) { return std::isfinite(value) && value > 0.0; };
    const double maximum = usable(tick.max_vol) ? tick.max_vol : volume->maximum();
    const double minimum = usable(tick.min_vol) ? tick.min_vol : volume->minimum();
    if (minimum <= maximum) {
        // The maximum first: a new minimum above the old maximum would otherwise drag the maximum up.
        volume->setMaximum(maximum);
        volume->setMinimum(minimum);
    }
    if (usable(tick.step_vol) && volume->singleStep() != tick.step_vol) {
        volume->setSingleStep(tick.step_vol);
        volume->setDecimals(decimalsOf(tick.step_vol));
    }
}

void New_Order::applyPriceDecimals(int digits)
{
    const double step = std::pow(0.1, digits);
    for (QDoubleSpinBox *field : {ui->takeprofitSpinBox, ui->stopLossSpinBox, ui->priceSpinBox,
                                  ui->stopLimitPriceSpinBox}) {
        field->setDecimals(digits);
        field->setSingleStep(step);
    }
}

void New_Order::setMode(int newMode, qint64 newTicket)
{
    if (mode == NewOrder && newMode != NewOrder)
        newOrderFields = {ui->volumeSpinBox->value(), ui->priceSpinBox->value(), ui->stopLimitPriceSpinBox->value(),
                          ui->stopLossSpinBox->value(), ui->takeprofitSpinBox->value()};
    const bool backToNewOrder = mode != NewOrder && newMode == NewOrder;
    mode = newMode;
    ticket = newTicket;
    closeAwaitsQuoteOf.clear();
    // Whatever the last request left (no reply yet, a failure not acknowledged), the trader now
    // prepares another one: the next Place must send it.
    requestState = RequestState::Editing;
    ui->responseLabel->hide();
    ui->rateLabel->show();

    Client_Terminal *window = mainWindow();
    if (!window)
        return;
    setOppositeGroupVisible(false);

    switch (mode) {
    case NewOrder:
        setRecordSymbol(QString());
        if (backToNewOrder) {
            ui->volumeSpinBox->setValue(newOrderFields.volume);
            ui->priceSpinBox->setValue(newOrderFields.price);
            ui->stopLimitPriceSpinBox->setValue(newOrderFields.stopLimit);
            ui->stopLossSpinBox->setValue(newOrderFields.stopLoss);
            ui->takeprofitSpinBox->setValue(newOrderFields.takeProfit);
        }
        ui->orederTypeComboBox->setCurrentIndex(0);
        ui->orederTypeComboBox->setEnabled(true);
        ui->symbolComboBox->setEnabled(true);
        ui->pendingOrderTypeBox->setEnabled(true);
        ui->volumeSpinBox->setEnabled(true);
        ui->priceSpinBox->setEnabled(true);
        ui->priceSpinBox->hide();
        ui->priceLabel->hide();
        ui->stopLossSpinBox->setEnabled(true);
        ui->takeprofitSpinBox->setEnabled(true);
        ui->buyButton->show();
        ui->sellButton->show();
        ui->placeButton->hide();
        ui->placeButton->setEnabled(true);
        ui->placeButton->setText(tr("Place"));
        setWindowTitle(tr("New Order"));
        break;
    case ModifyOrder:
    case DeleteOrder: {
        const bool modify = mode == ModifyOrder;
        ui->orederTypeComboBox->setCurrentIndex(1);
        ui->orederTypeComboBox->setEnabled(false);
        ui->symbolComboBox->setEnabled(false);
        const PendingOrder order = window->getPendingOrder(ticket);
        setRecordSymbol(order.symbol);
        ui->pendingOrderTypeBox->setCurrentIndex(order.type - 2);
        ui->pendingOrderTypeBox->setEnabled(false);
        ui->volumeSpinBox->setValue(order.volume);
        ui->volumeSpinBox->setEnabled(false);
        ui->priceSpinBox->setValue(order.price);
        ui->priceSpinBox->setEnabled(modify);
        ui->stopLimitPriceSpinBox->setValue(order.s_price);
        ui->stopLimitPriceSpinBox->setEnabled(modify);
        ui->stopLossSpinBox->setValue(order.sl);
        ui->stopLossSpinBox->setEnabled(modify);
        ui->takeprofitSpinBox->setValue(order.tp);
        ui->takeprofitSpinBox->setEnabled(modify);
        ui->buyButton->hide();
        ui->sellButton->hide();
        ui->placeButton->show();
        ui->placeButton->setEnabled(true);
        ui->placeButton->setText((modify ? tr("Modify Order #%1") : tr("Delete Order #%1")).arg(order.ticket));
        setWindowTitle(tr("Order"));
        break;
    }
    case ModifyPosition: {
        ui->orederTypeComboBox->setCurrentIndex(0);
        ui->orederTypeComboBox->setEnabled(false);
        ui->symbolComboBox->setEnabled(false);
        const Position position = window->getPosition(ticket);
        setRecordSymbol(position.symbol);
        ui->volumeSpinBox->setValue(position.volume);
        ui->volumeSpinBox->setEnabled(false);
        ui->priceSpinBox->setValue(position.price);
        ui->priceSpinBox->show();
        ui->priceLabel->show();
        ui->priceSpinBox->setEnabled(false);
        ui->stopLossSpinBox->setValue(position.sl);
        ui->stopLossSpinBox->setEnabled(true);
        ui->takeprofitSpinBox->setValue(position.tp);
        ui->takeprofitSpinBox->setEnabled(true);
        ui->buyButton->hide();
        ui->sellButton->hide();
        ui->placeButton->show();
        ui->placeButton->setEnabled(true);
        ui->placeButton->setText(tr("Modify Position #%1").arg(position.ticket));
        setWindowTitle(tr("Position"));
        break;
    }
    case ClosePosition:
    case CloseByHedge: {
        ui->orederTypeComboBox->setCurrentIndex(0);
        ui->orederTypeComboBox->setEnabled(false);
        ui->symbolComboBox->setEnabled(false);
        const Position position = window->getPosition(ticket);
        setRecordSymbol(position.symbol);
        const TickData tick = window->getTick(position.symbol);
        const bool quoted = !tick.symbol.isEmpty();
        if (quoted)
            applyVolumeLimits(tick);
        ui->volumeSpinBox->setValue(position.volume);
        ui->priceSpinBox->setValue(position.price);
        ui->priceSpinBox->show();
        ui->priceLabel->show();
        ui->priceSpinBox->setEnabled(false);
        ui->stopLossSpinBox->setValue(position.sl);
        ui->stopLossSpinBox->setEnabled(false);
        ui->takeprofitSpinBox->setValue(position.tp);
        ui->takeprofitSpinBox->setEnabled(false);
        ui->buyButton->hide();
        ui->sellButton->hide();
        ui->placeButton->show();
        if (mode == ClosePosition) {
            ui->placeButton->setEnabled(true);
            ui->placeButton->setText(tr("Close Position #%1").arg(position.ticket));
            setWindowTitle(tr("Position"));
        } else {
            setOppositeGroupVisible(true);
            ui->cmbOppositePositions->clear();
            for (const Position &opposite : window->getOppositePositions(ticket))
                ui->cmbOppositePositions->addItem(QStringLiteral("%1").arg(opposite.ticket));
            ui->cmbOppositePositions->setCurrentIndex(0);
            ui->placeButton->setEnabled(ui->cmbOppositePositions->count() > 0);
            ui->placeButton->setText(tr("Close Position By Hedge #%1").arg(position.ticket));
            setWindowTitle(tr("Close By Hedge"));
        }
        // Without a quote the volume limits are unknown, and a close must not leave with a volume
        // that the symbol's limits never checked: Place waits for the symbol's first quote.
        if (!quoted) {
            ui->placeButton->setEnabled(false);
            closeAwaitsQuoteOf = position.symbol;
            closeVolume = position.volume;
        }
        break;
    }
    default:
        break;
    }
}

void New_Order::endAccountUse()
{
    setMode(NewOrder, 0);
    resetForm();
    hide();
}

void New_Order::finishCloseMode(const TickData &tick)
{
    closeAwaitsQuoteOf.clear();
    applyVolumeLimits(tick);
    ui->volumeSpinBox->setValue(closeVolume);
    ui->placeButton->setEnabled(mode != CloseByHedge || ui->cmbOppositePositions->count() > 0);
}

int New_Order::decimalsOf(double step)
{
    const QStringList parts = QString::number(step, 'f', 4).split(QLatin1Char('.'));
    if (parts.size() != 2)
        return 0;
    QString fraction = parts.at(1);
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    return fraction.size();
}

void New_Order::on_orederTypeComboBox_currentIndexChanged(int index)
{
    if (index != 0 && index != 1)
        return;
    const bool pending = index == 1;
    setPendingGroupVisible(pending);
    ui->buyButton->setVisible(!pending);
    ui->sellButton->setVisible(!pending);
    ui->placeButton->setVisible(pending);
}

void New_Order::on_pendingOrderTypeBox_currentIndexChanged(int index)
{
    ui->stopLimitPriceSpinBox->setEnabled(index >= 4);
}

void New_Order::on_expTypeBox_currentIndexChanged(QString arg1)
{
    ui->expDateTimeEdit->setEnabled(arg1 == QLatin1String("Specified"));
    if (arg1.compare(QLatin1String("Today"), Qt::CaseInsensitive) == 0) {
        ui->expDateTimeEdit->setDisplayFormat(QStringLiteral("dd.MM.yy"));
        ui->expDateTimeEdit->setDateTime(QDateTime::currentDateTime());
    } else {
        ui->expDateTimeEdit->setDisplayFormat(QStringLiteral("dd.MM.yy hh:mm"));
    }
}

void New_Order::on_symbolComboBox_currentIndexChanged(QString arg1)
{
    // The title names the symbol the chart plots, whoever changed the box.
    ui->chartTitleLabel->setText(tr("Tick Chart: ") + arg1);
    if (arg1.isEmpty())
        return;
    Client_Terminal *window = mainWindow();
    if (!window)
        return;
    const TickData tick = window->getTick(arg1);
    if (tick.symbol.isEmpty()) {
        // Another symbol's prices under this one's name would mislead: show none until it ticks.
        ui->rateLabel->clear();
        return;
    }
    ui->rateLabel->setText(rateText(tick));
    applyVolumeLimits(tick);
    applyPriceDecimals(tick.digits);
    ui->expDateTimeEdit->setDateTime(QDateTime::currentDateTime());
}

// --- Requests and replies ------------------------------------------------------------------------

bool New_Order::sendsVolume() const
{
    return TradeMessages::lotsToWireVolume(ui->volumeSpinBox->value()) > 0;
}

void New_Order::sendRequest(QJsonObject request)
{
    Client_Terminal *window = mainWindow();
    if (!window || !window->sendTradeRequest(request)) {
        requestState = RequestState::NotSent;
        showOutcome(tr("No connection to the trade server: the request was not sent"));
        return;
    }
    requestState = RequestState::Sending;
    sentRequest = TradeMessages::describe(request);
    refreshOwed = true;
    ui->responseLabel->setText(tr("Please wait while request sending..."));
    ui->responseLabel->show();
    ui->rateLabel->hide();
}

void New_Order::showOutcome(const QString &text)
{
    ui->responseLabel->setText(text);
    ui->responseLabel->show();
    ui->rateLabel->hide();
    ui->placeButton->setText(tr("OK"));
    ui->placeButton->show();
}

void New_Order::connectionEnded()
{
    if (requestState != RequestState::Sending)
        return;
    requestState = RequestState::NotSent;
    showOutcome(tr("Connection lost before the server answered: check the Trade tab for the result"));
    Logger::instance()->log(QStringLiteral("Terminal"),
                            sentRequest + QStringLiteral(": connection lost before the server answered, "
                                                         "check the Trade tab for the result"));
}

void New_Order::sendMarketOrder(int orderType)
{
    // A field that shows 0 lots (no quote yet, a range that allows it) sends nothing.
    if (!sendsVolume())
        return;
    ui->sellButton->hide();
    ui->buyButton->hide();
    ui->placeButton->hide();
    sendRequest(TradeMessages::dialogMarketOrderRequest(ui->symbolComboBox->currentText(), orderType,
                                                        ui->volumeSpinBox->value(), ui->stopLossSpinBox->value(),
                                                        ui->takeprofitSpinBox->value()));
}

void New_Order::on_sellButton_clicked()
{
    sendMarketOrder(1);
}

void New_Order::on_buyButton_clicked()
{
    sendMarketOrder(0);
}

void New_Order::on_placeButton_clicked()
{
    if (requestState != RequestState::Editing) {
        // The press acknowledges the result shown.
        requestState = RequestState::Editing;
        ui->responseLabel->hide();
        ui->rateLabel->show();
        hide();
        return;
    }
    if (!sendsVolume())
        return;
    ui->sellButton->hide();
    ui->buyButton->hide();
    ui->placeButton->hide();

    TradeMessages::PlaceRequest request;
    request.type = mode;
    request.ticket = ticket;
    request.orderType = ui->pendingOrderTypeBox->currentIndex() + 2;
    request.price = ui->priceSpinBox->value();
    request.hasStopLimitPrice = ui->stopLimitPriceSpinBox->isEnabled();
    request.stopLimitPrice = ui->stopLimitPriceSpinBox->value();
    request.stopLoss = ui->stopLossSpinBox->value();
    request.takeProfit = ui->takeprofitSpinBox->value();
    request.lots = ui->volumeSpinBox->value();
    request.symbol = ui->symbolComboBox->currentText();
    request.expiryKind = ui->expTypeBox->currentIndex();
    if (ui->expDateTimeEdit->isEnabled())
        request.expiryMinutes = QDateTime::currentDateTime().secsTo(ui->expDateTimeEdit->dateTime()) / 60;
    request.oppositeTicket = ui->cmbOppositePositions->currentText().toLongLong();
    sendRequest(TradeMessages::placeRequest(request));
}

void New_Order::onTradeResponse(QJsonObject response)
{
    if (requestState != RequestState::Sending && requestState != RequestState::Failed)
        return;
    const int status = JsonRead::int32(response.value(QLatin1String("status")));
    if (status == StatusDone) {
        requestState = RequestState::Editing;
        hide();
        resetForm();
        ui->rateLabel->show();
    } else {
        QString text = JsonRead::text(response.value(QLatin1String("msg")));
        const QString reason = JsonRead::text(response.value(QLatin1String("fail_reason")));
        if (!reason.isEmpty())
            text += QStringLiteral(" - ") + reason;
        requestState = RequestState::Failed;
        showOutcome(text);
    }
    const int type = JsonRead::int32(response.value(QLatin1String("type")));
    if (status > 0 && (type == 4 || type == 6 || type == 9) && refreshOwed) {
        refreshOwed = false;
        tradeClient->sendRequest(TradeMessages::accountRefreshRequest());
    }
}

// --- Tick chart ----------------------------------------------------------------------------------

void New_Order::setupTickChart()
{
    QCustomPlot *plot = ui->tickGraphWidget;
    plot->clearGraphs();
    plot->addGraph(plot->xAxis, plot->yAxis2);
    plot->addGraph(plot->xAxis, plot->yAxis2);

    plot->xAxis->setVisible(true);
    plot->xAxis->setTickLabels(true);
    plot->xAxis2->setVisible(true);
    plot->xAxis2->setTickLabels(false);
    plot->xAxis2->setTicks(false);
    plot->yAxis->setVisible(true);
    plot->yAxis->setTickLabels(false);
    plot->yAxis->setTicks(false);
    plot->yAxis2->setVisible(true);
    plot->yAxis2->setTickLabels(true);

    plot->graph(0)->setPen(QPen(Qt::red));
    plot->graph(1)->setPen(QPen(Qt::blue));

    // Minute labels a minute apart: the default five ticks over the 205-second window would put
    // a label every 30 seconds, each minute twice, too close to read.
    QSharedPointer<QCPAxisTickerDateTime> timeTicker(new QCPAxisTickerDateTime);
    timeTicker->setDateTimeFormat(QStringLiteral("HH:mm"));
    timeTicker->setTickCount(3);
    plot->xAxis->setTicker(timeTicker);

    // The price tags live in a fixed right margin, wide enough for any price text.
    plot->axisRect()->setAutoMargins(QCP::msLeft | QCP::msTop | QCP::msBottom);
    const int tagRoom = QFontMetrics(plot->yAxis->tickLabelFont()).horizontalAdvance(QStringLiteral("000000000"));
    plot->axisRect()->setMargins(QMargins(0, 0, tagRoom, 0));
    // Beside the tags, room for minute labels a minute apart with a gap between them, and for
    // the left axis's margin.
    const int labelRoom = MyDateTimeTicker::labelRoom(plot->xAxis->tickLabelFont(), timeTicker->dateTimeFormat());
    const int axisRoom = int(std::ceil(labelRoom * (TickWindow::Span + TickWindow::Margin) / 60.0));
    plot->setMinimumWidth(std::max(plot->minimumWidth(), tagRoom + axisRoom + labelRoom / 2));

    bidTag = new AxisTag(plot->yAxis2);
    bidTag->setPen(QPen(Qt::red));
    askTag = new AxisTag(plot->yAxis2);
    askTag->setPen(QPen(Qt::blue));
    setTagsVisible(false);

    tickTimer = new QTimer(this);
    connect(tickTimer, &QTimer::timeout, this, &New_Order::drawTickGraph);
    tickTimer->start(50);
}

void New_Order::setTagsVisible(bool visible)
{
    for (AxisTag *tag : {bidTag, askTag}) {
        if (tag->arrow)
            tag->arrow->setVisible(visible);
        if (tag->label)
            tag->label->setVisible(visible);
    }
}

void New_Order::onPriceChanged(TickData tick)
{
    if (!tick.symbol.isEmpty() && ui->symbolComboBox->currentText() == tick.symbol)
        ui->rateLabel->setText(rateText(tick));
    if (!closeAwaitsQuoteOf.isEmpty() && tick.symbol == closeAwaitsQuoteOf)
        finishCloseMode(tick);
    appendTickGraph(tick);
}

void New_Order::appendTickGraph(TickData tick)
{
    if (tick.symbol.isEmpty())
        return;
    tickHistory.append(tick.symbol, double(tick.tm_ms) / 1000.0, tick.bid, tick.ask, tick.digits);
}

void New_Order::drawTickGraph()
{
    // Nobody sees a hidden chart; the history keeps recording and the first redraw after
    // showing fills it at once.
    if (!isVisible())
        return;
    const QString symbol = ui->symbolComboBox->currentText();
    if (symbol.isEmpty())
        return;
    QCustomPlot *plot = ui->tickGraphWidget;
    const TickWindow::Series *ticks = tickHistory.find(symbol);
    if (!ticks || ticks->isEmpty()) {
        // A symbol without ticks must not show the previous symbol's lines and prices.
        if (plot->graph(0)->dataCount() > 0) {
            plot->graph(0)->data()->clear();
            plot->graph(1)->data()->clear();
            setTagsVisible(false);
            plot->replot(QCustomPlot::rpRefreshHint);
        }
        return;
    }
    const QVector<double> times = ticks->times();
    plot->graph(0)->setData(times, ticks->bids());
    plot->graph(1)->setData(times, ticks->asks());
    const TickWindow::Range range = TickWindow::timeRange(times);
    plot->xAxis->setRange(range.lower, range.upper);
    plot->yAxis2->rescale(true);
    plot->replot(QCustomPlot::rpRefreshHint);

    const int digits = ticks->digits();
    const double bid = ticks->lastBid();
    const double ask = ticks->lastAsk();
    bidTag->setText(DisplayFormat::price(bid, digits));
    askTag->setText(DisplayFormat::price(ask, digits));
    bidTag->updatePosition(bid);
    askTag->updatePosition(ask);
    separateTags(bid, ask);
    setTagsVisible(true);
}

void New_Order::separateTags(double bid, double ask)
{
    // Over a window of ticks the spread is a few pixels, and one tag would cover the other: the
    // boxes move apart by what they lack, the arrows still point at the two prices.
    if (!bidTag->label || !askTag->label)
        return;
    const QCPAxis *axis = ui->tickGraphWidget->yAxis2;
    const double height = QFontMetricsF(askTag->label->font()).height() + 2.0;
    const double apart = axis->coordToPixel(bid) - axis->coordToPixel(ask);
    const double push = std::max(0.0, (height - apart) / 2.0);
    askTag->label->position->setCoords(0, -push);
    bidTag->label->position->setCoords(0, push);
}
