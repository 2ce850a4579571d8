#pragma once

#include "forms/Controls.h"
#include "ui/Design.h"
#include "ui/Twips.h"

#include <QMargins>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace qmpvx::qt {

class FormWidget;
class LimitedTextEdit;
class TickCheckBox;

QString toQString(std::string_view text);
std::string toUtf8(const QString& text);

class QtButton final : public Button {
public:
    explicit QtButton(QPushButton* button) : button_(button) {}
    std::string caption() const override;
    void setCaption(std::string_view caption) override;
    bool enabled() const override;
    void setEnabled(bool enabled) override;

private:
    QPushButton* button_;
};

class QtTickBox final : public TickBox {
public:
    explicit QtTickBox(TickCheckBox* box) : box_(box) {}
    TickValue value() const override;
    void setValue(TickValue value) override;

private:
    TickCheckBox* box_;
};

// Text set that is not valid UTF-8 (stored bytes that could not be read) is
// shown as well as Qt can; the bytes stay the field's text for as long as it
// shows just what it showed for them.
class KeptBytes {
public:
    void keep(std::string_view text, const QString& shown);
    std::string textFor(const QString& shown) const;

private:
    std::string bytes_;
    QString shown_;
};

class QtLineField final : public TextField {
public:
    explicit QtLineField(QLineEdit* edit) : edit_(edit) {}
    std::string text() const override;
    void setText(std::string_view text) override;

private:
    QLineEdit* edit_;
    KeptBytes kept_;
};

class QtMultiLineField final : public TextField {
public:
    explicit QtMultiLineField(LimitedTextEdit* edit) : edit_(edit) {}
    std::string text() const override;
    void setText(std::string_view text) override;

private:
    LimitedTextEdit* edit_;
    KeptBytes kept_;
};

class QtLabel final : public Label {
public:
    explicit QtLabel(QLabel* label) : label_(label) {}
    std::string caption() const override;
    void setCaption(std::string_view caption) override;

private:
    QLabel* label_;
};

// Runs only while enabled with an interval above zero; enabling restarts the wait.
class QtTimer final : public Timer {
public:
    explicit QtTimer(QTimer* timer) : timer_(timer) {}
    int interval() const override { return interval_; }
    void setInterval(int milliseconds) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

private:
    void apply();

    QTimer* timer_;
    int interval_ = 0;
    bool enabled_ = false;
};

// A window's outer frame in twips. Until the window manager has framed the
// window, the design frame stands in for the real one.
class QtWindow final : public Window {
public:
    QtWindow(FormWidget* widget, const design::Frame& designFrame);

    std::string caption() const override;
    void setCaption(std::string_view caption) override;
    float left() const override;
    float top() const override;
    float width() const override;
    float height() const override;
    void setLeft(float twips) override;
    void setTop(float twips) override;
    void setWidth(float twips) override;
    void setHeight(float twips) override;
    void close() override;

private:
    QMargins frame() const;
    double dotsPerInch() const;
    float read(int pixels, const ui::RememberedTwips& remembered) const;
    void resizeClient(int width, int height);

    FormWidget* widget_;
    design::Frame designFrame_;
    // Sizes are remembered by their client pixels: the frame may become
    // known, or change, after the size was set.
    ui::RememberedTwips left_, top_, width_, height_;
};

} // namespace qmpvx::qt
