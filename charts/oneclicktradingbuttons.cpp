#include "oneclicktradingbuttons.h"
#include "ui_oneclicktradingbuttons.h"

#include <QPushButton>
#include <QTimer>

namespace {
constexpr int BlinkMs = 1000;
}

OneClickTradingButtons::OneClickTradingButtons(const QString &symbol, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_OneClickTradingButtons)
    , symbol(symbol)
    , effectTimer(new QTimer(this))
{
    ui->setupUi(this);
    // A click buys or sells; Return never does, wherever the panel is placed.
    for (QPushButton *button : {ui->buyButton, ui->sellButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(effectTimer, &QTimer::timeout, this, &OneClickTradingButtons::updateButtonStyle);
}

OneClickTradingButtons::~OneClickTradingButtons()
{
    delete ui;
}

void OneClickTradingButtons::showPrice(double price, int digits, bool buySide)
{
    const QString text = QString::number(price, 'f', digits);
    // The last digit stands apart, drawn larger.
    (buySide ? ui->buyPriceLabel1 : ui->sellPriceLabel1)->setText(text.left(text.size() - 1));
    (buySide ? ui->buyPriceLabel2 : ui->sellPriceLabel2)->setText(text.right(1));
    lastPriceUpdate = QDateTime::currentDateTime();
}

void OneClickTradingButtons::setBuyPrice(double price, int digits)
{
    showPrice(price, digits, true);
    if (!effectTimer->isActive()) {
        effectTimer->start(BlinkMs);
        applyStyle(true);
        highlighted = true;
    }
}

void OneClickTradingButtons::setSellPrice(double price, int digits)
{
    showPrice(price, digits, false);
    if (isVisible() && !effectTimer->isActive()) {
        effectTimer->start(BlinkMs);
        updateButtonStyle();
    }
}

void OneClickTradingButtons::setMinimumVolume(double volume)
{
    if (ui->volumeSpinBox->minimum() != volume)
        ui->volumeSpinBox->setMinimum(volume);
}

void OneClickTradingButtons::setMaximumVolume(double volume)
{
    if (ui->volumeSpinBox->maximum() != volume)
        ui->volumeSpinBox->setMaximum(volume);
}

void OneClickTradingButtons::setVolumeStep(double step)
{
    if (!(step > 0))
        return;
    if (ui->volumeSpinBox->singleStep() != step) {
        ui->volumeSpinBox->setSingleStep(step);
        ui->volumeSpinBox->setDecimals(decimalsOf(step));
    }
}

int OneClickTradingButtons::decimalsOf(double step)
{
    const QStringList parts = QString::number(step, 'f', 4).split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return 0;
    QString decimals = parts.at(1);
    while (decimals.endsWith(QLatin1Char('0')))
        decimals.chop(1);
    return decimals.size();
}

void OneClickTradingButtons::on_sellButton_clicked()
{
    emit sellButtonClicked(symbol, ui->volumeSpinBox->value());
}

void OneClickTradingButtons::on_buyButton_clicked()
{
    emit buyButtonClicked(symbol, ui->volumeSpinBox->value());
}

void OneClickTradingButtons::updateButtonStyle()
{
    if (lastPriceUpdate.addSecs(1) < QDateTime::currentDateTime() || isHidden()) {
        clearEffect();
        return;
    }
    highlighted = !highlighted;
    applyStyle(highlighted);
}

void OneClickTradingButtons::clearEffect()
{
    if (effectTimer->isActive())
        effectTimer->stop();
    highlighted = false;
    applyStyle(false);
}

void OneClickTradingButtons::applyStyle(bool on)
{
    if (on) {
        ui->buyBackLabel->setStyleSheet(QStringLiteral(
            "background-color: rgb(0,74,173);\nborder-color: rgb(0,74,173);\nborder-radius: 5px;\nborder-style: solid;\nborder-width: 2px;\n"));
        ui->buyLabel->setStyleSheet(QStringLiteral("color:rgb(255, 255, 255);background: transparent;"));
        ui->buyPriceLabel1->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);\nbackground-color: rgb(0,74,173);"));
        ui->buyPriceLabel2->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);\nbackground-color: rgb(0,74,173);"));
        ui->sellBackLabel->setStyleSheet(QStringLiteral(
            "background-color: rgb(255, 50, 50);\nborder-color: rgb(255, 50, 50);\ncolor: rgb(255,255,255);\nborder-radius: 5px;\nborder-style: solid;\nborder-width: 2px;\n"));
        ui->sellLabel->setStyleSheet(QStringLiteral("color:rgb(255,255,255);background: transparent;"));
        ui->sellPriceLabel1->setStyleSheet(QStringLiteral("color:rgb(255,255,255);background: transparent;"));
        ui->sellPriceLabel2->setStyleSheet(QStringLiteral("color:rgb(255,255,255);background: transparent;"));
    } else {
        ui->buyBackLabel->setStyleSheet(QStringLiteral(
            "background-color: rgb(255,255,255);\nborder-color: rgb(0,74,173);\nborder-radius: 5px;\nborder-style: solid;\nborder-width: 2px;\n"));
        ui->buyLabel->setStyleSheet(QStringLiteral("color:rgb(0, 0, 0);background: transparent;"));
        ui->buyPriceLabel1->setStyleSheet(QStringLiteral("color: rgb(0, 0, 0);\nbackground: transparent;"));
        ui->buyPriceLabel2->setStyleSheet(QStringLiteral("color: rgb(0, 73, 174);\nbackground: transparent;"));
        ui->sellBackLabel->setStyleSheet(QStringLiteral(
            "background-color: rgb(255,255,255);\nborder-color: rgb(255, 50, 50);\nborder-radius: 5px;\nborder-style: solid;\nborder-width: 2px;\n"));
        ui->sellLabel->setStyleSheet(QStringLiteral("color:rgb(0, 0, 0);background: transparent;"));
        ui->sellPriceLabel1->setStyleSheet(QStringLiteral("color: rgb(0, 0, 0);\nbackground: transparent;"));
        ui->sellPriceLabel2->setStyleSheet(QStringLiteral("color: rgb(255, 50, 50);\nbackground: transparent;"));
    }
}
