#include "Fakes.h"
#include "platform/qt/QtSettingsService.h"
#include "settings/NumberText.h"
#include "settings/SettingsStore.h"
#include "ui/Design.h"
#include "ui/qt/EventDispatch.h"
#include "ui/qt/QtMainWindow.h"
#include "ui/qt/TextLimit.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace qmpvx;
using namespace qmpvx::qt;
using namespace qmpvx::ui;

class MainWindowUi : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QtSettingsService> service_;
    std::unique_ptr<StartedExecutable> exe_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<EventDispatch> dispatch_;
    test::RecordingAutomation automation_;
    std::unique_ptr<QtMainWindow> main_;

    double dpi() const { return QGuiApplication::primaryScreen()->logicalDotsPerInchX(); }
    QWidget& widget(const char* name) { return main_->form().widget(name); }

    void put(const char* key, const char* value) { service_->save("QM_PVX", "qm-pvx", key, value); }

    void startMain()
    {
        main_ = std::make_unique<QtMainWindow>(*store_, *exe_, automation_, *dispatch_);
        main_->start();
        QVERIFY(QTest::qWaitForWindowExposed(&main_->form().widget()));
    }

private slots:
    void init()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        service_ = std::make_unique<QtSettingsService>(folder_->path());
        exe_ = std::make_unique<StartedExecutable>("qm-pvx");
        store_ = std::make_unique<SettingsStore>(*service_, *exe_);
        dispatch_ = std::make_unique<EventDispatch>();
    }

    void cleanup()
    {
        main_.reset();
        dispatch_.reset();
    }

    void everyControlStandsWhereTheDesignPutsIt()
    {
        startMain();
        for (const design::Control& control : design::kMainWindow.controls) {
            if (control.kind == design::Kind::Timer)
                continue;
            const QRect expected(twipsToPixels(control.left, dpi()), twipsToPixels(control.top, dpi()),
                                 twipsToPixels(control.width, dpi()), twipsToPixels(control.height, dpi()));
            QCOMPARE(widget(std::string(control.name).c_str()).geometry(), expected);
        }
        QCOMPARE(main_->form().widget().size(), QSize(twipsToPixels(9390, dpi()), twipsToPixels(5865, dpi())));
    }

    void tabWalksTheEnabledControlsInOrderAndEscPressesStartStop()
    {
        startMain();
        QVERIFY(QTest::qWaitForWindowActive(&main_->form().widget()));
        const QStringList expected{"AUTOSTART_TICKBOX",    "AUTOCLOSE_TICKBOX", "AUTO_ENTER_KEY_TICKBOX",
                                   "WINDOW_NAME_TEXTBOX",  "TEXT_TO_SEND_TEXTBOX", "READY_BUTTON",
                                   "ABOUT_BUTTON",         "EXIT_BUTTON",       "START_STOP_BUTTON"};
        QStringList walked;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(walked, expected);

        // Esc presses START/STOP, Enter nothing.
        QSignalSpy startStop(static_cast<QPushButton*>(&widget("START_STOP_BUTTON")), &QPushButton::clicked);
        static_cast<QPlainTextEdit&>(widget("TEXT_TO_SEND_TEXTBOX")).setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(startStop.count(), 1);

        QSignalSpy exit(static_cast<QPushButton*>(&widget("EXIT_BUTTON")), &QPushButton::clicked);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(exit.count(), 0);
        QVERIFY(main_->form().widget().isVisible());
    }

    void storedValuesAreShownIncludingGreyAndLongText()
    {
        put("AUTOSTART_TICKBOX", "2");
        put("AUTOCLOSE_TICKBOX", "1");
        put("TEXT_TO_SEND_TEXTBOX", QByteArray(1200, 'x').constData());
        startMain();
        auto& autoStart = static_cast<QCheckBox&>(widget("AUTOSTART_TICKBOX"));
        QCOMPARE(autoStart.checkState(), Qt::PartiallyChecked);
        QCOMPARE(static_cast<QCheckBox&>(widget("AUTOCLOSE_TICKBOX")).checkState(), Qt::Checked);
        QCOMPARE(static_cast<QPlainTextEdit&>(widget("TEXT_TO_SEND_TEXTBOX")).toPlainText().size(), 1200);

        // A click never makes a box greyed: greyed, unticked, ticked, unticked.
        QTest::mouseClick(&autoStart, Qt::LeftButton);
        QCOMPARE(main_->controls().AUTOSTART_TICKBOX.value(), 0);
        QTest::mouseClick(&autoStart, Qt::LeftButton);
        QCOMPARE(main_->controls().AUTOSTART_TICKBOX.value(), 1);
        QTest::mouseClick(&autoStart, Qt::LeftButton);
        QCOMPARE(main_->controls().AUTOSTART_TICKBOX.value(), 0);
        QCOMPARE(static_cast<QLabel&>(widget("CURRENT_STATUS_LABEL")).text(), QString("READY..."));
    }

    void typingAndPastingStopAtAThousandCharacters()
    {
        startMain();
        auto& text = static_cast<QPlainTextEdit&>(widget("TEXT_TO_SEND_TEXTBOX"));
        text.setFocus();
        QTest::keyClicks(&text, QString(995, 'a'));
        QTest::keyClicks(&text, QStringLiteral("bcdefgh"));
        QCOMPARE(text.toPlainText(), QString(995, 'a') + "bcdef");

        // A paste is cut at the limit, never inside a surrogate pair.
        text.clear();
        QTest::keyClicks(&text, QString(998, 'a'));
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        QApplication::clipboard()->setText(emoji + emoji + emoji);
        text.paste();
        QCOMPARE(text.toPlainText(), QString(998, 'a') + emoji + emoji);
        QCOMPARE(characterCount(text.toPlainText()), 1000);

        // A longer text set by the program stays whole, and typing adds nothing.
        main_->controls().TEXT_TO_SEND_TEXTBOX.setText(std::string(1200, 'y'));
        text.moveCursor(QTextCursor::End);
        QTest::keyClicks(&text, QStringLiteral("zz"));
        QCOMPARE(text.toPlainText(), QString(1200, 'y'));
    }

    // A title has no limit of its own: what the file holds, the field holds,
    // and a save writes back.
    void aTitleOfFortyThousandCharactersSurvivesFieldAndFile()
    {
        std::string title;
        for (int i = 0; i < 10000; ++i)
            title += "Tä\xCE\xA9\xF0\x9F\x98\x80";  // T, ä, Ω and an emoji: 4 characters
        put("WINDOW_NAME_TEXTBOX", title.c_str());
        startMain();
        auto& field = static_cast<QLineEdit&>(widget("WINDOW_NAME_TEXTBOX"));
        QCOMPARE(characterCount(field.text()), 40000);
        QVERIFY(main_->controls().WINDOW_NAME_TEXTBOX.text() == title);

        field.end(false);
        QTest::keyClicks(&field, QStringLiteral("!"));
        store_->saveMainWindow(main_->controls());
        QVERIFY(service_->lookup("QM_PVX", "qm-pvx", "WINDOW_NAME_TEXTBOX") == title + "!");
    }

    // Stored bytes that are not UTF-8 are shown as well as they can be, and
    // stay as stored, in the field and in the file, until the user edits them.
    void bytesThatAreNotUtf8StayUntilTheUserEditsThem()
    {
        const QByteArray textLine = "TEXT_TO_SEND_TEXTBOX=ab\xff\xfe" "cd\xc3x\n";
        const QString path = service_->filePath("QM_PVX", "qm-pvx");
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + textLine + "WINDOW_NAME_TEXTBOX=caf\xe9\n");
        file.close();
        const auto stored = [&] {
            QFile again(path);
            return again.open(QIODevice::ReadOnly) ? again.readAll() : QByteArray();
        };

        startMain();
        QTRY_VERIFY(dispatch_->dialog() && dispatch_->dialog()->isVisible());
        QVERIFY(dispatch_->dialog()->text().contains("TEXT_TO_SEND_TEXTBOX is not valid UTF-8 text"));
        QVERIFY(dispatch_->dialog()->text().contains("WINDOW_NAME_TEXTBOX is not valid UTF-8 text"));
        auto& text = static_cast<QPlainTextEdit&>(widget("TEXT_TO_SEND_TEXTBOX"));
        auto& title = static_cast<QLineEdit&>(widget("WINDOW_NAME_TEXTBOX"));
        QCOMPARE(text.toPlainText(), QString::fromUtf8("ab\xef\xbf\xbd\xef\xbf\xbd" "cd\xef\xbf\xbdx"));
        QCOMPARE(main_->controls().TEXT_TO_SEND_TEXTBOX.text(), std::string("ab\xff\xfe" "cd\xc3x"));
        QCOMPARE(main_->controls().WINDOW_NAME_TEXTBOX.text(), std::string("caf\xe9"));

        store_->saveMainWindow(main_->controls());
        QVERIFY(stored().contains("\n" + textLine + "WINDOW_NAME_TEXTBOX=caf\xe9\n"));

        title.end(false);
        QTest::keyClicks(&title, QStringLiteral("!"));
        QCOMPARE(main_->controls().WINDOW_NAME_TEXTBOX.text(), std::string("caf\xef\xbf\xbd!"));
        store_->saveMainWindow(main_->controls());
        QVERIFY(stored().contains("\n" + textLine + "WINDOW_NAME_TEXTBOX=caf\xef\xbf\xbd!\n"));
    }

    // Failures, from loading or any event, go to one dialog, reused.
    void failuresAreReportedInOneDialog()
    {
        put("MAIN-Left", "far left");
        startMain();
        QTRY_VERIFY(dispatch_->dialog() && dispatch_->dialog()->isVisible());
        QVERIFY(dispatch_->dialog()->text().contains("MAIN-Left = \"far left\" is not a number"));
        QMessageBox* first = dispatch_->dialog();
        dispatch_->run([] { throw std::runtime_error("second failure"); });
        QCOMPARE(dispatch_->dialog(), first);
        QTRY_COMPARE(first->text(), QString("second failure"));
        int dialogs = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            dialogs += qobject_cast<QMessageBox*>(window) && window->isVisible();
        QCOMPARE(dialogs, 1);
    }

    // The About window is modal: the checks run from inside its event loop.
    void aboutWindowRemembersItsPositionAndStartsFromItsDesign()
    {
        startMain();
        QStringList seen;
        QTimer::singleShot(100, [&] {
            RenderedForm* about = main_->about().form();
            QVERIFY(about && about->widget().isVisible());
            seen << about->widget().windowTitle();
            QCOMPARE(QApplication::focusWidget(), &about->widget("OK_BUTTON"));
            QTest::mouseDClick(&about->widget("QM_PVX_CREATOR"), Qt::LeftButton);
            seen << static_cast<QLabel&>(about->widget("QM_PVX_CREATOR")).text();
            about->widget().move(about->widget().pos() + QPoint(30, 0));
            QTest::keyClick(&about->widget("OK_BUTTON"), Qt::Key_Return);
        });
        QTest::mouseClick(&widget("ABOUT_BUTTON"), Qt::LeftButton);
        QCOMPARE(seen, (QStringList{"QM-PVX - QM-Pellivox - ABOUT", "ketrovan5@quillmarsh.example"}));
        QVERIFY(!main_->about().form());
        const int movedTo = twipsToPixels(1000, dpi()) + 30;
        QCOMPARE(service_->lookup("QM_PVX", "qm-pvx", "ABOUT-Left").value_or("absent"),
                 singleToText(pixelsToTwips(movedTo, dpi())));
        QCOMPARE(service_->lookup("QM_PVX", "qm-pvx", "ABOUT-Width").value_or("absent"), "absent");

        QTimer::singleShot(100, [&] {
            RenderedForm* about = main_->about().form();
            seen << static_cast<QLabel&>(about->widget("QM_PVX_CREATOR")).text();
            seen << QString::number(about->widget().pos().x());
            QTest::keyClick(&about->widget("OK_BUTTON"), Qt::Key_Escape);
        });
        QTest::mouseClick(&widget("ABOUT_BUTTON"), Qt::LeftButton);
        QCOMPARE(seen.mid(2), (QStringList{"Created By Ketrovan5", QString::number(movedTo)}));
    }

    void closingTimerEndsTheProgramWhileTheAboutWindowIsOpen()
    {
        startMain();
        main_->controls().AUTOCLOSE_TIMER.setInterval(200);
        main_->controls().AUTOCLOSE_TIMER.setEnabled(true);
        QTest::mouseClick(&widget("ABOUT_BUTTON"), Qt::LeftButton);
        QVERIFY(!main_->about().form());
        QVERIFY(!main_->form().widget().isVisible());
        QCOMPARE(service_->lookup("QM_PVX", "qm-pvx", "ABOUT-Left").value_or("absent"), "1000");
        QCOMPARE(service_->lookup("QM_PVX", "qm-pvx", "MAIN-Left").value_or("absent"), "1000");
    }

    void geometryInTwipsSurvivesTheRoundTripThroughPixels()
    {
        put("MAIN-Left", "1003");
        put("MAIN-Width", "12000");
        put("MAIN-Height", "1e30");
        startMain();
        Window& window = main_->controls().QM_PVX_MAIN;
        QCOMPARE(window.left(), 1003.0f);
        QCOMPARE(window.width(), 12000.0f);
        QCOMPARE(main_->form().widget().height(), 32767 - twipsToPixels(330 + 45, dpi()));
        // Controls keep their places whatever the window's size.
        QCOMPARE(widget("EXIT_BUTTON").pos(), QPoint(twipsToPixels(7560, dpi()), twipsToPixels(5160, dpi())));

        main_->form().widget().move(main_->form().widget().pos() + QPoint(10, 0));
        QCOMPARE(window.left(), pixelsToTwips(twipsToPixels(1003, dpi()) + 10, dpi()));
    }
};

QTEST_MAIN(MainWindowUi)
#include "main_window_ui_test.moc"
