#include "MossworkPreferences.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

class TestMossworkPreferences : public QObject
{
    Q_OBJECT

private slots:
    void withoutHomeLooksUpTheUsersHome();
};

void TestMossworkPreferences::withoutHomeLooksUpTheUsersHome()
{
    const QByteArray expected = QByteArray(::getpwuid(::getuid())->pw_dir) + "/.mossworkprefs";
    qputenv("HOME", "");
    QCOMPARE(MossworkPreferences::preferencesPath(), expected);
    qunsetenv("HOME");
    QCOMPARE(MossworkPreferences::preferencesPath(), expected);
}

QTEST_GUILESS_MAIN(TestMossworkPreferences)
#include "tst_mossworkpreferences.moc"
