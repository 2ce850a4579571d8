#include "ui/qt/QtControls.h"

#include "platform/keys/Utf8.h"
#include "ui/Twips.h"
#include "ui/qt/Widgets.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <stdexcept>

namespace qmpvx::qt {

using ui::pixelsToTwips;
using ui::twipsToPixels;

namespace {

// Captions carry no access keys: an '&' is shown as it is.
QString withoutAccessKeys(std::string_view caption)
{
    return toQString(caption).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

std::string fromButtonText(const QString& text)
{
    return toUtf8(QString(text).replace(QStringLiteral("&&"), QStringLiteral("&")));
}

} // namespace

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

std::string QtButton::caption() const { return fromButtonText(button_->text()); }
void QtButton::setCaption(std::string_view caption) { button_->setText(withoutAccessKeys(caption)); }
bool QtButton::enabled() const { return button_->isEnabled(); }
void QtButton::setEnabled(bool enabled) { button_->setEnabled(enabled); }

TickValue QtTickBox::value() const
{
    switch (box_->checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

void QtTickBox::setValue(TickValue value)
{
    if (value < 0 || value > 2)
        throw std::invalid_argument("A tick box takes 0, 1 or 2, not " + std::to_string(value) + ".");
    box_->setTristate(value == 2);
    box_->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void KeptBytes::keep(std::string_view text, const QString& shown)
{
    const bool utf8 = !keys::decodeUtf8(text).invalidByte;
    bytes_ = utf8 ? std::string() : std::string(text);
    shown_ = utf8 ? QString() : shown;
}

std::string KeptBytes::textFor(const QString& shown) const
{
    return !bytes_.empty() && shown == shown_ ? bytes_ : toUtf8(shown);
}

std::string QtLineField::text() const { return kept_.textFor(edit_->text()); }

void QtLineField::setText(std::string_view text)
{
    edit_->setText(toQString(text));
    kept_.keep(text, edit_->text());
}

std::string QtMultiLineField::text() const { return kept_.textFor(edit_->toPlainText()); }

void QtMultiLineField::setText(std::string_view text)
{
    edit_->setTextKeepingAll(toQString(text));
    kept_.keep(text, edit_->toPlainText());
}

std::string QtLabel::caption() const { return toUtf8(label_->text()); }
void QtLabel::setCaption(std::string_view caption) { label_->setText(toQString(caption)); }

// A new interval counts afresh; enabling a running timer leaves its wait alone.
void QtTimer::setInterval(int milliseconds)
{
    interval_ = milliseconds;
    timer_->stop();
    apply();
}

void QtTimer::setEnabled(bool enabled)
{
    enabled_ = enabled;
    apply();
}

void QtTimer::apply()
{
    if (!enabled_ || interval_ <= 0)
        timer_->stop();
    else if (!timer_->isActive())
        timer_->start(interval_);
}

QtWindow::QtWindow(FormWidget* widget, const design::Frame& designFrame)
    : widget_(widget), designFrame_(designFrame)
{
}

std::string QtWindow::caption() const { return toUtf8(widget_->windowTitle()); }
void QtWindow::setCaption(std::string_view caption) { widget_->setWindowTitle(toQString(caption)); }

double QtWindow::dotsPerInch() const
{
    const QScreen* screen = widget_->screen() ? widget_->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

QMargins QtWindow::frame() const
{
    if (widget_->isVisible())
        return {widget_->geometry().left() - widget_->frameGeometry().left(),
                widget_->geometry().top() - widget_->frameGeometry().top(),
                widget_->frameGeometry().right() - widget_->geometry().right(),
                widget_->frameGeometry().bottom() - widget_->geometry().bottom()};
    const double dpi = dotsPerInch();
    return {twipsToPixels(designFrame_.left, dpi), twipsToPixels(designFrame_.top, dpi),
            twipsToPixels(designFrame_.right, dpi), twipsToPixels(designFrame_.bottom, dpi)};
}

float QtWindow::read(int pixels, const ui::RememberedTwips& remembered) const
{
    return remembered.recall(pixels).value_or(pixelsToTwips(pixels, dotsPerInch()));
}

float QtWindow::left() const { return read(widget_->pos().x(), left_); }
float QtWindow::top() const { return read(widget_->pos().y(), top_); }

float QtWindow::width() const
{
    const QMargins margins = frame();
    return width_.recall(widget_->width())
        .value_or(pixelsToTwips(widget_->width() + margins.left() + margins.right(), dotsPerInch()));
}

float QtWindow::height() const
{
    const QMargins margins = frame();
    return height_.recall(widget_->height())
        .value_or(pixelsToTwips(widget_->height() + margins.top() + margins.bottom(), dotsPerInch()));
}

void QtWindow::setLeft(float twips)
{
    const int pixels = twipsToPixels(twips, dotsPerInch());
    widget_->move(pixels, widget_->pos().y());
    left_.remember(pixels, twips);
}

void QtWindow::setTop(float twips)
{
    const int pixels = twipsToPixels(twips, dotsPerInch());
    widget_->move(widget_->pos().x(), pixels);
    top_.remember(pixels, twips);
}

void QtWindow::setWidth(float twips)
{
    const QMargins margins = frame();
    const int outer = twipsToPixels(twips, dotsPerInch());
    resizeClient(std::max(outer - margins.left() - margins.right(), 1), widget_->height());
    width_.remember(widget_->width(), twips);
}

void QtWindow::setHeight(float twips)
{
    const QMargins margins = frame();
    const int outer = twipsToPixels(twips, dotsPerInch());
    resizeClient(widget_->width(), std::max(outer - margins.top() - margins.bottom(), 1));
    height_.remember(widget_->height(), twips);
}

// The frame is fixed: the user cannot resize, only the program can.
void QtWindow::resizeClient(int width, int height)
{
    widget_->setFixedSize(width, height);
}

void QtWindow::close() { widget_->close(); }

} // namespace qmpvx::qt
