// A Qt 6 window for the end-to-end tests and benchmarks: a text area whose
// whole text (Enter as a line feed) is written to a file after every burst
// of changes.
// sway_qt_target TITLE FILE
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    QPlainTextEdit edit;
    edit.setWindowTitle(QString::fromUtf8(argv[1]));
    const QString path = QString::fromLocal8Bit(argv[2]);
    // Written once the keys that came together are in: a write per key
    // would make the window slower than any text field a user types into.
    QTimer write;
    write.setSingleShot(true);
    write.setInterval(0);
    QObject::connect(&write, &QTimer::timeout, [&] {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(edit.toPlainText().toUtf8());
    });
    QObject::connect(&edit, &QPlainTextEdit::textChanged, [&] {
        if (!write.isActive())
            write.start();
    });
    edit.resize(400, 200);
    edit.show();
    return QApplication::exec();
}
