#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include "aboutdialog.h"
#include "testmain.h"

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsWelcomeAndVersionWithoutCloseOrHelpButton()
    {
        AboutDialog dialog;
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("aboutLabel"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("Welcome to Taldrex Corvane Client Terminal\nVersion 1.1.8"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    }

    void okHidesTheDialog()
    {
        QWidget owner;
        AboutDialog dialog(&owner);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("okButton"));
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(accepted.count(), 1);
        QVERIFY(!dialog.isVisible());
    }
};

CORVANE_TEST_GUI_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
