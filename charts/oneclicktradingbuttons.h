#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

class QTimer;
class Ui_OneClickTradingButtons;

// The one-click panel a chart window lays over its plot: the bid on the red sell half, the ask
// on the blue buy half, a volume box between them. A click emits one signal with the chart's
// symbol and the volume in the box; the panel sends nothing itself and asks for no
// confirmation. New prices start a highlight that blinks once a second while they keep coming.
class OneClickTradingButtons : public QWidget
{
    Q_OBJECT
public:
    OneClickTradingButtons(const QString &symbol, QWidget *parent = nullptr);
    ~OneClickTradingButtons() override;

    void setBuyPrice(double price, int digits);
    void setSellPrice(double price, int digits);
    void setMinimumVolume(double volume);
    void setMaximumVolume(double volume);
    // A step of 0 or below is ignored: it would leave a box of whole lots only.
    void setVolumeStep(double step);

    bool isHighlighted() const { return highlighted; }

    // The decimals a volume step needs, at most 4.
    static int decimalsOf(double step);

signals:
    void buyButtonClicked(QString symbol, double volume);
    void sellButtonClicked(QString symbol, double volume);

private slots:
    void on_sellButton_clicked();
    void on_buyButton_clicked();
    void updateButtonStyle();
    void clearEffect();

private:
    void applyStyle(bool on);
    void showPrice(double price, int digits, bool buySide);

    Ui_OneClickTradingButtons *ui;
    QString symbol;
    bool highlighted = false;
    QTimer *effectTimer;
    QDateTime lastPriceUpdate;
};
