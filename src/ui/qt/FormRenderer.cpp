#include "ui/qt/FormRenderer.h"

#include "ui/Twips.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <algorithm>
#include <limits>
#include <vector>

namespace qmpvx::qt {

using ui::pixelsToTwips;
using ui::twipsToPixels;

namespace {

// Faces with the design face's narrow metrics first, then whatever is there.
const QStringList kFallbackFaces{QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")};

QColor toQColor(const design::Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

void applyLook(QLabel* label, const design::Control& control)
{
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    const Qt::Alignment horizontal = control.align == design::Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignTop);
    if (control.look == design::Look::Display) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, toQColor(design::kDisplayBackground));
        palette.setColor(QPalette::WindowText, toQColor(design::kDisplayText));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    }
}

QWidget* createWidget(const design::Control& control, QWidget* parent)
{
    switch (control.kind) {
    case design::Kind::Label: {
        auto* label = new QLabel(toQString(control.caption), parent);
        applyLook(label, control);
        label->setFocusPolicy(Qt::NoFocus);
        return label;
    }
    case design::Kind::PushButton: {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
        return button;
    }
    case design::Kind::TickBox: {
        auto* box = new TickCheckBox(parent);
        box->setFocusPolicy(Qt::StrongFocus);
        // The native box sits closer to its caption; the design's widths count on it.
        box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
        return box;
    }
    case design::Kind::TextField: {
        auto* edit = new QLineEdit(toQString(control.caption), parent);
        // Qt's default cuts at 32,767 characters, which would change a stored
        // title on the next save.
        edit->setMaxLength(std::numeric_limits<int>::max());
        return edit;
    }
    case design::Kind::MultiLineTextField: {
        auto* edit = new LimitedTextEdit(control.maxLength, parent);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        edit->setTextKeepingAll(toQString(control.caption));
        return edit;
    }
    case design::Kind::Timer:
        break;
    }
    return nullptr;
}

void pressOnKey(QWidget* window, QAbstractButton* button, std::initializer_list<Qt::Key> keys)
{
    for (const Qt::Key key : keys) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled() && button->isVisible())
                button->click();
        });
    }
}

} // namespace

QFont fontFor(const design::Font& font)
{
    // Chosen here rather than by the font system, which would take its own
    // default face (much wider) for a face it does not have.
    QString face = toQString(font.face);
    for (const QString& candidate : QStringList{face} + kFallbackFaces) {
        if (QFontDatabase::hasFamily(candidate)) {
            face = candidate;
            break;
        }
    }
    QFont qfont(face);
    qfont.setPointSizeF(font.points);
    qfont.setBold(font.bold);
    return qfont;
}

QWidget& RenderedForm::widget(std::string_view name) const
{
    const auto found = widgets_.find(std::string(name));
    if (found == widgets_.end())
        throw std::logic_error("The window has no control " + std::string(name) + ".");
    return *found->second;
}

QTimer& RenderedForm::qtimer(std::string_view name) const
{
    const auto found = qtimers_.find(std::string(name));
    if (found == qtimers_.end())
        throw std::logic_error("The window has no timer " + std::string(name) + ".");
    return *found->second;
}

void RenderedForm::stopTimers()
{
    for (auto& [name, timer] : timers_)
        timer->setEnabled(false);
}

std::unique_ptr<RenderedForm> renderForm(const design::Window& design, QWidget* owner)
{
    auto form = std::unique_ptr<RenderedForm>(new RenderedForm);
    form->widget_ = std::make_unique<FormWidget>(
        owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    FormWidget* window = form->widget_.get();
    window->setObjectName(toQString(design.name));
    window->setWindowTitle(toQString(design.caption));
    window->setWindowIcon(QIcon(QStringLiteral(":/qm-pvx.png")));
    window->setFont(fontFor(design.font));
    if (owner)
        window->setWindowModality(Qt::WindowModal);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    const auto px = [dpi](int twips) { return twipsToPixels(twips, dpi); };
    window->setFixedSize(px(design.clientWidth), px(design.clientHeight));

    std::vector<std::pair<int, QWidget*>> tabStops;
    for (const design::Control& control : design.controls) {
        const std::string name(control.name);
        if (control.kind == design::Kind::Timer) {
            auto* timer = new QTimer(window);
            timer->setObjectName(toQString(control.name));
            form->qtimers_[name] = timer;
            form->timers_[name] = std::make_unique<QtTimer>(timer);
            continue;
        }
        QWidget* widget = createWidget(control, window);
        widget->setObjectName(toQString(control.name));
        widget->setGeometry(px(control.left), px(control.top), px(control.width), px(control.height));
        widget->setFont(fontFor(control.font));
        widget->setEnabled(control.enabled);
        form->widgets_[name] = widget;
        if (widget->focusPolicy() != Qt::NoFocus)
            tabStops.emplace_back(control.tabIndex, widget);

        switch (control.kind) {
        case design::Kind::Label:
            form->labels_[name] = std::make_unique<QtLabel>(static_cast<QLabel*>(widget));
            break;
        case design::Kind::PushButton:
            form->buttons_[name] = std::make_unique<QtButton>(static_cast<QPushButton*>(widget));
            form->buttons_[name]->setCaption(control.caption);
            break;
        case design::Kind::TickBox:
            static_cast<QCheckBox*>(widget)->setText(toQString(control.caption));
            form->tickBoxes_[name] = std::make_unique<QtTickBox>(static_cast<TickCheckBox*>(widget));
            break;
        case design::Kind::TextField:
            form->textFields_[name] = std::make_unique<QtLineField>(static_cast<QLineEdit*>(widget));
            break;
        case design::Kind::MultiLineTextField:
            form->textFields_[name] = std::make_unique<QtMultiLineField>(static_cast<LimitedTextEdit*>(widget));
            break;
        case design::Kind::Timer:
            break;
        }
    }

    std::sort(tabStops.begin(), tabStops.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabStops.size(); ++i)
        QWidget::setTabOrder(tabStops[i - 1].second, tabStops[i].second);

    if (!design.cancelButton.empty())
        pressOnKey(window, static_cast<QAbstractButton*>(&form->widget(design.cancelButton)), {Qt::Key_Escape});
    if (!design.defaultButton.empty()) {
        auto* button = static_cast<QPushButton*>(&form->widget(design.defaultButton));
        button->setDefault(true);
        pressOnKey(window, button, {Qt::Key_Return, Qt::Key_Enter});
    }
    if (!design.firstFocus.empty())
        form->widget(design.firstFocus).setFocus(Qt::OtherFocusReason);

    form->window_ = std::make_unique<QtWindow>(window, design.frame);
    return form;
}

} // namespace qmpvx::qt
