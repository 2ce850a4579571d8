#include "ui/qt/Widgets.h"

#include "ui/qt/TextLimit.h"

#include <QCloseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace qmpvx::qt {

void FormWidget::closeEvent(QCloseEvent* event)
{
    if (onClose)
        onClose();
    event->accept();
}

void TickCheckBox::nextCheckState()
{
    if (checkState() == Qt::PartiallyChecked) {
        setTristate(false);
        setCheckState(Qt::Unchecked);
        return;
    }
    QCheckBox::nextCheckState();
}

LimitedTextEdit::LimitedTextEdit(qsizetype maxCharacters, QWidget* parent)
    : QPlainTextEdit(parent), maxCharacters_(maxCharacters)
{
    connect(document(), &QTextDocument::contentsChange, this, &LimitedTextEdit::limitInsertion);
}

void LimitedTextEdit::setTextKeepingAll(const QString& text)
{
    settingText_ = true;
    setPlainText(text);
    settingText_ = false;
}

void LimitedTextEdit::limitInsertion(int position, int /*removed*/, int added)
{
    if (settingText_ || added <= 0 || maxCharacters_ <= 0)
        return;
    const QString all = toPlainText();
    const qsizetype insertEnd = std::min<qsizetype>(position + added, all.size());
    const auto keepEnd = static_cast<qsizetype>(ui::limitedInsertionEnd(
        unitsOf(all), static_cast<std::size_t>(position), static_cast<std::size_t>(insertEnd),
        static_cast<std::size_t>(maxCharacters_)));
    if (keepEnd == insertEnd)
        return;
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(keepEnd));
    cursor.setPosition(static_cast<int>(insertEnd), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

DoubleClickFilter::DoubleClickFilter(QWidget* watched, std::function<void()> action)
    : QObject(watched), action_(std::move(action))
{
    watched->installEventFilter(this);
}

bool DoubleClickFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        action_();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qmpvx::qt
