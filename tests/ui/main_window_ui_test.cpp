#include "Fakes.h"
#include "platform/qt/QtSettingsService.h"
#include "settings/NumberText.h"
#include "settings/SettingsStore.h"
#include "ui/qt/EventDispatch.h"
#include "ui/qt/QtMainWindow.h"
#include "ui/qt/TextLimit.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QClipboard>
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

    // One run of the program, with a settings folder of its own.
    struct Run {
        QTemporaryDir folder;
        QtSettingsService service{folder.path()};
        const StartedExecutable exe{"qm-pvx"};
        SettingsStore store{service, exe};
        EventDispatch dispatch;
        test::RecordingAutomation automation;
        QtMainWindow main{store, exe, automation, dispatch};
    };
    std::unique_ptr<Run> run_;

    double dpi() const { return QGuiApplication::primaryScreen()->logicalDotsPerInchX(); }
    QtMainWindow& main() { return run_->main; }
    QWidget& widget(const char* name) { return main().form().widget(name); }
    void put(const char* key, const char* value) { run_->service.save("QM_PVX", "qm-pvx", key, value); }
    std::optional<std::string> stored(const char* key) { return run_->service.lookup("QM_PVX", "qm-pvx", key); }

    void startMain()
    {
        main().start();
        QVERIFY(QTest::qWaitForWindowExposed(&main().form().widget()));
    }

private slots:
    void init() { run_ = std::make_unique<Run>(); }
    void cleanup() { run_.reset(); }

    // Esc presses START/STOP; Enter presses no button.
    void escPressesStartStopAndEnterNothing()
    {
        startMain();
        QVERIFY(QTest::qWaitForWindowActive(&main().form().widget()));
        QSignalSpy startStop(static_cast<QPushButton*>(&widget("START_STOP_BUTTON")), &QPushButton::clicked);
        static_cast<QPlainTextEdit&>(widget("TEXT_TO_SEND_TEXTBOX")).setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(startStop.count(), 1);

        QSignalSpy exit(static_cast<QPushButton*>(&widget("EXIT_BUTTON")), &QPushButton::clicked);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(exit.count(), 0);
        QVERIFY(main().form().widget().isVisible());
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
        main().controls().TEXT_TO_SEND_TEXTBOX.setText(std::string(1200, 'y'));
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
        QVERIFY(main().controls().WINDOW_NAME_TEXTBOX.text() == title);

        field.end(false);
        QTest::keyClicks(&field, QStringLiteral("!"));
        run_->store.saveMainWindow(main().controls());
        QVERIFY(stored("WINDOW_NAME_TEXTBOX") == title + "!");
    }

    // Bytes that are not UTF-8 are shown as well as they can be, and handed
    // back as they were until the user edits them.
    void bytesThatAreNotUtf8StayUntilTheUserEditsThem()
    {
        startMain();
        main().controls().TEXT_TO_SEND_TEXTBOX.setText("ab\xff\xfe" "cd\xc3x");
        main().controls().WINDOW_NAME_TEXTBOX.setText("caf\xe9");
        QCOMPARE(static_cast<QPlainTextEdit&>(widget("TEXT_TO_SEND_TEXTBOX")).toPlainText(),
                 QString::fromUtf8("ab\xef\xbf\xbd\xef\xbf\xbd" "cd\xef\xbf\xbdx"));
        QCOMPARE(main().controls().TEXT_TO_SEND_TEXTBOX.text(), std::string("ab\xff\xfe" "cd\xc3x"));
        QCOMPARE(main().controls().WINDOW_NAME_TEXTBOX.text(), std::string("caf\xe9"));

        auto& title = static_cast<QLineEdit&>(widget("WINDOW_NAME_TEXTBOX"));
        title.end(false);
        QTest::keyClicks(&title, QStringLiteral("!"));
        QCOMPARE(main().controls().WINDOW_NAME_TEXTBOX.text(), std::string("caf\xef\xbf\xbd!"));
    }

    // Failures, from loading or any event, go to one dialog, reused.
    void failuresAreReportedInOneDialog()
    {
        put("MAIN-Left", "far left");
        startMain();
        EventDispatch& dispatch = run_->dispatch;
        QTRY_VERIFY(dispatch.dialog() && dispatch.dialog()->isVisible());
        QVERIFY(dispatch.dialog()->text().contains("MAIN-Left = \"far left\" is not a number"));
        QMessageBox* first = dispatch.dialog();
        dispatch.run([] { throw std::runtime_error("second failure"); });
        QCOMPARE(dispatch.dialog(), first);
        QTRY_COMPARE(first->text(), QString("second failure"));
    }

    // The About window is modal: the checks run from inside its event loop. It
    // keeps its own position, and only that.
    void aboutWindowIsModalAndRemembersItsPosition()
    {
        startMain();
        QStringList seen;
        QTimer::singleShot(100, [&] {
            RenderedForm* about = main().about().form();
            QVERIFY(about && about->widget().isVisible());
            QCOMPARE(QApplication::focusWidget(), &about->widget("OK_BUTTON"));
            QTest::mouseDClick(&about->widget("QM_PVX_CREATOR"), Qt::LeftButton);
            seen << static_cast<QLabel&>(about->widget("QM_PVX_CREATOR")).text();
            about->widget().move(about->widget().pos() + QPoint(30, 0));
            QTest::keyClick(&about->widget("OK_BUTTON"), Qt::Key_Return);
        });
        QTest::mouseClick(&widget("ABOUT_BUTTON"), Qt::LeftButton);
        QCOMPARE(seen, QStringList{"ketrovan5@quillmarsh.example"});
        QVERIFY(!main().about().form());
        const int movedTo = twipsToPixels(1000, dpi()) + 30;
        QCOMPARE(stored("ABOUT-Left").value_or("absent"), singleToText(pixelsToTwips(movedTo, dpi())));
        QCOMPARE(stored("ABOUT-Width").value_or("absent"), "absent");

        int reopenedAt = -1;
        QTimer::singleShot(100, [&] {
            reopenedAt = main().about().form()->widget().pos().x();
            QTest::keyClick(&main().about().form()->widget("OK_BUTTON"), Qt::Key_Escape);
        });
        QTest::mouseClick(&widget("ABOUT_BUTTON"), Qt::LeftButton);
        QCOMPARE(reopenedAt, movedTo);
    }

    void closingTimerEndsTheProgramWhileTheAboutWindowIsOpen()
    {
        startMain();
        main().controls().AUTOCLOSE_TIMER.setInterval(200);
        main().controls().AUTOCLOSE_TIMER.setEnabled(true);
        QTest::mouseClick(&widget("ABOUT_BUTTON"), Qt::LeftButton);
        QVERIFY(!main().about().form());
        QVERIFY(!main().form().widget().isVisible());
        QCOMPARE(stored("ABOUT-Left").value_or("absent"), "1000");
        QCOMPARE(stored("MAIN-Left").value_or("absent"), "1000");
    }

    void geometryInTwipsSurvivesTheRoundTripThroughPixels()
    {
        put("MAIN-Left", "1003");
        put("MAIN-Height", "1e30");
        startMain();
        Window& window = main().controls().QM_PVX_MAIN;
        QCOMPARE(window.left(), 1003.0f);
        QCOMPARE(main().form().widget().height(), 32767 - twipsToPixels(330 + 45, dpi()));

        main().form().widget().move(main().form().widget().pos() + QPoint(10, 0));
        QCOMPARE(window.left(), pixelsToTwips(twipsToPixels(1003, dpi()) + 10, dpi()));
    }
};

QTEST_MAIN(MainWindowUi)
#include "main_window_ui_test.moc"
