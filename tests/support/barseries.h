#pragma once

#include <QVector>
#include <initializer_list>

// Bars as the indicator functions read them: one vector per field, bar i at key i.
struct Bars
{
    QVector<double> keys, open, high, low, close;

    void append(double o, double h, double l, double c)
    {
        keys.append(keys.size());
        open.append(o);
        high.append(h);
        low.append(l);
        close.append(c);
    }
    void removeLast()
    {
        for (QVector<double> *v : {&keys, &open, &high, &low, &close})
            v->removeLast();
    }
    // Bars whose four prices are all the close.
    static Bars ofCloses(const QVector<double> &closes)
    {
        Bars bars;
        for (double c : closes)
            bars.append(c, c, c, c);
        return bars;
    }
};
