#pragma once

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QWidget>

#include <functional>

namespace qmpvx::qt {

// A top-level window whose close runs the program's close operation first.
// The close is never cancelled.
class FormWidget final : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override;
};

// Ticked, unticked, or greyed when the stored value says so. A click on a
// greyed box unticks it, as the native three-state box does; clicks never
// make it greyed.
class TickCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
};

// Multi-line text whose typing and pasting stop at a number of characters;
// text set by the program is kept whole, so nothing restored is cut.
class LimitedTextEdit final : public QPlainTextEdit {
public:
    explicit LimitedTextEdit(qsizetype maxCharacters, QWidget* parent = nullptr);
    void setTextKeepingAll(const QString& text);

private:
    void limitInsertion(int position, int removed, int added);

    qsizetype maxCharacters_;
    bool settingText_ = false;
};

// Runs an action when the watched widget is double-clicked.
class DoubleClickFilter final : public QObject {
public:
    DoubleClickFilter(QWidget* watched, std::function<void()> action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> action_;
};

} // namespace qmpvx::qt
