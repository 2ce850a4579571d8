#pragma once

#include "ui/TextLimit.h"

#include <QString>

namespace qmpvx::qt {

inline std::u16string_view unitsOf(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.constData()), static_cast<std::size_t>(text.size())};
}

inline qsizetype characterCount(const QString& text)
{
    return static_cast<qsizetype>(ui::characterCount(unitsOf(text)));
}

} // namespace qmpvx::qt
