// A Qt 6 window for the Wayland end-to-end tests: a text area whose whole
// text (Enter as a line feed) is written to a file after every change.
// sway_qt_target TITLE FILE
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    QPlainTextEdit edit;
    edit.setWindowTitle(QString::fromUtf8(argv[1]));
    const QString path = QString::fromLocal8Bit(argv[2]);
    QObject::connect(&edit, &QPlainTextEdit::textChanged, [&] {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(edit.toPlainText().toUtf8());
    });
    edit.resize(400, 200);
    edit.show();
    return QApplication::exec();
}
