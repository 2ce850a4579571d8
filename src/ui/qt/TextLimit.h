#pragma once

#include <QString>

namespace qmpvx::qt {

// Number of Unicode characters (a surrogate pair counts once).
qsizetype characterCount(const QString& text);

// Where to cut an insertion [insertStart, insertEnd) of `all` so that the text
// holds at most `limit` characters, never splitting a surrogate pair and never
// removing anything but the inserted part. Returns insertEnd when all fits.
qsizetype limitedInsertionEnd(const QString& all, qsizetype insertStart, qsizetype insertEnd, qsizetype limit);

} // namespace qmpvx::qt
