// The start-up baseline: a bare Qt main window, reporting when it is shown.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    const QApplication application(argc, argv);
    QMainWindow window;
    window.resize(720, 520); // the size of Kilnlight's window, so that only what is in it differs
    window.show();
    return QApplication::exec();
}
