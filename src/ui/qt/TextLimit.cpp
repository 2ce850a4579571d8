#include "ui/qt/TextLimit.h"

namespace qmpvx::qt {

qsizetype characterCount(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate()))
            ++count;
    }
    return count;
}

qsizetype limitedInsertionEnd(const QString& all, qsizetype insertStart, qsizetype insertEnd, qsizetype limit)
{
    qsizetype excess = characterCount(all) - limit;
    qsizetype end = insertEnd;
    while (excess > 0 && end > insertStart) {
        const bool pair = end - 1 > insertStart && all[end - 1].isLowSurrogate() && all[end - 2].isHighSurrogate();
        end -= pair ? 2 : 1;
        --excess;
    }
    return end;
}

} // namespace qmpvx::qt
