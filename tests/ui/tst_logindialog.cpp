// The login dialog: saved logins read from config/<server>/<account>/login, the server choice
// that follows the account, and the checks behind OK.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include "logindialog.h"
#include "testmain.h"

namespace {

struct SavedFile {
    QString server;
    QString account;
    QByteArray content; // null: the folder has no login file
};

void writeSaved(const SavedFile &f)
{
    const QString folder = QStringLiteral("config/%1/%2").arg(f.server, f.account);
    QVERIFY(QDir().mkpath(folder));
    if (f.content.isNull())
        return;
    QFile file(folder + QStringLiteral("/login"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(f.content);
}

void saveSettings(const QString &account, const QString &word, const QString &server = QString())
{
    QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
    settings.setValue(QStringLiteral("account"), account);
    settings.setValue(QStringLiteral("word"), word);
    settings.setValue(QStringLiteral("server"), server);
}

QString describe(const QVector<LoginDialog::LoginRecord> &records)
{
    QStringList parts;
    for (const auto &r : records)
        parts << QStringLiteral("%1|%2|%3|%4").arg(r.login).arg(r.password, r.server, r.url);
    return parts.join(QLatin1Char(','));
}

} // namespace

Q_DECLARE_METATYPE(SavedFile)

class TestLoginDialog : public QObject
{
    Q_OBJECT

    template<typename T>
    static T *part(LoginDialog &d, const char *name)
    {
        T *w = d.findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("form part %s missing", name);
        return w;
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void init()
    {
        QDir(QStringLiteral("config")).removeRecursively();
        QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).clear();
    }

    void form()
    {
        LoginDialog dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("LoginDialog"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(dialog.size(), QSize(400, 334));
        QVERIFY(!dialog.layout());
        QCOMPARE(part<QLineEdit>(dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);
        QVERIFY(part<QComboBox>(dialog, "loginBox")->isEditable());
        QVERIFY(!part<QComboBox>(dialog, "serverBox")->isEditable());
        QVERIFY(dialog.isSavePassword());
        QCOMPARE(part<QLabel>(dialog, "label_2")->text(),
                 QStringLiteral("Authorization allows to get access to the trade account"));
        QVERIFY(!part<QLabel>(dialog, "label")->pixmap(Qt::ReturnByValue).isNull());
    }

    void savedLogins_data()
    {
        QTest::addColumn<QList<SavedFile>>("files");
        QTest::addColumn<QString>("expected"); // login|password|server|url, comma-separated

        QTest::newRow("numeric non-zero account folders only")
            << QList<SavedFile>{{"Srv", "1001", "1001;pw;ws://h:9001"},
                                {"Srv", "abc", "1;x;y"},
                                {"Srv", "0", "0;x;y"}}
            << "1001|pw|Srv|ws://h:9001";
        QTest::newRow("two fields: no password")
            << QList<SavedFile>{{"Srv", "1001", "1001;pw"}} << "1001||Srv|";
        QTest::newRow("no line: listed without password")
            << QList<SavedFile>{{"Srv", "1001", ""}} << "1001||Srv|";
        QTest::newRow("password holding ';'")
            << QList<SavedFile>{{"Srv", "1001", "1001;p;w;ws://h:9001"}} << "1001|p;w|Srv|ws://h:9001";
        QTest::newRow("password ending in ';'")
            << QList<SavedFile>{{"Srv", "1001", "1001;pw;;ws://h"}} << "1001|pw;|Srv|ws://h";
        QTest::newRow("empty password")
            << QList<SavedFile>{{"Srv", "1001", "1001;;ws://h"}} << "1001||Srv|ws://h";
        QTest::newRow("first line only")
            << QList<SavedFile>{{"Srv", "1001", "1001;a;u\n1001;b;v"}} << "1001|a|Srv|u";
        QTest::newRow("missing login file skipped")
            << QList<SavedFile>{{"Srv", "1001", QByteArray()}, {"Srv", "1002", "1002;x;u"}} << "1002|x|Srv|u";
        QTest::newRow("servers by name ignoring case, hidden ones left out")
            << QList<SavedFile>{{"beta", "2", "2;b;u"}, {"Alpha", "1", "1;a;u"}, {".hidden", "3", "3;c;u"}}
            << "1|a|Alpha|u,2|b|beta|u";
        QTest::newRow("unsafe server folder ignored")
            << QList<SavedFile>{{"back\\slash", "5", "5;x;u"}, {"Srv", "6", "6;y;u"}} << "6|y|Srv|u";
    }

    void savedLogins()
    {
        QFETCH(QList<SavedFile>, files);
        for (const SavedFile &f : files)
            writeSaved(f);
        LoginDialog dialog;
        QTEST(describe(dialog.savedLoginRecords()), "expected");
        auto *box = part<QComboBox>(dialog, "loginBox");
        QCOMPARE(box->count(), dialog.savedLoginRecords().size());
        for (int i = 0; i < box->count(); ++i)
            QCOMPARE(box->itemText(i), QString::number(dialog.savedLoginRecords()[i].login));
    }

    void noConfigFolder()
    {
        LoginDialog dialog;
        QVERIFY(dialog.savedLoginRecords().isEmpty());
        QCOMPARE(dialog.login(), qint64(0));
        QVERIFY(dialog.password().isEmpty());
    }

    void firstSavedLoginIsCurrent()
    {
        writeSaved({"Srv1", "1001", "1001;pa;u"});
        writeSaved({"Srv2", "1002", "1002;pb;u"});
        LoginDialog dialog;
        QCOMPARE(dialog.login(), qint64(1001));
        QCOMPARE(dialog.password(), QStringLiteral("pa"));
        QVERIFY(dialog.serverName().isEmpty());
        dialog.addServer(QStringLiteral("Srv2"), QStringLiteral("b:1"));
        dialog.addServer(QStringLiteral("Srv1"), QStringLiteral("a:1"));
        QCOMPARE(dialog.serverName(), QStringLiteral("Srv1"));
        QCOMPARE(dialog.serverAddress(), QStringLiteral("a:1"));
        // A later server keeps the selection.
        dialog.addServer(QStringLiteral("Srv3"), QStringLiteral("c:1"));
        QCOMPARE(dialog.serverName(), QStringLiteral("Srv1"));

        // Choosing the other saved login brings its password and server.
        part<QComboBox>(dialog, "loginBox")->setCurrentIndex(1);
        QCOMPARE(dialog.password(), QStringLiteral("pb"));
        QCOMPARE(dialog.serverName(), QStringLiteral("Srv2"));
    }

    // The server chosen as the broker list arrives must be that of the account shown.
    void serverFollowsTheShownAccount_data()
    {
        QTest::addColumn<QString>("account");     // "account" setting
        QTest::addColumn<QStringList>("servers"); // added in this order
        QTest::addColumn<qint64>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("server");

        QTest::newRow("last used is the second saved login")
            << "1002" << QStringList{"Srv1", "Srv2"} << qint64(1002) << "word" << "Srv2";
        QTest::newRow("last used written with leading zeros")
            << "001002" << QStringList{"Srv1", "Srv2"} << qint64(1002) << "word" << "Srv2";
        QTest::newRow("last used is no saved login: first server stays")
            << "1003" << QStringList{"Other", "Srv1", "Srv2"} << qint64(1003) << "word" << "Other";
        QTest::newRow("no settings: first saved login")
            << "" << QStringList{"Srv2", "Srv1"} << qint64(1001) << "pa" << "Srv1";
    }

    void serverFollowsTheShownAccount()
    {
        QFETCH(QString, account);
        QFETCH(QStringList, servers);
        writeSaved({"Srv1", "1001", "1001;pa;u"});
        writeSaved({"Srv2", "1002", "1002;pb;u"});
        if (!account.isEmpty())
            saveSettings(account, QStringLiteral("word"), QStringLiteral("ws://b:1"));
        LoginDialog dialog;
        for (const QString &s : servers)
            dialog.addServer(s, s + QStringLiteral(":9001"));
        QTEST(dialog.login(), "login");
        QTEST(dialog.password(), "password");
        QTEST(dialog.serverName(), "server");
    }

    void typedLoginLeavesServerAlone()
    {
        writeSaved({"Srv1", "1001", "1001;pa;u"});
        LoginDialog dialog;
        part<QComboBox>(dialog, "loginBox")->setEditText(QStringLiteral("4711"));
        dialog.addServer(QStringLiteral("Other"), QStringLiteral("o:1"));
        QCOMPARE(dialog.serverName(), QStringLiteral("Other"));
        dialog.addServer(QStringLiteral("Srv1"), QStringLiteral("a:1"));
        QCOMPARE(dialog.serverName(), QStringLiteral("Other"));
    }

    void accessorsLeaveTheSavedLoginAlone()
    {
        writeSaved({"Srv1", "1001", "1001;pa;u"});
        writeSaved({"Srv2", "1002", "1002;pb;u"});
        LoginDialog dialog;
        dialog.addServer(QStringLiteral("Srv1"), QStringLiteral("a:1"));
        dialog.addServer(QStringLiteral("Demo"), QStringLiteral("d:1"));
        dialog.setLogin(777);
        dialog.setPassword(QStringLiteral("secret"));
        dialog.selectServer(QStringLiteral("Demo"));
        QCOMPARE(part<QComboBox>(dialog, "loginBox")->currentIndex(), 0);
        QCOMPARE(dialog.login(), qint64(777));
        QCOMPARE(dialog.password(), QStringLiteral("secret"));
        QCOMPARE(dialog.serverAddress(), QStringLiteral("d:1"));

        dialog.selectServer(QStringLiteral("demo")); // case-sensitive
        QVERIFY(dialog.serverName().isEmpty());
        QVERIFY(dialog.serverAddress().isEmpty());
        dialog.clearServers();
        QCOMPARE(part<QComboBox>(dialog, "serverBox")->count(), 0);
    }

    void loginText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("login");
        QTest::newRow("empty") << "" << qint64(0);
        QTest::newRow("letters") << "abc" << qint64(0);
        QTest::newRow("mixed") << "12a" << qint64(0);
        QTest::newRow("leading zeros") << "00123" << qint64(123);
        QTest::newRow("64-bit") << "5000000000" << qint64(5000000000LL);
    }

    void loginText()
    {
        QFETCH(QString, text);
        LoginDialog dialog;
        part<QComboBox>(dialog, "loginBox")->setEditText(text);
        QTEST(dialog.login(), "login");
    }

    void okChecks_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("server"); // selected by name; "" selects none
        QTest::addColumn<bool>("accepted");
        QTest::newRow("all filled") << "1001" << "pw" << "Srv" << true;
        QTest::newRow("empty login") << "" << "pw" << "Srv" << false;
        QTest::newRow("non-numeric login") << "abc" << "pw" << "Srv" << false;
        QTest::newRow("login 0") << "0" << "pw" << "Srv" << false;
        QTest::newRow("negative login") << "-5" << "pw" << "Srv" << false;
        QTest::newRow("empty password") << "1001" << "" << "Srv" << false;
        QTest::newRow("no server") << "1001" << "pw" << "" << false;
    }

    void okChecks()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, server);
        QFETCH(bool, accepted);
        LoginDialog dialog;
        dialog.addServer(QStringLiteral("Srv"), QStringLiteral("h:1"));
        part<QComboBox>(dialog, "loginBox")->setEditText(login);
        dialog.setPassword(password);
        dialog.selectServer(server);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy acceptedSpy(&dialog, &QDialog::accepted);
        QTest::mouseClick(part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(acceptedSpy.count(), accepted ? 1 : 0);
        QCOMPARE(dialog.isVisible(), !accepted);
    }

    void cancelRejects()
    {
        LoginDialog dialog;
        dialog.show();
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        QTest::mouseClick(part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!dialog.isVisible());
    }
};

CORVANE_TEST_GUI_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
